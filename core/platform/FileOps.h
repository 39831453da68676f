#pragma once
// The file operations the logic names, on CP932 paths. Every call returns a
// result the caller must look at; the error is an errno value.
#include <cstddef>
#include <cstdint>
#include <string>

namespace selvane {

struct [[nodiscard]] FileResult {
  int error = 0;  // errno; 0 = success
  constexpr bool ok() const { return error == 0; }
  constexpr explicit operator bool() const { return ok(); }
};

inline constexpr std::size_t TrailerSize = 128;

class FileOps {
 public:
  virtual ~FileOps() = default;

  // Open read-only, take the length, close.
  virtual FileResult Length(const char* path, std::int64_t& length) = 0;
  // Read the last 128 bytes into `tail` and give the file's length. A file
  // shorter than 128 bytes gives length < 128 and leaves `tail` unspecified.
  virtual FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) = 0;
  virtual FileResult Truncate(const char* path, std::int64_t length) = 0;
  virtual FileResult Append(const char* path, const void* data, std::size_t size) = 0;
  // Write `size` bytes at `offset` of an existing file (no create, no append).
  virtual FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                             std::size_t size) = 0;
  // The file counts as existing when it can be opened for reading.
  virtual bool Exists(const char* path) = 0;
  virtual FileResult Delete(const char* path) = 0;
  // Give a file a new path. Never replaces an existing file (EEXIST then);
  // across file systems it copies into a new file and removes the source,
  // and a failed copy leaves the source as it was.
  virtual FileResult Move(const char* from, const char* to) = 0;
};

// The real file system.
FileOps& SystemFileOps();

// The process's current directory as a CP932 path ending in '/'; false when
// it cannot be read or has no CP932 form.
bool CurrentDirectory(std::string& cp932);

}  // namespace selvane
