#pragma once
// Writing and removing the trailer.
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v1Tag.h"

namespace selvane {

// The tag panel's values, CP932.
struct TagValues {
  std::string_view title, artist, album, year, comment;
  int genreItem = -1;  // -1 for none, else 0-148
};

// Genre byte from the chosen item: 0-147 as chosen, -1 gives 255, "Unknown"
// keeps `lastGenre` (the entry's byte as last read).
unsigned char GenreByteForItem(int item, unsigned char lastGenre);

Trailer BuildTrailer(const TagValues& values, unsigned char lastGenre);

// Replaces the trailer in place when the file ends in one now, whatever the
// entry remembers, and appends one when it does not; `replaced` tells which.
// Never writes outside the last 128 bytes / the new 128 bytes. On success
// the entry's tag part is read back from the file; on failure nothing
// changes.
FileResult WriteTag(FileEntry& entry, const Trailer& trailer, FileOps& ops = SystemFileOps(),
                    bool* replaced = nullptr);
// Cuts the trailer off and sets hasTag 0. A file whose last 128 bytes no
// longer begin with "TAG" is left whole and gives NoTrailerError.
FileResult RemoveTag(FileEntry& entry, FileOps& ops = SystemFileOps());

}  // namespace selvane
