#include "core/platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace selvane {
namespace {

bool IsUsableDirectory(const char* dir) { return dir != nullptr && dir[0] == '/'; }

// Opens (creating when needed) the lock file. In a shared temporary folder
// a name someone else planted (a link, another owner's file, a FIFO or a
// device) is not used; the open never waits, as that of a FIFO would for
// a writer that never comes.
int OpenLockFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

// The per-session runtime folder is private to the user; without it the
// temporary folder is shared, so the user id goes into the name. The file
// is never removed: removing it would let two processes lock two files.
InstanceLock::InstanceLock(const char* name) {
  std::string candidates[2];
  int count = 0;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); IsUsableDirectory(runtime))
    candidates[count++] = std::string(runtime) + "/" + name + ".lock";
  const char* tmp = std::getenv("TMPDIR");
  if (!IsUsableDirectory(tmp)) tmp = "/tmp";
  candidates[count++] = std::string(tmp) + "/" + name + "-" + std::to_string(::getuid()) + ".lock";

  std::string tried;
  for (int i = 0; i < count; ++i) {
    tried += (i == 0 ? "" : "、") + candidates[i];
    const int fd = OpenLockFile(candidates[i]);
    if (fd < 0) continue;
    path_ = candidates[i];
    // flock belongs to this open file description: the kernel drops it when
    // the last descriptor closes, which includes the process being killed.
    int rc;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
      fd_ = fd;
      return;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return;  // another instance holds it
    break;
  }
  // Refusing to start would let anyone who can plant a name in the temporary
  // folder keep the program from running, silently (a second instance ends
  // without a word); so it runs, and says why it is not guarded.
  unguarded_ = true;
  std::fprintf(stderr,
               "Selvane: ロックファイル %s を使えないため、二重起動を確かめずに起動します\n",
               tried.c_str());
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace selvane
