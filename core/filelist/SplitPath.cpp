#include "core/filelist/SplitPath.h"

#include "core/filelist/FileEntry.h"
#include "core/filelist/PathNames.h"
#include "core/platform/Cp932.h"

namespace selvane {
namespace {

// Every path the table holds is examined whole, so a file in a deep folder
// is named in that folder; a single name stays within 255 bytes.
constexpr std::size_t ExaminedBytes = MaxPathBytes;
constexpr std::size_t DriveLimit = 2;
constexpr std::size_t DirectoryLimit = MaxPathBytes;
constexpr std::size_t PartLimit = 255;

bool IsSingleByte(std::string_view s, std::size_t i) { return CharLength(s, i) == 1; }

std::string CutPart(std::string_view part, std::size_t limit) {
  return std::string(part.substr(0, CharBoundary(part, limit)));
}

}  // namespace

PathParts SplitPath(std::string_view path) {
  if (const std::size_t nul = path.find('\0'); nul != std::string_view::npos)
    path = path.substr(0, nul);
  path = path.substr(0, CharBoundary(path, ExaminedBytes));

  // A colon is a drive mark only as the second byte, and only when the first
  // byte is a character of its own (not the lead byte of a pair).
  std::size_t driveEnd = 0;
  if (path.size() >= 2 && IsSingleByte(path, 0) && path[1] == ':') driveEnd = 2;

  // Walk whole characters so that a trail byte 0x5C or 0x2F never splits.
  std::size_t componentStart = driveEnd;
  for (std::size_t i = driveEnd; i < path.size(); i += CharLength(path, i)) {
    if (IsSeparatorAt(path, i)) componentStart = i + 1;
  }

  std::string_view last = path.substr(componentStart);
  std::size_t dirEnd = componentStart;
  std::size_t dot = std::string_view::npos;
  bool wildcards = false;
  if (last == "." || last == "..") {
    dirEnd = path.size();
    last = {};
  } else {
    for (std::size_t i = 0; i < last.size(); i += CharLength(last, i)) {
      if (!IsSingleByte(last, i)) continue;
      if (last[i] == '.') dot = i;
      if (last[i] == '*' || last[i] == '?') wildcards = true;
    }
  }

  PathParts parts;
  parts.drive = CutPart(path.substr(0, driveEnd), DriveLimit);
  parts.directory = CutPart(path.substr(driveEnd, dirEnd - driveEnd), DirectoryLimit);
  parts.name = CutPart(last.substr(0, dot), PartLimit);
  if (dot != std::string_view::npos) parts.extension = CutPart(last.substr(dot), PartLimit);

  if (wildcards) parts.flags |= HasWildcards;
  if (dot != std::string_view::npos) parts.flags |= HasExtension;
  if (!parts.name.empty()) parts.flags |= HasFileName;
  if (!parts.directory.empty()) parts.flags |= HasDirectory;
  if (!parts.drive.empty()) parts.flags |= HasDrive;
  return parts;
}

}  // namespace selvane
