#include "core/tags/Id3v2Read.h"

#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cstring>
#include <memory>
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

std::uint32_t Plain(const ByteVector& v, unsigned int at) {
  const auto b = [&](unsigned int i) { return std::uint32_t{static_cast<unsigned char>(v[i])}; };
  return (b(at) << 24) | (b(at + 1) << 16) | (b(at + 2) << 8) | b(at + 3);
}

// Bytes to skip for the extended header at the start of the frames, or -1
// when it does not fit. 2.3 counts its size without the size field; 2.4
// counts it whole, as a synchsafe number.
long ExtendedHeaderBytes(const ByteVector& body, unsigned int version) {
  if (body.size() < 4) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(body.data());
  const std::uint64_t bytes = version == 3 ? std::uint64_t{Plain(body, 0)} + 4 : SyncSafe(p);
  if (bytes < 4 || bytes > body.size()) return -1;
  return static_cast<long>(bytes);
}

bool IsFrameIdByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Whether a frame may begin at `at`: the end of the frames, padding, or an id.
bool FrameMayStart(const ByteVector& body, std::uint64_t at, unsigned int idBytes) {
  if (at >= body.size() || body[static_cast<unsigned int>(at)] == '\0') return true;
  if (at + idBytes > body.size()) return false;
  for (unsigned int i = 0; i < idBytes; ++i)
    if (!IsFrameIdByte(body[static_cast<unsigned int>(at) + i])) return false;
  return true;
}

// The size of the frame at `at` (header not counted). 2.4 sizes are
// synchsafe, but some writers put plain ones there: the reading that leads
// to the next frame wins.
std::uint64_t FrameSize(const ByteVector& body, unsigned int at, unsigned int version) {
  const auto b = [&](unsigned int i) {
    return std::uint32_t{static_cast<unsigned char>(body[at + i])};
  };
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
int Wanted(const ByteVector& id) {
  if (id == "TIT2" || id == "TT2") return 0;
  if (id == "TPE1" || id == "TP1") return 1;
  if (id == "TALB" || id == "TAL") return 2;
  return -1;
}

// TagLib's Latin-1 handler is left as it is by this program: it hands over
// each byte as the character of that code, so the raw bytes come back
// whole and the reading is decided here.
bool TakeText(const ByteVector& frameBytes, const ID3v2::Header& header, Id3v2Text& out) {
  std::unique_ptr<ID3v2::Frame> frame(
      ID3v2::FrameFactory::instance()->createFrame(frameBytes, &header));
  const auto* text = dynamic_cast<const ID3v2::TextIdentificationFrame*>(frame.get());
  if (text == nullptr) return false;
  const TagLib::StringList values = text->fieldList();
  const TagLib::String value = values.isEmpty() ? TagLib::String() : values.front();
  out = text->textEncoding() == TagLib::String::Latin1 ? TextFromLatin1(value.to8Bit(false))
                                                       : TextFromUnicode(value.to8Bit(true));
  return true;
}

}  // namespace

std::size_t Id3v2TagSize(const unsigned char* head, std::size_t size) {
  if (size < Id3v2HeaderSize || std::memcmp(head, "ID3", 3) != 0) return 0;
  if (head[3] < 2 || head[3] > 4 || head[4] == 0xFF) return 0;
  for (std::size_t i = 6; i < 10; ++i)
    if (head[i] & 0x80) return 0;
  return Id3v2HeaderSize + SyncSafe(head + 6);
}

Id3v2Fields ParseId3v2(const unsigned char* data, std::size_t size) {
  Id3v2Fields fields;
  const std::size_t whole = std::min(Id3v2TagSize(data, size), size);
  if (whole == 0) return fields;
  const auto* chars = reinterpret_cast<const char*>(data);
  const ID3v2::Header header(ByteVector(chars, static_cast<unsigned int>(Id3v2HeaderSize)));
  const unsigned int version = header.majorVersion();
  // A 2.2 tag's compression flag had no method ever laid down.
  if (version == 2 && (data[5] & 0x40) != 0) return fields;
  ByteVector body(chars + Id3v2HeaderSize, static_cast<unsigned int>(whole - Id3v2HeaderSize));
  if (header.unsynchronisation() && version <= 3) body = ID3v2::SynchData::decode(body);

  unsigned int at = 0;
  if (version >= 3 && header.extendedHeader()) {
    const long skip = ExtendedHeaderBytes(body, version);
    if (skip < 0) return fields;
    at = static_cast<unsigned int>(skip);
  }
  const unsigned int frameHeader = version == 2 ? 6 : 10;
  bool found = false;
  const unsigned int idBytes = version == 2 ? 3 : 4;
  Id3v2Text* const texts[3] = {&fields.title, &fields.artist, &fields.album};
  bool taken[3] = {false, false, false};
  while (at + frameHeader <= body.size() && body[at] != '\0') {
    const std::uint64_t frameSize = FrameSize(body, at, version);
    if (frameSize == 0 || frameSize > body.size() - at - frameHeader) break;
    const auto frameBytes = static_cast<unsigned int>(frameHeader + frameSize);
    const int wanted = Wanted(body.mid(at, idBytes));
    if (wanted >= 0 && !taken[wanted] &&
        TakeText(body.mid(at, frameBytes), header, *texts[wanted])) {
      taken[wanted] = true;
      found = true;
    }
    at += frameBytes;
  }
  fields.present = found;
  return fields;
}

int ReadTagAndId3v2(const char* path, FileEntry& entry, Id3v2Fields& v2, FileOps& ops,
                    FileStatus* status) {
  v2 = {};
  unsigned char tail[TrailerSize];
  unsigned char head[Id3v2HeadChunk];
  std::int64_t length = -1;
  std::size_t headRead = 0;
  const FileResult read = ops.ReadEnds(path, tail, length, status, head, sizeof head, headRead);
  const int result = TakeTrailer(read, length, tail, entry);
  const std::size_t whole = Id3v2TagSize(head, headRead);
  if (whole == 0) return result;
  if (whole <= headRead) {
    v2 = ParseId3v2(head, headRead);
    return result;
  }
  const std::size_t want = std::min(
      {whole, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)), Id3v2ReadLimit});
  std::vector<unsigned char> all(want);
  if (ops.ReadAt(path, 0, all.data(), want)) v2 = ParseId3v2(all.data(), want);
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
