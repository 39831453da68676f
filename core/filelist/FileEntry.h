#pragma once
// One listed file: a plain fixed record of NUL-terminated CP932 texts,
// copied whole when entries move.
#include <cstddef>
#include <string_view>

namespace selvane {

inline constexpr std::size_t MaxPathBytes = 1023;

// Which tags name a file: the ID3v1 trailer alone, or with the ID3v2 tag at
// the head filling in what the trailer lacks or cut short.
enum class TagSources : unsigned char { Id3v1, WithId3v2 };

// How the last naming of a file used its ID3v2 tag: which of title, artist
// and album the name took (bits 1, 2, 4), per field where the value came
// from (an Id3v2Source) and how its text was read (an Id3v2Reading), and
// the first character that has no CP932 form (UTF-8).
struct Id3v2Note {
  unsigned char used;
  unsigned char unread;  // ID3v2 only, and the tags read were ID3v1 alone
  unsigned char from[3];
  unsigned char reading[3];
  char missing[3][5];
};

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
  Id3v2Note id3v2;
};
static_assert(sizeof(FileEntry) == 2180 + sizeof(Id3v2Note),
              "FileEntry is a fixed record: the designed 2180 bytes and the ID3v2 note");

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
