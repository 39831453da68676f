#pragma once
// The ID3v2 tag at the head of an MP3 file (versions 2.2, 2.3 and 2.4):
// title, artist and album, read from the tag's own bytes alone. A tag that
// cannot be read is no tag.
#include <cstddef>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v2Text.h"

namespace selvane {

struct Id3v2Fields {
  bool present = false;  // a tag holding a title, artist or album frame
  Id3v2Text title, artist, album;
};

inline constexpr std::size_t Id3v2HeaderSize = 10;
// What one read at the head takes; a longer tag is read again, whole, up to
// Id3v2ReadLimit (a tag with a large picture before its texts).
inline constexpr std::size_t Id3v2HeadChunk = 4096;
inline constexpr std::size_t Id3v2ReadLimit = std::size_t{16} << 20;

// The size of the tag whose header begins `head` (header included), or 0
// when `head` begins with no valid ID3v2 header.
std::size_t Id3v2TagSize(const unsigned char* head, std::size_t size);

// The tag at the start of `data`, which holds the first `size` bytes of the
// file (a tag that claims more is read as far as it goes).
Id3v2Fields ParseId3v2(const unsigned char* data, std::size_t size);

// ReadTag (same result, same entry), reading the ID3v2 tag at the head
// through the same open.
int ReadTagAndId3v2(const char* path, FileEntry& entry, Id3v2Fields& v2, FileOps& ops,
                    FileStatus* status);

// The ID3v2 tag alone.
Id3v2Fields ReadId3v2(const char* path, FileOps& ops);

}  // namespace selvane
