#pragma once
// Writing and removing the trailer.
#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"

namespace selvane {

// The tag panel's values, CP932.
struct TagValues {
  std::string_view title, artist, album, year, comment;
  int genreItem = -1;  // -1 for none, else 0-148
};

using Trailer = std::array<unsigned char, 128>;

// Genre byte from the chosen item: 0-147 as chosen, -1 gives 255, "Unknown"
// keeps `lastGenre` (the entry's byte as last read).
unsigned char GenreByteForItem(int item, unsigned char lastGenre);

Trailer BuildTrailer(const TagValues& values, unsigned char lastGenre);

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
FileResult ReadTrailerHead(FileResult tailRead, const char* path, std::int64_t length,
                           const unsigned char* tail, unsigned char* head, std::size_t& headRead,
                           FileOps& ops);
TrailerFields ParseTrailer(const unsigned char* trailer);

// Replaces the trailer in place when the file ends in one now, whatever the
// entry remembers, and appends one when it does not; `replaced` tells which.
// Never writes outside the last 128 bytes / the new 128 bytes. On success
// the entry's tag part is read back from the file; on failure nothing
// changes.
FileResult WriteTag(FileEntry& entry, const Trailer& trailer, FileOps& ops = SystemFileOps(),
                    bool* replaced = nullptr);
// Cuts the trailer off and sets hasTag 0. A file whose last 128 bytes no
// longer begin with "TAG" is left whole and gives NoTrailerError.
inline constexpr int NoTrailerError = ENODATA;
FileResult RemoveTag(FileEntry& entry, FileOps& ops = SystemFileOps());

}  // namespace selvane
