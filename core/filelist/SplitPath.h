#pragma once
// Splits a Windows-style path (separators '\' and '/', optional drive "C:")
// into drive, directory, name and extension. Shift-JIS aware: a trail byte
// never counts as a separator, dot, colon or wildcard.
#include <string>
#include <string_view>

namespace selvane {

enum SplitFlags : int {
  HasWildcards = 1,
  HasExtension = 2,
  HasFileName = 4,
  HasDirectory = 8,
  HasDrive = 16,
};

struct PathParts {
  std::string drive;      // at most 2 bytes
  std::string directory;  // at most 1023 bytes, ends in a separator
  std::string name;       // at most 255 bytes
  std::string extension;  // at most 255 bytes, dot included
  int flags = 0;
};

PathParts SplitPath(std::string_view path);

}  // namespace selvane
