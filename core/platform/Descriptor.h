#pragma once
// Descriptor helpers shared by the platform's file code (not for callers
// outside core/platform).
#include <dirent.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

#include "core/platform/FileStatus.h"

namespace selvane::platform {

inline FileResult Failure(int error) { return FileResult{error != 0 ? error : EIO}; }
inline FileResult LastError() { return Failure(errno); }

// The folder a native path lies in: "." for a bare name, "/" at the root.
inline std::string FolderOfNative(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

// For std::unique_ptr<DIR, DirCloser>.
struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Closes a descriptor on every way out. Close() reports the error of a
// close that matters (after writing).
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(-1); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  // Takes `fd` over, closing the one held.
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return (fd >= 0 && ::close(fd) != 0) ? errno : 0;
  }

 private:
  int fd_;
};

inline int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Repeats a transfer that may stop short (a signal, a partial write) until
// all `size` bytes have gone; a step that moves none means the file ended.
template <class Byte, class Step>
FileResult TransferAll(Byte* p, std::size_t size, off_t offset, Step step) {
  while (size > 0) {
    const ssize_t n = step(p, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return Failure(EIO);
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return {};
}

inline FileResult WriteAll(int fd, const void* data, std::size_t size, off_t offset,
                           bool positioned) {
  return TransferAll(static_cast<const char*>(data), size, offset,
                     [fd, positioned](const char* p, std::size_t left, off_t at) {
                       return positioned ? ::pwrite(fd, p, left, at) : ::write(fd, p, left);
                     });
}

inline FileResult ReadAllAt(int fd, void* data, std::size_t size, off_t offset) {
  return TransferAll(
      static_cast<char*>(data), size, offset,
      [fd](char* p, std::size_t left, off_t at) { return ::pread(fd, p, left, at); });
}

}  // namespace selvane::platform
