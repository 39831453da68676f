#pragma once
// The native forms of a command's CP932 paths, each made once and kept
// together for as long as the command runs: one block of bytes for many
// paths rather than a string apiece, since a command may plan every row of
// a large collection.
#include <memory_resource>
#include <string>
#include <string_view>

namespace selvane {

class NativePaths {
 public:
  NativePaths() = default;
  NativePaths(const NativePaths&) = delete;
  NativePaths& operator=(const NativePaths&) = delete;

  // The native form of `cp932`, followed by a NUL so that the system takes
  // it as it is; it lasts as long as this does. Empty when it has none.
  std::string_view Add(std::string_view cp932);

 private:
  std::pmr::monotonic_buffer_resource arena_;
  std::string made_;
};

}  // namespace selvane
