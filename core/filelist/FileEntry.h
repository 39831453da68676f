#pragma once
// One listed file: a plain 2180-byte record of NUL-terminated CP932 texts,
// copied whole when entries move.
#include <cstddef>
#include <string_view>

namespace selvane {

inline constexpr std::size_t MaxPathBytes = 1023;

struct FileEntry {
  unsigned char hasTag;  // 1 when the last ReadTag found a trailer
  char title[31];
  char artist[31];
  char album[31];
  char year[5];
  char comment[31];
  unsigned char genre[2];  // genre byte, then 0
  char path[1024];
  char newPath[1024];
};
static_assert(sizeof(FileEntry) == 2180, "FileEntry is a fixed 2180-byte record");

// The one bounded copy into a field: at most N-1 bytes, cut on a character
// boundary, always NUL-terminated. Returns false when `src` had to be cut.
bool CopyField(char* dst, std::size_t dstSize, std::string_view src);
template <std::size_t N>
bool CopyField(char (&dst)[N], std::string_view src) {
  return CopyField(dst, N, src);
}

// hasTag 0, the five texts empty, genre 0.
void ClearTagPart(FileEntry& entry);

}  // namespace selvane
