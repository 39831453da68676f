#include "core/platform/Process.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "core/platform/StatePaths.h"

namespace selvane {
namespace {

// Field 22 of /proc/PID/stat; the name in field 2 may hold spaces and
// brackets, so counting starts after its last ')'.
std::int64_t StartOf(std::int64_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 1));
  std::string field;
  for (int n = 3; n <= 22 && (rest >> field); ++n)
    if (n == 22) return std::stoll(field);
  return 0;
}

}  // namespace

// A process's start never changes, so each thread reads it once (no lock
// that a fork could leave held); a child made by fork has a pid of its own
// and reads its own.
ProcessMark ThisProcess() {
  thread_local ProcessMark known;
  const std::int64_t pid = ::getpid();
  if (known.pid != pid || known.started == 0) known = MarkOf(pid);
  return known;
}

ProcessMark MarkOf(std::int64_t pid) { return {pid, StartOf(pid)}; }

bool StillRunning(const ProcessMark& mark) {
  if (mark.pid <= 0) return false;
  if (::kill(static_cast<pid_t>(mark.pid), 0) != 0 && errno == ESRCH) return false;
  const std::int64_t started = StartOf(mark.pid);
  return started != 0 && started == mark.started;
}

void KeepPrivate(const std::string& file) {
  ::chmod(ParentFolder(file).c_str(), 0700);
  // Made before SQLite makes it, so that it is never readable by others even
  // for a moment; SQLite gives -wal and -shm the mode of the store.
  const int fd =
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);
    ::close(fd);
  }
  for (const char* suffix : {"-wal", "-shm"}) ::chmod((file + suffix).c_str(), 0600);
}

void GiveBackFreedMemory() { ::malloc_trim(0); }

}  // namespace selvane
