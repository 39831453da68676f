// SplitPath: parts within their limits, flags that agree with them, cuts
// only between whole characters, and the path given back whole unless a
// part had to be cut at its limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"
#include "fuzz/FuzzCheck.h"

using namespace selvane;

namespace {

bool IsBoundary(std::string_view s, std::size_t at) {
  std::size_t i = 0;
  while (i < at) i += CharLength(s, i);
  return i == at;
}

// A single-byte character of `part` (trail bytes skipped) that is one of `set`.
bool Holds(std::string_view part, std::string_view set) {
  for (std::size_t i = 0; i < part.size(); i += CharLength(part, i))
    if (CharLength(part, i) == 1 && set.find(part[i]) != std::string_view::npos) return true;
  return false;
}

bool DotPart(std::string_view directory) {
  return directory == "." || directory == ".." || directory.ends_with("\\.") ||
         directory.ends_with("/.") || directory.ends_with("\\..") || directory.ends_with("/..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const PathParts parts = SplitPath(input);

  FUZZ_CHECK(parts.drive.size() <= 2 && parts.directory.size() <= MaxPathBytes);
  FUZZ_CHECK(parts.name.size() <= 255 && parts.extension.size() <= 255);
  FUZZ_CHECK(((parts.flags & HasDrive) != 0) == !parts.drive.empty());
  FUZZ_CHECK(((parts.flags & HasDirectory) != 0) == !parts.directory.empty());
  FUZZ_CHECK(((parts.flags & HasFileName) != 0) == !parts.name.empty());
  FUZZ_CHECK(((parts.flags & HasExtension) != 0) == !parts.extension.empty());
  FUZZ_CHECK(parts.flags >= 0 && parts.flags < 32);

  // The text SplitPath reads: up to a NUL, at most 1023 bytes.
  std::string_view path = input.substr(0, input.find('\0'));
  const bool pathCut = path.size() > MaxPathBytes;
  path = path.substr(0, CharBoundary(path, MaxPathBytes));
  FUZZ_CHECK(path.starts_with(parts.drive));
  if (!parts.drive.empty())
    FUZZ_CHECK(parts.drive.size() == 2 && parts.drive[1] == ':' && CharLength(path, 0) == 1);
  const std::size_t directoryAt = parts.drive.size();
  const std::size_t nameAt = directoryAt + parts.directory.size();
  FUZZ_CHECK(path.substr(directoryAt, parts.directory.size()) == parts.directory);
  FUZZ_CHECK(IsBoundary(path, directoryAt) && IsBoundary(path, nameAt));
  // A directory ends in a separator of its own (never a trail byte), or in a "." part.
  if (!parts.directory.empty() && !DotPart(parts.directory)) {
    const char last = parts.directory.back();
    FUZZ_CHECK((last == '\\' || last == '/') && IsBoundary(path, nameAt - 1));
  }
  // Name and extension lie in the last part; the extension begins at its last dot.
  const std::string_view rest = path.substr(nameAt);
  FUZZ_CHECK(rest.starts_with(parts.name));
  FUZZ_CHECK(!Holds(parts.name, "\\/") && !Holds(parts.extension, "\\/"));
  std::size_t lastDot = std::string_view::npos;
  for (std::size_t i = 0; i < rest.size(); i += CharLength(rest, i))
    if (rest[i] == '.' && CharLength(rest, i) == 1) lastDot = i;
  if (!parts.extension.empty()) {
    FUZZ_CHECK(lastDot != std::string_view::npos &&
               rest.substr(lastDot).starts_with(parts.extension));
    FUZZ_CHECK(parts.name.size() <= lastDot);
  } else {
    FUZZ_CHECK(lastDot == std::string_view::npos);
  }

  // Whole unless cut: the path at 1023 bytes, the name or the extension at 255.
  const bool cut = pathCut || parts.name.size() >= 254 || parts.extension.size() >= 254;
  const std::string whole = parts.drive + parts.directory + parts.name + parts.extension;
  if (!cut) {
    FUZZ_CHECK(whole == path);
    FUZZ_CHECK(((parts.flags & HasWildcards) != 0) == Holds(parts.name + parts.extension, "*?"));
  }
  return 0;
}
