#pragma once
// The 128-byte ID3v1 trailer at the end of an MP3 file, and its reader.
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

inline constexpr int ReadTagOk = 0;
inline constexpr int ReadTagNoFile = -1;    // cannot open, or shorter than 128 bytes
inline constexpr int ReadTagNoStream = -2;  // opened but cannot be read
inline constexpr int ReadTagNoMarker = -3;  // last 128 bytes do not begin with "TAG"

// Reads the trailer of the file at `path` into the entry's tag part, which
// is cleared on every failure. `status`, when given, gets what the path
// named as it was read (kind Missing when it could not be looked at).
int ReadTag(const char* path, FileEntry& entry, FileOps& ops = SystemFileOps(),
            FileStatus* status = nullptr);
// The part of ReadTag after the read, on what FileOps::ReadTail gave and
// the head that ReadTrailerHead read.
int TakeTrailer(FileResult read, std::int64_t length, const unsigned char* tail,
                const unsigned char* head, std::size_t headRead, FileEntry& entry);
// The fields of a trailer just written into the entry.
void TakeTrailerFields(const unsigned char* trailer, FileEntry& entry);

}  // namespace selvane
