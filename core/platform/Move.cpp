// The move that never replaces: renameat2 with RENAME_NOREPLACE; across file
// systems a copy; on media without that flag a reserved name.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/Descriptor.h"
#include "core/platform/FileOps.h"
#include "core/platform/MoveInternal.h"

namespace selvane {
namespace {

using namespace platform;  // this file is the platform's own

#ifndef RENAME_NOREPLACE
constexpr unsigned RENAME_NOREPLACE = 1U;
#endif

int SystemRenameNoReplace(const char* from, const char* to) {
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes the new directory entry durable before the source is removed, so a
// crash cannot leave the file under neither name. Best effort: some file
// systems refuse fsync on a directory.
void SyncDirectory(const std::string& path) {
  Fd dir(OpenRetrying(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.valid()) ::fsync(dir.get());
}

// Copies a regular file into a file created for it (never an existing one),
// keeps mode and times, flushes it, and only then removes the source. Any
// failure removes the partial copy and leaves the source as it was.
FileResult CopyAcross(const std::string& from, const std::string& to, int renameError) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return LastError();
  // Folders and special files are not copied across file systems.
  if (!S_ISREG(st.st_mode)) return Failure(renameError);

  Fd src(OpenRetrying(from.c_str(), O_RDONLY | O_NOFOLLOW));
  if (!src.valid()) return LastError();
  Fd dst(OpenRetrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
  if (!dst.valid()) return LastError();

  FileResult result;
  auto fail = [&](int error) {
    dst.Close();
    ::unlink(to.c_str());
    return Failure(error);
  };

  std::vector<char> buffer(1 << 17);
  for (;;) {
    const ssize_t n = ::read(src.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    result = WriteAll(dst.get(), buffer.data(), static_cast<std::size_t>(n), 0, false);
    if (!result) return fail(result.error);
  }
  // Mode and times are kept where the target allows it; their loss does not
  // fail the move.
  ::fchmod(dst.get(), st.st_mode & 07777);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(dst.get(), times);
  if (::fsync(dst.get()) != 0) return fail(errno);
  if (const int error = dst.Close(); error != 0) return fail(error);
  SyncDirectory(to);

  src.Close();
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    // Another program took the source away meanwhile: the copy is now the
    // only one, and it stays.
    if (error == ENOENT) return {};
    // The file would now have two names; keep the original only.
    ::unlink(to.c_str());
    return Failure(error);
  }
  return {};
}

// Tells the caller's record of a placeholder about a step; only the first
// step can stop the move.
FileResult Tell(const MoveOptions& options, PlaceholderStep step, const char* path) {
  if (!options.placeholder) return {};
  return options.placeholder(step, path);
}

bool StillPlaceholder(const std::string& path, const struct stat& made) {
  struct stat now {};
  return ::lstat(path.c_str(), &now) == 0 && now.st_dev == made.st_dev &&
         now.st_ino == made.st_ino && (now.st_mode & S_IFMT) == (made.st_mode & S_IFMT) &&
         (S_ISDIR(now.st_mode) || now.st_size == 0);
}

// For media without RENAME_NOREPLACE: an exclusively created empty file (or
// folder, for a folder) reserves the new name, and the plain rename then
// replaces only that placeholder. A hard link would also reserve it, but a
// kill would then leave the file under two names, which no record can tell
// from a file the user linked; an empty placeholder is one kind to clear.
FileResult MoveThroughPlaceholder(const std::string& from, const std::string& to,
                                  const MoveOptions& options, const char* told) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return LastError();
  const bool isDirectory = S_ISDIR(st.st_mode);
  if (FileResult recorded = Tell(options, PlaceholderStep::Reserving, told); !recorded)
    return recorded;
  const auto notMade = [&](int error) {
    static_cast<void>(Tell(options, PlaceholderStep::Gone, told));
    return Failure(error);
  };
  struct stat made {};
  Fd placeholder;
  if (isDirectory) {
    if (::mkdir(to.c_str(), 0700) != 0) return notMade(errno);
    ::lstat(to.c_str(), &made);
  } else {
    placeholder.Reset(OpenRetrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (!placeholder.valid()) return notMade(errno);
    ::fstat(placeholder.get(), &made);
  }
  placeholder.Close();
  // Someone may have put a file there meanwhile; that one is not replaced.
  int error = EEXIST;
  if (StillPlaceholder(to, made)) {
    if (::rename(from.c_str(), to.c_str()) == 0) {
      static_cast<void>(Tell(options, PlaceholderStep::Filled, told));
      return {};
    }
    error = errno;
  }
  const bool removed =
      StillPlaceholder(to, made) && (isDirectory ? ::rmdir(to.c_str()) : ::unlink(to.c_str())) == 0;
  static_cast<void>(Tell(options, removed ? PlaceholderStep::Gone : PlaceholderStep::Left, told));
  return Failure(error);
}

}  // namespace

FileResult MoveNative(const char* from, const char* to, const MoveOptions& options,
                      const char* told, FileStatus* moved) {
  const auto renameNoReplace =
      options.renameNoReplace != nullptr ? options.renameNoReplace : &SystemRenameNoReplace;
  FileResult result;
  const bool inPlace = renameNoReplace(from, to) == 0;
  if (!inPlace) {
    const int error = errno;
    if (error == EXDEV)
      result = CopyAcross(from, to, error);
    else if (error == EINVAL || error == ENOSYS)
      result = MoveThroughPlaceholder(from, to, options, told);
    else
      result = Failure(error);
  }
  // Looked at again: a copy is a new file, and FUSE numbers a name anew. A
  // rename in place keeps the file, so an identity the caller vouches for stands.
  if (moved != nullptr && !(inPlace && moved->kind != FileKind::Missing))
    *moved = result ? NativeStatus(to) : FileStatus{};
  return result;
}

FileResult NativeMove(const std::string& from, const std::string& to, const MoveOptions& options,
                      FileStatus* moved) {
  return MoveNative(from.c_str(), to.c_str(), options, to.c_str(), moved);
}

FileResult NativeMove(const std::string& from, const std::string& to) {
  return MoveNative(from.c_str(), to.c_str(), MoveOptions{}, to.c_str(), nullptr);
}

FileResult NativeMoveToOtherCase(const std::string& from, const std::string& to) {
  const std::size_t slash = from.find_last_of('/');
  if (slash == std::string::npos || to.compare(0, slash + 1, from, 0, slash + 1) != 0 ||
      to.find('/', slash + 1) != std::string::npos || from == to)
    return Failure(EINVAL);
  // Where the new spelling is free, the move that never replaces does it.
  if (const FileResult moved = NativeMove(from, to); moved.error != EEXIST) return moved;
  // Else the listing decides, not a lookup: a case-ignoring folder answers a
  // lookup of the new spelling with the file itself (under another inode
  // number on FUSE).
  std::unique_ptr<DIR, platform::DirCloser> dir(::opendir(DirectoryOf(from).c_str()));
  if (!dir) return LastError();
  const std::string oldName = from.substr(slash + 1), newName = to.substr(slash + 1);
  bool listed = false;
  while (const dirent* item = ::readdir(dir.get())) {
    if (newName == item->d_name) return Failure(EEXIST);
    listed = listed || oldName == item->d_name;
  }
  if (!listed) return Failure(ENOENT);
  if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
  return {};
}

bool IsOwnPlaceholder(const std::string& native, const std::string& recorded,
                      std::int64_t recordedAt) {
  if (native.empty() || native != recorded) return false;
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return false;
  // FAT keeps modification times to two seconds.
  if (static_cast<std::int64_t>(st.st_mtime) + 2 < recordedAt) return false;
  if (S_ISREG(st.st_mode)) return st.st_size == 0;
  if (!S_ISDIR(st.st_mode)) return false;
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return false;
  bool empty = true;
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") empty = false;
  }
  ::closedir(dir);
  return empty;
}

}  // namespace selvane
