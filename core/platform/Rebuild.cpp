// Writing a file's head: in place with one data sync, or a new file made
// beside it (the rest copied by sharing extents where the medium can) and
// renamed over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/Descriptor.h"
#include "core/platform/FileOps.h"
#include "core/platform/RebuildInternal.h"

namespace selvane {
namespace {

using namespace platform;  // this file is the platform's own

// What copy_file_range cannot do here is done by reading and writing: across
// file systems on older kernels, and on media (FUSE) that do not offer it.
bool CopyByHand(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == ETXTBSY;
}

FileResult CopyRange(int from, off_t at, off_t end, int to, off_t put) {
  while (at < end) {
    const ssize_t n = ::copy_file_range(from, &at, to, &put, static_cast<std::size_t>(end - at), 0);
    if (n > 0) continue;
    if (n == 0) return Failure(EIO);  // the file ended early
    if (errno == EINTR) continue;
    if (!CopyByHand(errno)) return LastError();
    std::vector<char> buffer(std::min<off_t>(end - at, off_t{1} << 20));
    while (at < end) {
      const std::size_t size = static_cast<std::size_t>(std::min<off_t>(end - at, buffer.size()));
      if (FileResult read = ReadAllAt(from, buffer.data(), size, at); !read) return read;
      if (FileResult wrote = WriteAll(to, buffer.data(), size, put, true); !wrote) return wrote;
      at += static_cast<off_t>(size);
      put += static_cast<off_t>(size);
    }
  }
  return {};
}

// The new file's bytes, mode and sync; `made` is open on it.
FileResult Fill(const RebuildPlan& plan, int old, const struct stat& was, int made) {
  if (FileResult r = WriteAll(made, plan.head.data(), plan.head.size(), 0, true); !r) return r;
  const off_t put = static_cast<off_t>(plan.head.size());
  if (FileResult r = CopyRange(old, plan.copyFrom, plan.copyTo, made, put); !r) return r;
  const off_t end = put + static_cast<off_t>(plan.copyTo - plan.copyFrom);
  if (FileResult r = WriteAll(made, plan.tail.data(), plan.tail.size(), end, true); !r) return r;
  // The owner where this process may give it; the mode always.
  [[maybe_unused]] const int owned = ::fchown(made, was.st_uid, was.st_gid);
  if (::fchmod(made, was.st_mode & 07777) != 0 && errno != EPERM) return LastError();
  if (::fsync(made) != 0) return LastError();
  return {};
}

}  // namespace

namespace platform {

FileResult WriteSyncedNative(const std::string& native, std::span<const FilePiece> pieces,
                             std::int64_t length) {
  // A link is followed: a write in place through it changes the file it
  // leads to and leaves the link (only a new file would replace the link).
  Fd fd(OpenRetrying(native.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return LastError();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return Failure(S_ISDIR(st.st_mode) ? EISDIR : NotRegularFileError);
  for (const FilePiece& piece : pieces)
    if (FileResult r = WriteAll(fd.get(), piece.bytes.data(), piece.bytes.size(),
                                static_cast<off_t>(piece.offset), true);
        !r)
      return r;
  if (length >= 0 && length != st.st_size && ::ftruncate(fd.get(), length) != 0) return LastError();
  if (::fdatasync(fd.get()) != 0) return LastError();
  return FileResult{fd.Close()};
}

FileResult RebuildNative(const std::string& path, const std::string& beside,
                         const RebuildPlan& plan, FileStatus& placed) {
  placed = {};
  // Opened for writing although only read: a file that may not be written
  // is not replaced either, as it would not be written in place.
  Fd old(OpenRetrying(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!old.valid()) return LastError();
  struct stat was {};
  if (::fstat(old.get(), &was) != 0) return LastError();
  if (!S_ISREG(was.st_mode)) return Failure(S_ISDIR(was.st_mode) ? EISDIR : NotRegularFileError);
  const FileStatus& expected = plan.expected;
  if (static_cast<std::uint64_t>(was.st_dev) != expected.device ||
      static_cast<std::uint64_t>(was.st_ino) != expected.inode || was.st_size != expected.length ||
      plan.copyFrom < 0 || plan.copyTo < plan.copyFrom || plan.copyTo > was.st_size)
    return Failure(ChangedSinceLookError);

  Fd made(OpenRetrying(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
  if (!made.valid()) return LastError();
  const auto fail = [&](FileResult why) {
    made.Close();
    ::unlink(beside.c_str());
    return why;
  };
  if (FileResult filled = Fill(plan, old.get(), was, made.get()); !filled) return fail(filled);
  if (const int error = made.Close(); error != 0) return fail(Failure(error));
  // Replaced only while the name still leads to the file that was copied.
  struct stat now {};
  if (::lstat(path.c_str(), &now) != 0 || now.st_dev != was.st_dev || now.st_ino != was.st_ino ||
      now.st_size != was.st_size)
    return fail(Failure(ChangedSinceLookError));
  if (::rename(beside.c_str(), path.c_str()) != 0) return fail(LastError());
  placed = NativeStatus(path);
  Fd folder(OpenRetrying(FolderOfNative(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.valid() && ::fsync(folder.get()) != 0 && errno != EINVAL && errno != ENOTSUP &&
      errno != ENOSYS && errno != EROFS)
    return LastError();
  return {};
}

}  // namespace platform

FileResult FileOps::WriteSynced(const char* path, std::span<const FilePiece> pieces,
                                std::int64_t length) {
  for (const FilePiece& piece : pieces)
    if (FileResult r = WriteAt(path, piece.offset, piece.bytes.data(), piece.bytes.size()); !r)
      return r;
  if (length >= 0)
    if (FileResult r = Truncate(path, length); !r) return r;
  return SyncFile(path);
}

}  // namespace selvane
