// Reading an ID3v2 tag in every form it comes in, and which of its values
// names a file where the ID3v1 trailer falls short.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "core/platform/Cp932.h"
#include "core/rename/Id3v2Names.h"
#include "core/rename/NamingRule.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/Id3v2Text.h"
#include "tests/core/TempFolder.h"
#include "tests/core/tags/Id3v2Expected.h"

namespace selvane {
namespace {

std::string Fixture(const std::string& name) {
  return ReadBytes(std::string(SELVANE_FIXTURES) + "/id3v2/" + name);
}

// Files written by an independent writer, in every form the program meets.
TEST(Id3v2Test, ReadsEveryFormOfTag) {
  struct Row {
    const char* file;
    bool present;
    const char *title, *artist, *album;  // UTF-8, "\xFF" for a character CP932 lacks
    Id3v2Reading titleReading;
  };
  const Row rows[] = {
      {"v22-ucs2.mp3", true, "夜空の向こう", "青い鳥", "Blue", Id3v2Reading::AsIs},
      {"v23-utf16-cut.mp3", true, "春の終わりに咲く花のうた（シングル・ヴァージョン）", "月光楽団",
       "", Id3v2Reading::AsIs},
      {"v24-utf8.mp3", true, "桜〜さくら〜", "東京−大阪", "旅", Id3v2Reading::AsIs},
      {"v23-latin1-sjis.mp3", true, "恋のうた", "山田花子", "", Id3v2Reading::ShiftJis},
      {"v23-latin1-senor.mp3", true, "Se\xFFor", "Los Lobos", "A×B", Id3v2Reading::NoCp932Form},
      {"v24-mojibake.mp3", true, "夢の中へ", "井上", "", Id3v2Reading::Repaired},
      {"v23-unsynchronised.mp3", true, "\xFF夜", "", "", Id3v2Reading::NoCp932Form},
      {"v23-extended-header.mp3", true, "", "恋のうた", "", Id3v2Reading::AsIs},
      {"v23-picture-last.mp3", true, "絵のある歌", "画家", "画集", Id3v2Reading::AsIs},
      {"v23-picture-first.mp3", true, "絵のある歌", "画家", "画集", Id3v2Reading::AsIs},
      {"v23-truncated.mp3", false, "", "", "", Id3v2Reading::AsIs},
      {"v23-garbled.mp3", false, "", "", "", Id3v2Reading::AsIs},
  };
  TempFolder folder;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    // As a refresh reads it (the head through the tail's open), and alone.
    const std::string path = folder.Write(row.file, Fixture(row.file));
    FileEntry entry{};
    Id3v2Frames frames;
    ReadTagAndId3v2(path.c_str(), entry, frames, SystemFileOps(), nullptr);
    const Id3v2Fields v2{frames.present, DecodeId3v2Frame(frames, TagField::Title),
                         DecodeId3v2Frame(frames, TagField::Artist),
                         DecodeId3v2Frame(frames, TagField::Album)};
    EXPECT_EQ(ReadId3v2(path.c_str(), SystemFileOps()).title.cp932, v2.title.cp932);
    EXPECT_EQ(v2.present, row.present);
    EXPECT_EQ(v2.title.cp932, Expected(row.title));
    EXPECT_EQ(v2.artist.cp932, Expected(row.artist));
    EXPECT_EQ(v2.album.cp932, Expected(row.album));
    EXPECT_EQ(v2.title.reading, row.titleReading);
  }
}

std::string Deflated(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(text.data()), text.size(), Z_BEST_COMPRESSION);
  return out.substr(0, size);
}

// Four bytes of `bits` bits each.
std::string Size(std::size_t n, int bits) {
  std::string out;
  for (int i = 3; i >= 0; --i) out += static_cast<char>((n >> (bits * i)) & ((1u << bits) - 1));
  return out;
}

// A tag of one TIT2 frame, `extra` (a data length) before its body, laid
// out here: no writer at hand makes compressed frames.
std::string OneFrameTag(char version, char flags, const std::string& extra,
                        const std::string& body) {
  const std::string frame =
      "TIT2" + Size(extra.size() + body.size(), version == 4 ? 7 : 8) + '\0' + flags + extra + body;
  return "ID3" + std::string{version, 0, 0} + Size(frame.size() + 16, 7) + frame +
         std::string(16, '\0');
}

// A frame the writer compressed reads as its text, and one that would
// inflate past what a name can use reads as absent, on either road.
TEST(Id3v2Test, ReadsACompressedFrameOnlyAsFarAsANameNeeds) {
  const std::string utf8 = "\x03圧縮の歌", dataLength = std::string(3, '\0') + '\x0D';
  const std::string bomb = Deflated(std::string("\0Bomb", 5) + std::string(16 << 20, '\0'));
  const struct {
    char version, flags;
    std::string extra, body;
    const char* title;  // UTF-8; empty for none
  } rows[] = {
      {3, '\x80', dataLength, Deflated("\x01\xFF\xFE\x27\x57\x2E\x7E"), "圧縮"},
      {4, '\x09', dataLength, Deflated(utf8), "圧縮の歌"},
      {3, '\x80', dataLength, Deflated('\0' + std::string(Id3v2InflateLimit, 'a')), ""},
      {3, '\x80', std::string("\x01\0\0\x05", 4), bomb, ""},
      {4, '\x09', "\x7F\x7F\x7F\x7F", bomb, ""},
      // Frame-level unsynchronisation hides the byte-order mark's 0xFF 0xFE.
      {4, '\x02', "", std::string("\x01\xFF\x00\xFE\x1C\x59\x41\x00", 8), "夜A"},
  };
  TempFolder folder;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.title);
    const std::string path =
        folder.Write("c.mp3", OneFrameTag(row.version, row.flags, row.extra, row.body));
    FileEntry entry{};
    Id3v2Frames frames;
    ReadTagAndId3v2(path.c_str(), entry, frames, SystemFileOps(), nullptr);
    EXPECT_EQ(DecodeId3v2Frame(frames, TagField::Title).cp932, Cp932(row.title));
    // The hint's road, with the item off.
    EXPECT_EQ(ReadId3v2(path.c_str(), SystemFileOps()).title.cp932, Cp932(row.title));
  }
}

// Which value names the file, with the item on and off.
TEST(Id3v2Test, TakesTheId3v2ValueOnlyWhereId3v1FallsShort) {
  // Boundary: the title cut at 29 bytes, so as not to split a character.
  enum class Trailer { AsWritten, None, Edited, EmptyTitle, Boundary };
  struct Row {
    const char* file;
    Trailer trailer;
    TagSources sources;
    const char* rule;
    const char* name;  // UTF-8; "\xFF" for a character CP932 lacks
    bool fromId3v2, refused;
  };
  constexpr auto on = TagSources::WithId3v2;
  constexpr auto off = TagSources::Id3v1;
  const Row rows[] = {
      {"v23-utf16-cut.mp3", Trailer::AsWritten, on, "$T($A).mp3",
       "春の終わりに咲く花のうた（シングル・ヴァージョン）(月光楽団).mp3", true, false},
      {"v23-utf16-cut.mp3", Trailer::AsWritten, off, "$T($A).mp3",
       "春の終わりに咲く花のうた（シン(月光楽団).mp3", false, false},
      {"v23-utf16-cut.mp3", Trailer::Edited, on, "$T($A).mp3", "Edited(Other).mp3", false, false},
      {"v23-utf16-cut-odd.mp3", Trailer::AsWritten, on, "$T.mp3",
       "A春の終わりに咲く花のうた（シングル）.mp3", true, false},
      {"v23-utf16-cut-odd.mp3", Trailer::Boundary, on, "$T.mp3",
       "A春の終わりに咲く花のうた（シングル）.mp3", true, false},
      {"v24-utf8.mp3", Trailer::None, on, "$T($A／$L).mp3", "桜〜さくら〜(東京−大阪／旅).mp3", true,
       false},
      {"v24-utf8.mp3", Trailer::None, off, "$T($A).mp3", "v24-utf8.mp3", false, false},
      {"v24-utf8.mp3", Trailer::EmptyTitle, on, "$T($A).mp3", "桜〜さくら〜(Other).mp3", true,
       false},
      {"v22-ucs2.mp3", Trailer::None, on, "($R)$T.mp3", "(01)夜空の向こう.mp3", true, false},
      {"v22-ucs2.mp3", Trailer::None, on, "$F.EXT", "v22-ucs2.EXT", false, false},
      {"v23-latin1-sjis.mp3", Trailer::None, on, "$T($A).mp3", "恋のうた(山田花子).mp3", true,
       false},
      {"v23-latin1-senor.mp3", Trailer::None, on, "$T.mp3", "Se\xFFor.mp3", true, true},
      {"v23-latin1-senor.mp3", Trailer::None, on, "$A.mp3", "Los Lobos.mp3", true, false},
      {"v24-mojibake.mp3", Trailer::None, on, "$T.mp3", "夢の中へ.mp3", true, false},
      {"v23-truncated.mp3", Trailer::None, on, "$T.mp3", "v23-truncated.mp3", false, false},
      {"v23-utf16-no-mark.mp3", Trailer::None, on, "$T($A).mp3", "夜の歌(青い鳥).mp3", true, false},
      // Frames of nothing name no file, and the hint does not offer them.
      {"v23-empty-values.mp3", Trailer::None, on, "$T($A).mp3", "v23-empty-values.mp3", false,
       false},
      {"v23-empty-values.mp3", Trailer::None, off, "$T($A).mp3", "v23-empty-values.mp3", false,
       false},
      {"v23-garbled.mp3", Trailer::AsWritten, on, "$T($A).mp3", "Garbled(Noise).mp3", false, false},
  };
  TempFolder folder;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + " " + row.rule);
    std::string bytes = Fixture(row.file);
    const bool hasTrailer = bytes.size() >= 128 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0;
    if (row.trailer != Trailer::AsWritten && hasTrailer) bytes.resize(bytes.size() - 128);
    if (row.trailer == Trailer::Edited) bytes += TrailerBytes("Edited", "Other");
    if (row.trailer == Trailer::EmptyTitle) bytes += TrailerBytes("", "Other");
    if (row.trailer == Trailer::Boundary)
      bytes += TrailerBytes(Cp932("A春の終わりに咲く花のうた（シングル）").substr(0, 29));
    FileEntry entry{};
    CopyField(entry.path, folder.Write(row.file, bytes));
    ExpandRule(Cp932(row.rule), entry, 1, SystemFileOps(), nullptr, row.sources);
    EXPECT_EQ(std::string(entry.newPath), folder.path() + "/" + Expected(row.name));
    EXPECT_EQ(NamedFromId3v2(entry.id3v2), row.fromId3v2);
    EXPECT_EQ(NeedsMissingCharacter(entry), row.refused);
    // With the item off, a file named by nothing but its ID3v2 tag says so.
    const std::string file = row.file;
    EXPECT_EQ(entry.id3v2.unread != 0, row.sources == off && row.trailer == Trailer::None &&
                                           file != "v23-truncated.mp3" &&
                                           file != "v23-empty-values.mp3");
  }
  // A file that is nothing but its trailer is read on the road through the head too.
  FileEntry only{};
  CopyField(only.path, folder.Write("only-tag.mp3", TrailerBytes("Alone", "Solo")));
  ExpandRule("$T.mp3", only, 1, SystemFileOps(), nullptr, on);
  EXPECT_EQ(std::string(only.newPath), folder.path() + "/Alone.mp3");
}

}  // namespace
}  // namespace selvane
