#include "core/tags/Id3v2Write.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Read.h"

namespace selvane {
namespace {

using Bytes = std::string_view;

constexpr int FieldCount = 6;
constexpr int CommentField = 4;
constexpr std::size_t MaxTagBody = 0x0FFFFFFF;  // what 28 synchsafe bits can say
// A grown tag ends on a 4 KiB boundary: once the audio starts there, the
// next growth can copy it by sharing extents where the medium can.
constexpr std::size_t GrownBlockUnit = 4096;

// The six fields' frame ids in 2.2, 2.3 and 2.4.
constexpr std::array<std::array<Bytes, FieldCount>, 3> FrameIds = {{
    {"TT2", "TP1", "TAL", "TYE", "COM", "TCO"},
    {"TIT2", "TPE1", "TALB", "TYER", "COMM", "TCON"},
    {"TIT2", "TPE1", "TALB", "TDRC", "COMM", "TCON"},
}};

unsigned char At(Bytes b, std::size_t i) { return static_cast<unsigned char>(b[i]); }

std::uint32_t Plain(Bytes b, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | At(b, at + i);
  return value;
}

bool IsSynchsafe(Bytes b, std::size_t at) {
  return ((At(b, at) | At(b, at + 1) | At(b, at + 2) | At(b, at + 3)) & 0x80) == 0;
}

std::uint32_t Synchsafe(Bytes b, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 7 | At(b, at + i);
  return value;
}

void PutPlain(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[at + i] = static_cast<char>(value & 0xFF);
}

void PutSynchsafe(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 3; i >= 0; --i, value >>= 7) out[at + i] = static_cast<char>(value & 0x7F);
}

std::size_t FrameHeaderBytes(unsigned version) { return version == 2 ? 6 : 10; }
std::size_t IdBytes(unsigned version) { return version == 2 ? 3 : 4; }

bool IsFrameIdByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The frames between `at` and `end`, up to the padding (a zero byte where
// a frame would begin); false when a frame has no id or runs past `end`.
bool WalkFrames(Bytes block, std::size_t at, std::size_t end, unsigned version, bool plainSizes,
                Id3v2Layout& layout) {
  layout.frames.clear();
  const std::size_t header = FrameHeaderBytes(version);
  while (at < end && block[at] != '\0') {
    if (end - at < header) return false;
    for (std::size_t i = 0; i < IdBytes(version); ++i)
      if (!IsFrameIdByte(block[at + i])) return false;
    std::uint64_t size = 0;
    if (version == 2) {
      size = Plain(block, at + 3, 3);
    } else if (version == 3 || plainSizes) {
      size = Plain(block, at + 4, 4);
    } else {
      if (!IsSynchsafe(block, at + 4)) return false;
      size = Synchsafe(block, at + 4);
    }
    if (size > end - at - header) return false;
    layout.frames.push_back({at, static_cast<std::size_t>(header + size)});
    at += header + static_cast<std::size_t>(size);
  }
  layout.padding = end - at;
  return true;
}

// The bytes of the extended header after the tag header (0 with a refusal
// set when it cannot be kept as it is).
std::size_t ExtendedHeaderBytes(Bytes block, Id3v2Layout& layout) {
  const std::size_t at = Id3v2HeaderSize, left = layout.size - at;
  if (layout.version == 3) {
    if (left >= 6 && (At(block, at + 4) & 0x80) != 0) {
      layout.refusal = Id3v2Refusal::ExtendedHeaderCrc;
      return 0;
    }
    // Size (not counting itself), flags, and the padding's size.
    if (left < 10 || Plain(block, at, 4) != 6) layout.refusal = Id3v2Refusal::Malformed;
    return 10;
  }
  if (left < 6 || !IsSynchsafe(block, at) || Synchsafe(block, at) < 6 ||
      Synchsafe(block, at) > left || At(block, at + 4) != 1) {
    layout.refusal = Id3v2Refusal::Malformed;
    return 0;
  }
  const unsigned char flags = At(block, at + 5);
  if ((flags & 0x20) != 0) layout.refusal = Id3v2Refusal::ExtendedHeaderCrc;
  if ((flags & 0x8F) != 0) layout.refusal = Id3v2Refusal::Malformed;
  return Synchsafe(block, at);
}

// What the tag header's flags allow, before any frame is looked at.
Id3v2Refusal HeaderRefusal(unsigned version, unsigned char flags) {
  const unsigned char known = version == 2 ? 0xC0 : version == 3 ? 0xE0 : 0xF0;
  if ((flags & ~known) != 0) return Id3v2Refusal::Malformed;
  if ((flags & 0x80) != 0) return Id3v2Refusal::UnsynchronisedTag;
  // 2.2's compression flag: no method for it was ever laid down.
  if (version == 2 && (flags & 0x40) != 0) return Id3v2Refusal::CompressedFrame;
  if (version == 4 && (flags & 0x10) != 0) return Id3v2Refusal::Footer;
  return Id3v2Refusal::None;
}

int FieldOfId(Bytes block, unsigned version, const Id3v2FrameSpan& frame) {
  const Bytes id = block.substr(frame.at, IdBytes(version));
  const auto& ids = FrameIds[version - 2];
  for (int field = 0; field < FieldCount; ++field)
    if (id == ids[field]) return field;
  return -1;
}

// Why a frame cannot be read or replaced as it stands (2.2 frames have no
// flags).
Id3v2Refusal FrameRefusal(Bytes block, unsigned version, const Id3v2FrameSpan& frame) {
  if (version == 2) return Id3v2Refusal::None;
  const unsigned char flags = At(block, frame.at + 9);
  const bool v3 = version == 3;
  if ((flags & (v3 ? 0x80 : 0x08)) != 0) return Id3v2Refusal::CompressedFrame;
  if ((flags & (v3 ? 0x40 : 0x04)) != 0) return Id3v2Refusal::EncryptedFrame;
  if (!v3 && (flags & 0x02) != 0) return Id3v2Refusal::UnsynchronisedFrame;
  return Id3v2Refusal::None;
}

// The frame's content after its header and the flags' extra bytes (group
// id, 2.4's data length); the frame is one FrameRefusal lets through.
Bytes Content(Bytes block, unsigned version, const Id3v2FrameSpan& frame) {
  std::size_t skip = FrameHeaderBytes(version);
  if (version >= 3) {
    const unsigned char flags = At(block, frame.at + 9);
    if ((flags & (version == 3 ? 0x20 : 0x40)) != 0) skip += 1;
    if (version == 4 && (flags & 0x01) != 0) skip += 4;
  }
  return skip > frame.size ? Bytes() : block.substr(frame.at + skip, frame.size - skip);
}

// A comment frame's content: encoding, language, then the description,
// which is empty when its terminator (after a byte order mark in UTF-16)
// comes first or nothing comes at all.
bool HasEmptyDescription(Bytes content) {
  if (content.size() < 4 || At(content, 0) > 3) return false;
  Bytes description = content.substr(4);
  if (At(content, 0) == 0 || At(content, 0) == 3)
    return description.empty() || description[0] == '\0';
  if (description.starts_with("\xFF\xFE") || description.starts_with("\xFE\xFF"))
    description.remove_prefix(2);
  return description.empty() || description.starts_with(Bytes("\0\0", 2));
}

void AppendUtf16(std::string& out, std::uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// A value as a frame's text: UTF-8 in 2.4, UTF-16 little-endian with its
// byte order mark before. False when it is no CP932 text.
bool EncodeText(const std::string& cp932, unsigned version, std::string& out) {
  std::string utf8;
  if (cp932.find('\0') != std::string::npos || !Cp932ToNative(cp932, utf8)) return false;
  if (version == 4) {
    out = std::move(utf8);
    return true;
  }
  out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = At(utf8, i);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code = code << 6 | (At(utf8, i + k) & 0x3F);
    i += length;
    if (code < 0x10000) {
      AppendUtf16(out, code);
    } else {
      AppendUtf16(out, 0xD800 + ((code - 0x10000) >> 10));
      AppendUtf16(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return true;
}

// A new frame of `field` holding `text` (already encoded); a comment gets
// `language` and an empty description. Empty when its size cannot be said.
std::string MakeFrame(unsigned version, bool plainSizes, int field, const std::string& text,
                      Bytes language) {
  std::string content(1, version == 4 ? '\x03' : '\x01');
  if (field == CommentField) {
    content.append(language);
    content.append(version == 4 ? Bytes("\0", 1) : Bytes("\xFF\xFE\0\0", 4));
  }
  content += text;
  const std::size_t header = FrameHeaderBytes(version);
  if (content.size() > (version == 2 ? 0xFFFFFF : MaxTagBody)) return {};
  std::string frame(FrameIds[version - 2][field]);
  frame.resize(header, '\0');
  if (version == 2)
    PutPlain(frame, 3, static_cast<std::uint32_t>(content.size()), 3);
  else if (version == 3 || plainSizes)
    PutPlain(frame, 4, static_cast<std::uint32_t>(content.size()), 4);
  else
    PutSynchsafe(frame, 4, static_cast<std::uint32_t>(content.size()));
  return frame + content;
}

Id3v2Splice Refused(Id3v2Refusal why) {
  Id3v2Splice out;
  out.refusal = why;
  return out;
}

// The frames of the new tag, appended to `frames` in the old one's order:
// a changed field's frames are replaced where they stand (or taken out for
// an empty value), and a field the tag lacked is added after the last one.
Id3v2Refusal SpliceFrames(Bytes block, const Id3v2Layout& layout, unsigned version,
                          const std::array<const std::optional<std::string>*, FieldCount>& wanted,
                          std::string& frames) {
  std::array<std::string, FieldCount> text;
  for (int field = 0; field < FieldCount; ++field)
    if (*wanted[field] && !(*wanted[field])->empty() &&
        !EncodeText(**wanted[field], version, text[field]))
      return Id3v2Refusal::BadText;
  std::array<bool, FieldCount> placed{};
  const auto put = [&](int field, Bytes language) {
    placed[field] = true;
    if ((*wanted[field])->empty()) return true;
    const std::string frame = MakeFrame(version, layout.plainSizes, field, text[field], language);
    frames += frame;
    return !frame.empty();
  };
  for (const Id3v2FrameSpan& frame : layout.frames) {
    const int field = FieldOfId(block, version, frame);
    const Bytes bytes = block.substr(frame.at, frame.size);
    if (field < 0 || !*wanted[field]) {
      frames += bytes;
      continue;
    }
    if (const Id3v2Refusal why = FrameRefusal(block, version, frame); why != Id3v2Refusal::None)
      return why;
    const Bytes content = Content(block, version, frame);
    if (field == CommentField && !HasEmptyDescription(content))
      frames += bytes;
    else if (!put(field, field == CommentField ? content.substr(1, 3) : Bytes()))
      return Id3v2Refusal::TooLarge;
  }
  for (int field = 0; field < FieldCount; ++field)
    if (*wanted[field] && !placed[field] && !put(field, "jpn")) return Id3v2Refusal::TooLarge;
  return Id3v2Refusal::None;
}

}  // namespace

Id3v2Layout ReadId3v2Layout(Bytes block) {
  Id3v2Layout layout;
  if (block.empty()) return layout;
  const auto* head = reinterpret_cast<const unsigned char*>(block.data());
  layout.size = Id3v2TagSize(head, block.size());
  if (layout.size == 0 || layout.size > block.size()) {
    layout.refusal = Id3v2Refusal::Malformed;
    return layout;
  }
  layout.version = head[3];
  layout.refusal = HeaderRefusal(layout.version, head[5]);
  if (layout.refusal != Id3v2Refusal::None) return layout;
  if (layout.version >= 3 && (head[5] & 0x40) != 0) {
    layout.extendedHeader = ExtendedHeaderBytes(block, layout);
    if (layout.refusal != Id3v2Refusal::None) return layout;
  }
  const std::size_t first = Id3v2HeaderSize + layout.extendedHeader;
  if (WalkFrames(block, first, layout.size, layout.version, false, layout)) return layout;
  // Some 2.4 writers put plain sizes where synchsafe ones belong; a tag
  // that reads whole that way is taken so.
  layout.plainSizes =
      layout.version == 4 && WalkFrames(block, first, layout.size, layout.version, true, layout);
  if (!layout.plainSizes) {
    layout.refusal = Id3v2Refusal::Malformed;
    layout.frames.clear();
  }
  return layout;
}

int Id3v2FieldOf(Bytes block, const Id3v2Layout& layout, const Id3v2FrameSpan& frame) {
  if (layout.version < 2 || layout.version > 4) return -1;
  const int field = FieldOfId(block, layout.version, frame);
  if (field != CommentField) return field;
  const bool readable = FrameRefusal(block, layout.version, frame) == Id3v2Refusal::None;
  return readable && HasEmptyDescription(Content(block, layout.version, frame)) ? field : -1;
}

Id3v2Splice SpliceId3v2(Bytes block, const Id3v2Changes& changes) {
  const Id3v2Layout layout = ReadId3v2Layout(block);
  if (layout.refusal != Id3v2Refusal::None) return Refused(layout.refusal);
  const bool fresh = layout.version == 0;
  const unsigned version = fresh ? 3 : layout.version;
  const std::size_t head = Id3v2HeaderSize + layout.extendedHeader;
  Id3v2Splice out;
  std::string& b = out.block;
  // The frames go straight after the head; a picture is copied once.
  b.reserve(std::max(layout.size, head) + GrownBlockUnit);
  b.assign(fresh ? Bytes("ID3\x03\x00\x00\x00\x00\x00\x00", Id3v2HeaderSize)
                 : block.substr(0, head));
  const Id3v2Refusal why = SpliceFrames(block, layout, version,
                                        {&changes.title, &changes.artist, &changes.album,
                                         &changes.year, &changes.comment, &changes.genre},
                                        b);
  if (why != Id3v2Refusal::None) return Refused(why);

  out.oldSize = layout.size;
  out.room = fresh ? 0 : layout.size - head;
  out.needed = b.size() - head;
  out.inPlace = out.needed <= out.room;
  // No tag before and none needed now: nothing to write.
  if (fresh && out.needed == 0) {
    b.clear();
    return out;
  }
  const std::size_t total = out.inPlace ? layout.size
                                        : (b.size() + Id3v2GrownPadding + GrownBlockUnit - 1) /
                                              GrownBlockUnit * GrownBlockUnit;
  if (total - Id3v2HeaderSize > MaxTagBody) return Refused(Id3v2Refusal::TooLarge);
  PutSynchsafe(b, 6, static_cast<std::uint32_t>(total - Id3v2HeaderSize));
  // 2.3's extended header tells the padding's size.
  if (version == 3 && layout.extendedHeader != 0)
    PutPlain(b, Id3v2HeaderSize + 6, static_cast<std::uint32_t>(total - b.size()), 4);
  b.resize(total, '\0');
  return out;
}

}  // namespace selvane
