#pragma once
// A tag edit spliced into the ID3v2 tag block at a file's head, on bytes
// alone: the frames of the fields the user changed are replaced in their
// place, in the tag's own version, and every other byte of the tag stays.
// The file work (in place, or a new file with the audio copied) is the
// caller's.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace selvane {

// Why a tag is not rewritten. The caller shows each as its own message.
enum class Id3v2Refusal : unsigned char {
  None,
  UnsynchronisedTag,    // the whole tag is unsynchronised
  CompressedFrame,      // a frame to replace is compressed (or a 2.2 tag compressed whole)
  EncryptedFrame,       // a frame to replace is encrypted
  UnsynchronisedFrame,  // a frame to replace is unsynchronised (2.4)
  ExtendedHeaderCrc,    // the extended header holds a CRC of the frames
  Footer,               // a 2.4 tag with a footer
  Malformed,            // no readable tag: frames past its end, unknown flags, broken header
  BadText,              // a value that is no CP932 text (or holds a NUL)
  TooLarge,             // the new tag would pass the 256 MiB an ID3v2 size can say
};

// The fields of one edit, as CP932 text. A field not given stays as the tag
// has it; an empty value takes its frames out.
struct Id3v2Changes {
  std::optional<std::string> title, artist, album, year, comment;
  std::optional<std::string> genre;  // the genre's name
};

// One frame of a tag: where it begins in the block and its bytes, header
// included.
struct Id3v2FrameSpan {
  std::size_t at = 0, size = 0;
};

// How a tag block is laid out. A refusal other than None means the frames
// were not all found; the frame-level refusals come only from a splice,
// which knows which frames it touches.
struct Id3v2Layout {
  Id3v2Refusal refusal = Id3v2Refusal::None;
  unsigned version = 0;            // 2, 3 or 4; 0 for no tag (empty input)
  std::size_t size = 0;            // the whole block, header included
  std::size_t extendedHeader = 0;  // its bytes, right after the header
  bool plainSizes = false;         // a 2.4 tag whose frame sizes are plain numbers
  std::vector<Id3v2FrameSpan> frames;
  std::size_t padding = 0;  // from the end of the last frame to the block's end
};

// The layout of the tag block at the start of `block`; bytes after the
// size its header gives are not looked at.
Id3v2Layout ReadId3v2Layout(std::string_view block);

// The field a frame holds: 0 title, 1 artist, 2 album, 3 year, 4 comment
// (a comment frame with an empty description only), 5 genre; -1 for none.
int Id3v2FieldOf(std::string_view block, const Id3v2Layout& layout, const Id3v2FrameSpan& frame);

struct Id3v2Splice {
  Id3v2Refusal refusal = Id3v2Refusal::None;
  std::string block;        // the new tag block; empty on a refusal
  std::size_t oldSize = 0;  // the old block's bytes, header included: the audio starts there
  std::size_t room = 0;     // the old tag's frames plus padding
  std::size_t needed = 0;   // the new tag's frames
  bool inPlace = false;     // the new block is exactly oldSize bytes
};

// Least padding of a tag that had to grow, so the next edit fits in place.
inline constexpr std::size_t Id3v2GrownPadding = 2048;

// The old tag block (empty for a file with none) with `changes` spliced in.
// A new tag is 2.3, in UTF-16; a grown one is a whole number of 4 KiB. A
// file with no tag and nothing to write gets an empty block, in place.
Id3v2Splice SpliceId3v2(std::string_view block, const Id3v2Changes& changes);

}  // namespace selvane
