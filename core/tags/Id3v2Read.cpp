#include "core/tags/Id3v2Read.h"

#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/textidentificationframe.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "core/tags/Id3v1Tag.h"

namespace selvane {
namespace {

using TagLib::ByteVector;
namespace ID3v2 = TagLib::ID3v2;

std::uint32_t SyncSafe(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 21) | (std::uint32_t{p[1]} << 14) | (std::uint32_t{p[2]} << 7) |
         std::uint32_t{p[3]};
}

// The frames are walked on the bytes as read; only the frames wanted are
// copied, for TagLib.
using Bytes = std::string_view;

unsigned char At(Bytes b, std::size_t i) { return static_cast<unsigned char>(b[i]); }

std::uint32_t Plain(Bytes b, std::size_t at) {
  return (std::uint32_t{At(b, at)} << 24) | (std::uint32_t{At(b, at + 1)} << 16) |
         (std::uint32_t{At(b, at + 2)} << 8) | std::uint32_t{At(b, at + 3)};
}

// Bytes to skip for the extended header at the start of the frames, or -1
// when it does not fit. 2.3 counts its size without the size field; 2.4
// counts it whole, as a synchsafe number.
long ExtendedHeaderBytes(Bytes body, unsigned int version) {
  if (body.size() < 4) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(body.data());
  const std::uint64_t bytes = version == 3 ? std::uint64_t{Plain(body, 0)} + 4 : SyncSafe(p);
  if (bytes < 4 || bytes > body.size()) return -1;
  return static_cast<long>(bytes);
}

bool IsFrameIdByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Whether a frame may begin at `at`: the end of the frames, padding, or an id.
bool FrameMayStart(Bytes body, std::uint64_t at, std::size_t idBytes) {
  if (at >= body.size() || body[at] == '\0') return true;
  if (at + idBytes > body.size()) return false;
  for (std::size_t i = 0; i < idBytes; ++i)
    if (!IsFrameIdByte(body[at + i])) return false;
  return true;
}

// The size of the frame at `at` (header not counted). 2.4 sizes are
// synchsafe, but some writers put plain ones there: the reading that leads
// to the next frame wins.
std::uint64_t FrameSize(Bytes body, std::size_t at, unsigned int version) {
  const auto b = [&](std::size_t i) { return std::uint32_t{At(body, at + i)}; };
  if (version == 2) return (b(3) << 16) | (b(4) << 8) | b(5);
  const std::uint32_t plain = Plain(body, at + 4);
  if (version == 3) return plain;
  const bool safe = ((b(4) | b(5) | b(6) | b(7)) & 0x80) == 0;
  const std::uint32_t synch = (b(4) << 21) | (b(5) << 14) | (b(6) << 7) | b(7);
  if (!safe) return plain;
  if (synch != plain && !FrameMayStart(body, std::uint64_t{at} + 10 + synch, 4) &&
      FrameMayStart(body, std::uint64_t{at} + 10 + plain, 4))
    return plain;
  return synch;
}

// 0, 1, 2 for the title, artist and album frames; -1 for any other.
int Wanted(Bytes id) {
  if (id == "TIT2" || id == "TT2") return 0;
  if (id == "TPE1" || id == "TP1") return 1;
  if (id == "TALB" || id == "TAL") return 2;
  return -1;
}

// A compressed text is inflated only as far as a name can use it: a frame
// of a few hundred bytes may inflate to gigabytes.
bool Inflate(std::string& data) {
  std::string out(Id3v2InflateLimit, '\0');
  uLongf size = out.size();
  const int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                                reinterpret_cast<const Bytef*>(data.data()), data.size());
  if (result != Z_OK) return false;
  out.resize(size);
  data = std::move(out);
  return true;
}

void PutSize(std::string& header, std::size_t size, unsigned int version) {
  const int shift = version == 4 ? 7 : 8;
  for (int i = 3; i >= 0; --i)
    header += static_cast<char>((size >> (shift * i)) & (version == 4 ? 0x7F : 0xFF));
}

// A wanted frame as TagLib is given it: the encoding byte and the text
// behind a header without format flags (the grouping byte and data length
// dropped, the frame's own unsynchronisation undone, a compressed text
// inflated). Empty when it cannot be read so: encrypted, or inflating past
// Id3v2InflateLimit. A UTF-16 text without a byte-order mark is marked
// big-endian, as ID3v2.3 reads it; TagLib would give nothing.
std::string PlainFrame(Bytes frame, unsigned int version, bool tagUnsynchronised) {
  const std::size_t frameHeader = version == 2 ? 6 : 10;
  std::string header(frame.substr(0, frameHeader));
  std::string body(frame.substr(frameHeader));
  if (version >= 3) {
    const unsigned char flags = At(frame, 9);
    bool compressed = false, encrypted = false;
    std::size_t extra = 0;
    if (version == 3) {
      compressed = (flags & 0x80) != 0;
      encrypted = (flags & 0x40) != 0;
      extra = (compressed ? 4 : 0) + ((flags & 0x20) != 0 ? 1 : 0);
    } else {
      // A 2.4 tag unsynchronised as a whole is so frame by frame.
      if ((flags & 0x02) != 0 || tagUnsynchronised) {
        const ByteVector decoded =
            ID3v2::SynchData::decode(ByteVector(body.data(), static_cast<unsigned>(body.size())));
        body.assign(decoded.data(), decoded.size());
      }
      compressed = (flags & 0x08) != 0;
      encrypted = (flags & 0x04) != 0;
      extra = ((flags & 0x40) != 0 ? 1 : 0) + ((flags & 0x01) != 0 ? 4 : 0);
    }
    if (encrypted || body.size() < extra) return {};
    body.erase(0, extra);
    if (compressed && !Inflate(body)) return {};
    header.resize(4);
    PutSize(header, body.size(), version);
    header += frame[8];
    header += '\0';
  }
  if (body.size() >= 3 && body[0] == '\x01') {
    const auto b0 = static_cast<unsigned char>(body[1]), b1 = static_cast<unsigned char>(body[2]);
    if (!((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))) body[0] = '\x02';
  }
  return header + body;
}

// TagLib's Latin-1 handler is left as it is by this program: it hands over
// each byte as the character of that code, so the raw bytes come back
// whole and the reading is decided here.
Id3v2Text TakeText(const std::string& frameBytes, const unsigned char* tagHeader) {
  const ID3v2::Header header(ByteVector(reinterpret_cast<const char*>(tagHeader),
                                        static_cast<unsigned int>(Id3v2HeaderSize)));
  std::unique_ptr<ID3v2::Frame> frame(ID3v2::FrameFactory::instance()->createFrame(
      ByteVector(frameBytes.data(), static_cast<unsigned int>(frameBytes.size())), &header));
  const auto* text = dynamic_cast<const ID3v2::TextIdentificationFrame*>(frame.get());
  if (text == nullptr) return {};
  const TagLib::StringList values = text->fieldList();
  const TagLib::String value = values.isEmpty() ? TagLib::String() : values.front();
  return text->textEncoding() == TagLib::String::Latin1 ? TextFromLatin1(value.to8Bit(false))
                                                        : TextFromUnicode(value.to8Bit(true));
}

}  // namespace

std::size_t Id3v2TagSize(const unsigned char* head, std::size_t size) {
  if (size < Id3v2HeaderSize || std::memcmp(head, "ID3", 3) != 0) return 0;
  if (head[3] < 2 || head[3] > 4 || head[4] == 0xFF) return 0;
  for (std::size_t i = 6; i < 10; ++i)
    if (head[i] & 0x80) return 0;
  return Id3v2HeaderSize + SyncSafe(head + 6);
}

std::size_t Id3v2TagEnd(const unsigned char* head, std::size_t size) {
  const std::size_t tag = Id3v2TagSize(head, size);
  const bool footer = tag != 0 && head[3] == 4 && (head[5] & 0x10) != 0;
  return tag + (footer ? Id3v2HeaderSize : 0);
}

Id3v2Frames FindId3v2Frames(const unsigned char* data, std::size_t size) {
  Id3v2Frames tag;
  const std::size_t whole = std::min(Id3v2TagSize(data, size), size);
  if (whole == 0) return tag;
  std::memcpy(tag.header, data, Id3v2HeaderSize);
  const unsigned int version = data[3];
  const bool unsynchronised = (data[5] & 0x80) != 0, extended = (data[5] & 0x40) != 0;
  // A 2.2 tag's compression flag had no method ever laid down.
  if (version == 2 && extended) return tag;
  const auto* chars = reinterpret_cast<const char*>(data);
  Bytes body(chars + Id3v2HeaderSize, whole - Id3v2HeaderSize);
  ByteVector decoded;
  if (unsynchronised && version <= 3) {
    decoded =
        ID3v2::SynchData::decode(ByteVector(body.data(), static_cast<unsigned int>(body.size())));
    body = Bytes(decoded.data(), decoded.size());
  }
  tag.header[5] &= 0x7F;  // the frames handed on are decoded already

  std::size_t at = 0;
  if (version >= 3 && extended) {
    const long skip = ExtendedHeaderBytes(body, version);
    if (skip < 0) return tag;
    at = static_cast<std::size_t>(skip);
  }
  const std::size_t frameHeader = version == 2 ? 6 : 10;
  const std::size_t idBytes = version == 2 ? 3 : 4;
  int found = 0;
  while (at + frameHeader <= body.size() && body[at] != '\0') {
    const std::uint64_t frameSize = FrameSize(body, at, version);
    if (frameSize == 0 || frameSize > body.size() - at - frameHeader) break;
    const auto frameBytes = static_cast<std::size_t>(frameHeader + frameSize);
    const int wanted = Wanted(body.substr(at, idBytes));
    if (wanted >= 0 && tag.frame[wanted].empty()) {
      tag.frame[wanted] = PlainFrame(body.substr(at, frameBytes), version, unsynchronised);
      if (!tag.frame[wanted].empty() && ++found == 3) break;
    }
    at += frameBytes;
  }
  tag.present = found > 0;
  tag.allFound = found == 3;
  return tag;
}

Id3v2Text DecodeId3v2Frame(const Id3v2Frames& tag, TagField field) {
  const std::string& frame = tag.frame[FieldIndex(field)];
  return frame.empty() ? Id3v2Text{} : TakeText(frame, tag.header);
}

// Each byte of text becomes at most one CP932 byte, except Latin-1, whose
// byte may become two ("×"). A compressed frame is inflated already.
std::size_t Id3v2TextBound(const Id3v2Frames& tag, TagField field) {
  const std::string& frame = tag.frame[FieldIndex(field)];
  const std::size_t frameHeader = tag.header[3] == 2 ? 6 : 10;
  if (frame.size() <= frameHeader) return 0;
  const std::size_t text = frame.size() - frameHeader - 1;
  return frame[frameHeader] == '\0' ? 2 * text : text;
}

Id3v2Fields ParseId3v2(const unsigned char* data, std::size_t size) {
  const Id3v2Frames tag = FindId3v2Frames(data, size);
  Id3v2Fields fields;
  fields.title = DecodeId3v2Frame(tag, TagField::Title);
  fields.artist = DecodeId3v2Frame(tag, TagField::Artist);
  fields.album = DecodeId3v2Frame(tag, TagField::Album);
  // A frame of nothing is no value: the hint would offer a name from it.
  fields.present =
      !fields.title.cp932.empty() || !fields.artist.cp932.empty() || !fields.album.cp932.empty();
  return fields;
}

int ReadTagAndId3v2(const PlannedPath& path, FileEntry& entry, Id3v2Frames& v2, FileOps& ops,
                    FileStatus* status) {
  v2 = {};
  unsigned char tail[TrailerSize];
  unsigned char head[Id3v2HeadChunk];
  std::int64_t length = -1;
  std::size_t headRead = 0;
  const FileResult ends =
      ops.ReadEndsPlanned(path, tail, length, status, head, sizeof head, headRead);
  const FileResult read = ReadTrailerHead(ends, path, length, tail, head, headRead, ops);
  const int result = TakeTrailer(read, length, tail, head, headRead, entry);
  const std::size_t whole = Id3v2TagSize(head, headRead);
  if (whole == 0) return result;
  v2 = FindId3v2Frames(head, headRead);
  if (whole <= headRead || v2.allFound) return result;
  const std::size_t want = std::min(
      {whole, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)), Id3v2ReadLimit});
  std::vector<unsigned char> all(want);
  if (ops.ReadAtPlanned(path, 0, all.data(), want)) v2 = FindId3v2Frames(all.data(), want);
  return result;
}

Id3v2Fields ReadId3v2(const char* path, FileOps& ops) {
  unsigned char header[Id3v2HeaderSize];
  if (!ops.ReadAt(path, 0, header, sizeof header)) return {};
  const std::size_t whole = std::min(Id3v2TagSize(header, sizeof header), Id3v2ReadLimit);
  if (whole == 0) return {};
  // A tag that claims more than the file has is read as far as it goes.
  std::int64_t length = 0;
  if (!ops.Length(path, length)) return {};
  const std::size_t want =
      std::min(whole, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
  std::vector<unsigned char> all(want);
  if (!ops.ReadAt(path, 0, all.data(), want)) return {};
  return ParseId3v2(all.data(), want);
}

}  // namespace selvane
