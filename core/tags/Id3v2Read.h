#pragma once
// The ID3v2 tag at the head of an MP3 file (versions 2.2, 2.3 and 2.4):
// title, artist and album, read from the tag's own bytes alone. A tag that
// cannot be read is no tag.
#include <cstddef>
#include <string>

#include "core/filelist/FileEntry.h"
#include "core/filelist/TagField.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v2Text.h"

namespace selvane {

struct Id3v2Fields {
  bool present = false;  // a tag holding a title, artist or album that is not empty
  Id3v2Text title, artist, album;
};

// The title, artist and album frames of a tag as found, not yet decoded:
// a refresh decodes only the ones a name needs.
struct Id3v2Frames {
  bool present = false;   // one of the three at least
  bool allFound = false;  // all three: the rest of the tag need not be read
  unsigned char header[10] = {};
  // Each frame as TagLib is to read it (header included, no format flags,
  // inflated); empty when none, or when it cannot be read.
  std::string frame[NameFieldCount];  // by FieldIndex
};

inline constexpr std::size_t Id3v2HeaderSize = 10;
// What one read at the head takes. A longer tag (a picture in it) is read
// again, whole, up to Id3v2ReadLimit, only when its first bytes did not
// hold all three frames.
inline constexpr std::size_t Id3v2HeadChunk = 1024;
inline constexpr std::size_t Id3v2ReadLimit = std::size_t{16} << 20;
// The most a compressed frame is inflated to: far more than a name can take
// from one text. One that inflates to more is read as absent.
inline constexpr std::size_t Id3v2InflateLimit = 4096;

// The size of the tag whose header begins `head` (header included), or 0
// when `head` begins with no valid ID3v2 header.
std::size_t Id3v2TagSize(const unsigned char* head, std::size_t size);

// Where that tag ends: its size, and its footer when it has one; 0 when
// `head` begins with no valid ID3v2 header.
std::size_t Id3v2TagEnd(const unsigned char* head, std::size_t size);

// The frames of the tag at the start of `data`, which holds the first
// `size` bytes of the file (a tag that claims more is read as far as it
// goes).
Id3v2Frames FindId3v2Frames(const unsigned char* data, std::size_t size);
// The text of frame `field` (one of NameFields), through TagLib.
Id3v2Text DecodeId3v2Frame(const Id3v2Frames& tag, TagField field);
// The most bytes that text can take in CP932, read off the frame's size.
std::size_t Id3v2TextBound(const Id3v2Frames& tag, TagField field);
// The three decoded.
Id3v2Fields ParseId3v2(const unsigned char* data, std::size_t size);

// ReadTag (same result, same entry), finding the ID3v2 frames at the head
// through the same open.
int ReadTagAndId3v2(const PlannedPath& path, FileEntry& entry, Id3v2Frames& v2, FileOps& ops,
                    FileStatus* status);
inline int ReadTagAndId3v2(const char* path, FileEntry& entry, Id3v2Frames& v2, FileOps& ops,
                           FileStatus* status) {
  return ReadTagAndId3v2(PlannedPath{path, {}}, entry, v2, ops, status);
}

// The ID3v2 tag alone.
Id3v2Fields ReadId3v2(const char* path, FileOps& ops);

}  // namespace selvane
