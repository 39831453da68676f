#pragma once
// The 128-byte ID3v1 trailer at the end of an MP3 file, and its reader.
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"

namespace selvane {

struct Id3v1Tag {
  char marker[3];  // "TAG"
  char title[30];
  char artist[30];
  char album[30];
  char year[4];
  char comment[30];
  unsigned char genre;
};
static_assert(sizeof(Id3v1Tag) == 128, "the trailer is 128 bytes");

using Trailer = std::array<unsigned char, 128>;

// The fields of a trailer as stored, padding and all (views into `tail`).
struct TrailerFields {
  std::string_view title, artist, album, year, comment;
  unsigned char genre = 0;
};

// Whether a file of `length` bytes whose last 128 bytes are `tail` ends in
// a trailer: "TAG" there, past the end of any ID3v2 tag at the file's head.
// `head` holds the first `headRead` bytes of the file, as ReadTrailerHead
// gives them. Reading, writing and removing all ask this.
bool EndsInTrailer(const unsigned char* tail, std::int64_t length, const unsigned char* head,
                   std::size_t headRead);
// After `tailRead` of the tail and `headRead` bytes of the head (0 when
// none were read): where the tail begins with "TAG", reads what EndsInTrailer
// needs of the head into `head` (room for Id3v2HeaderSize) unless it is
// there already.
FileResult ReadTrailerHead(FileResult tailRead, const PlannedPath& path, std::int64_t length,
                           const unsigned char* tail, unsigned char* head, std::size_t& headRead,
                           FileOps& ops);
inline FileResult ReadTrailerHead(FileResult tailRead, const char* path, std::int64_t length,
                                  const unsigned char* tail, unsigned char* head,
                                  std::size_t& headRead, FileOps& ops) {
  return ReadTrailerHead(tailRead, PlannedPath{path, {}}, length, tail, head, headRead, ops);
}
TrailerFields ParseTrailer(const unsigned char* trailer);

// What a removal gives for a file that ends in no trailer.
inline constexpr int NoTrailerError = ENODATA;

inline constexpr int ReadTagOk = 0;
inline constexpr int ReadTagNoFile = -1;    // cannot open, or shorter than 128 bytes
inline constexpr int ReadTagNoStream = -2;  // opened but cannot be read
inline constexpr int ReadTagNoMarker = -3;  // last 128 bytes do not begin with "TAG"

// Reads the trailer of the file at `path` into the entry's tag part, which
// is cleared on every failure. `status`, when given, gets what the path
// named as it was read (kind Missing when it could not be looked at).
int ReadTag(const PlannedPath& path, FileEntry& entry, FileOps& ops, FileStatus* status);
inline int ReadTag(const char* path, FileEntry& entry, FileOps& ops = SystemFileOps(),
                   FileStatus* status = nullptr) {
  return ReadTag(PlannedPath{path, {}}, entry, ops, status);
}
// The part of ReadTag after the read, on what FileOps::ReadTail gave and
// the head that ReadTrailerHead read.
int TakeTrailer(FileResult read, std::int64_t length, const unsigned char* tail,
                const unsigned char* head, std::size_t headRead, FileEntry& entry);
// The fields of a trailer just written into the entry.
void TakeTrailerFields(const unsigned char* trailer, FileEntry& entry);

}  // namespace selvane
