#pragma once
// One listed file: its tag texts in fixed fields (a tag's own limits) and
// its two paths held at their own length, all NUL-terminated CP932.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/filelist/Id3v2Note.h"

namespace selvane {

inline constexpr std::size_t MaxPathBytes = 1023;

// Which tags name a file: the ID3v1 trailer alone, or with the ID3v2 tag at
// the head filling in what the trailer lacks or cut short.
enum class TagSources : unsigned char { Id3v1, WithId3v2 };

// A path of at most MaxPathBytes bytes, holding only what it holds: a
// collection of 100,000 files must not reserve the limit for each. A path
// of ordinary length lies in the record itself, so that a record is one
// allocation (made and freed once); a longer one takes a buffer of its own.
// Reads as a NUL-terminated text; written only through CopyField, which
// keeps the limit.
class PathText {
 public:
  PathText() = default;
  PathText(const PathText& other) { Assign(other); }
  PathText& operator=(const PathText& other) {
    Assign(other);
    return *this;
  }

  operator const char*() const { return c_str(); }
  operator std::string_view() const { return {c_str(), size_}; }
  const char* c_str() const { return heap_ != nullptr ? heap_.get() : inline_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool operator==(const PathText& other) const {
    return std::string_view(*this) == std::string_view(other);
  }
  friend bool operator==(const PathText& a, std::string_view b) { return std::string_view(a) == b; }

 private:
  friend bool CopyField(PathText& dst, std::string_view src);
  static constexpr std::size_t InlineBytes = 111;
  void Assign(std::string_view text);

  std::unique_ptr<char[]> heap_;  // when longer than InlineBytes
  std::uint16_t size_ = 0, capacity_ = 0;
  char inline_[InlineBytes + 1] = {};
};

struct FileEntry {
  unsigned char hasTag;  // 1 when the last ReadTag found a trailer
  char title[31];
  char artist[31];
  char album[31];
  char year[5];
  char comment[31];
  unsigned char genre[2];  // genre byte, then 0
  PathText path;
  PathText newPath;
  Id3v2Note id3v2;
  bool operator==(const FileEntry&) const = default;
};

// The one bounded copy into a field: at most N-1 bytes, cut on a character
// boundary, always NUL-terminated. Returns false when `src` had to be cut.
bool CopyField(char* dst, std::size_t dstSize, std::string_view src);
// A path: at most MaxPathBytes bytes, the same way.
bool CopyField(PathText& dst, std::string_view src);
template <std::size_t N>
bool CopyField(char (&dst)[N], std::string_view src) {
  return CopyField(dst, N, src);
}

// hasTag 0, the five texts empty, genre 0.
void ClearTagPart(FileEntry& entry);

}  // namespace selvane
