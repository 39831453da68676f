#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <string>

#include "core/platform/Cp932.h"
#include "core/rename/Id3v2Names.h"
#include "core/rename/NamingRule.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/Id3v2Text.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

std::string Fixture(const std::string& name) {
  return ReadBytes(std::string(SELVANE_FIXTURES) + "/id3v2/" + name);
}

// CP932 of a UTF-8 text, with "\xFF" kept for a character that has no form.
std::string Expected(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t j = std::min(utf8.find('\xFF', i), utf8.size());
    out += Cp932(utf8.substr(i, j - i));
    if (j < utf8.size()) out += '\xFF';
    i = j + 1;
  }
  return out;
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
      {"v23-utf16-no-mark.mp3", true, "夜の歌", "青い鳥", "", Id3v2Reading::AsIs},
      {"v23-empty-values.mp3", false, "", "", "", Id3v2Reading::AsIs},
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
    const Id3v2Fields v2{frames.present, DecodeId3v2Frame(frames, 0), DecodeId3v2Frame(frames, 1),
                         DecodeId3v2Frame(frames, 2)};
    const Id3v2Fields alone = ReadId3v2(path.c_str(), SystemFileOps());
    EXPECT_EQ(alone.title.cp932, v2.title.cp932);
    EXPECT_EQ(alone.present, row.present);
    EXPECT_EQ(v2.title.cp932, Expected(row.title));
    EXPECT_EQ(v2.artist.cp932, Expected(row.artist));
    EXPECT_EQ(v2.album.cp932, Expected(row.album));
    EXPECT_EQ(v2.title.reading, row.titleReading);
  }
}

// `text` deflated, then `zeros` zero bytes more in the same stream: a few
// kilobytes that inflate to as much as asked.
std::string Deflated(std::string_view text, std::size_t zeros) {
  z_stream z{};
  deflateInit(&z, Z_BEST_COMPRESSION);
  std::string out, chunk(1 << 16, '\0');
  const std::string zero(1 << 20, '\0');
  const auto feed = [&](std::string_view in, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(chunk.data());
      z.avail_out = static_cast<uInt>(chunk.size());
      deflate(&z, flush);
      out.append(chunk.data(), chunk.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  feed(text, Z_NO_FLUSH);
  for (std::size_t n = 0; zeros > 0; zeros -= n) {
    n = std::min(zeros, zero.size());
    feed(std::string_view(zero).substr(0, n), Z_NO_FLUSH);
  }
  feed({}, Z_FINISH);
  deflateEnd(&z);
  return out;
}

// A tag holding one frame, laid out here: no writer at hand makes
// compressed frames, nor UTF-16 without a byte-order mark.
std::string OneFrameTag(char version, std::string_view id, char flags, std::string_view body) {
  const auto size = [version](std::size_t n) {
    const int shift = version == 4 ? 7 : 8, mask = version == 4 ? 0x7F : 0xFF;
    std::string bytes;
    for (int i = 3; i >= 0; --i) bytes += static_cast<char>((n >> (shift * i)) & mask);
    return bytes;
  };
  const std::string frame = std::string(id) + size(body.size()) + '\0' + flags + std::string(body);
  std::string head = std::string("ID3") + version + '\0' + '\0';
  const std::size_t tag = frame.size() + 16;
  for (int i = 3; i >= 0; --i) head += static_cast<char>((tag >> (7 * i)) & 0x7F);
  return head + frame + std::string(16, '\0') + "\xFF\xFB\x90\x00" + std::string(412, '\0');
}

std::size_t PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss);
}

// A frame the writer compressed or marked oddly reads as its text, and a
// compressed one that would inflate past what a name can use reads as
// absent, without being inflated: 64 MiB of it leave the memory as it was.
TEST(Id3v2Test, ReadsACompressedFrameOnlyAsFarAsANameNeeds) {
  const std::string utf16 = "\x01" + std::string("\xFF\xFE\x27\x57\x2E\x7E\x6E\x30\x4C\x6B", 10);
  const std::string utf8 = "\x03圧縮の歌";
  const std::string big = std::string(1, '\0') + std::string(Id3v2InflateLimit + 1, 'a');
  const auto plain = [](std::size_t n) { return std::string{0, 0, 0, static_cast<char>(n)}; };
  const std::string bomb = Deflated(std::string("\0Bomb", 5), std::size_t{64} << 20);
  const struct {
    const char* what;
    char version, flags;
    std::string body;
    const char* title;  // UTF-8; empty for none
  } rows[] = {
      {"2.3 compressed", 3, '\x80', plain(utf16.size()) + Deflated(utf16, 0), "圧縮の歌"},
      {"2.4 compressed", 4, '\x09', plain(utf8.size()) + Deflated(utf8, 0), "圧縮の歌"},
      {"2.3 over the limit", 3, '\x80', plain(0) + Deflated(big, 0), ""},
      {"2.3 bomb", 3, '\x80', std::string("\x04\0\0\x01", 4) + bomb, ""},
      {"2.4 bomb", 4, '\x09', std::string("\x7F\x7F\x7F\x7F", 4) + bomb, ""},
      // Frame-level unsynchronisation hides the byte-order mark's 0xFF 0xFE.
      {"2.4 unsynchronised", 4, '\x02', std::string("\x01\xFF\x00\xFE\x1C\x59\x41\x00", 8), "夜A"},
      {"2.3 UTF-16 without a mark", 3, '\0', std::string("\x01\x59\x1C\x30\x6E", 5), "夜の"},
  };
  TempFolder folder;
  const std::size_t before = PeakKiB();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path =
        folder.Write("c.mp3", OneFrameTag(row.version, "TIT2", row.flags, row.body));
    FileEntry entry{};
    Id3v2Frames frames;
    ReadTagAndId3v2(path.c_str(), entry, frames, SystemFileOps(), nullptr);
    EXPECT_EQ(DecodeId3v2Frame(frames, 0).cp932, Cp932(row.title));
    // The hint's road, with the item off.
    const Id3v2Fields alone = ReadId3v2(path.c_str(), SystemFileOps());
    EXPECT_EQ(alone.title.cp932, Cp932(row.title));
    EXPECT_EQ(alone.present, *row.title != '\0');
  }
  EXPECT_LT(PeakKiB() - before, std::size_t{32} << 10);
}

TEST(Id3v2Test, DecidesHowAFrameTextReads) {
  struct Row {
    bool latin1;        // else a Unicode frame (given as UTF-8)
    std::string text;   // the frame's bytes
    const char* cp932;  // UTF-8 of the expected text, "\xFF" for a character CP932 lacks
    Id3v2Reading reading;
  };
  const Row rows[] = {
      {true, Cp932("恋のうた"), "恋のうた", Id3v2Reading::ShiftJis},
      {true, Cp932("ＳＭＡＰ ベスト"), "ＳＭＡＰ ベスト", Id3v2Reading::ShiftJis},
      {true, "Se\xF1or", "Se\xFFor", Id3v2Reading::NoCp932Form},
      {true, "Bj\xF6rk", "Bj\xFFrk", Id3v2Reading::NoCp932Form},
      {true, "\xC1ngel", "\xFFngel", Id3v2Reading::NoCp932Form},
      // Valid CP932 with a kanji, but an accented letter inside a word.
      {true, "Cr\xE8me", "Cr\xFFme", Id3v2Reading::NoCp932Form},
      {true, "H\xE9l\xE8ne", "H\xFFl\xFFne", Id3v2Reading::NoCp932Form},
      // Half-width katakana beside a Latin letter, a private-use lead.
      {true, "ab\xB1" + Cp932("恋"), "ab±\xFF\xFF", Id3v2Reading::NoCp932Form},
      {true, "\xF0\x40" + Cp932("恋"), "\xFF@\xFF\xFF", Id3v2Reading::NoCp932Form},
      // Symbols only: no kana or kanji.
      {true, Cp932("☆"), "\xFF\xFF", Id3v2Reading::NoCp932Form},
      {true,
       "A\xD7"
       "B",
       "A×B", Id3v2Reading::AsIs},
      {false, "〜‖−¢£¬", "～∥－￠￡￢", Id3v2Reading::AsIs},
      {false, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5", "Caf\xFF \xFF", Id3v2Reading::NoCp932Form},
      // "¥" would be 0x5C, a path separator.
      {false,
       "\xC2\xA5"
       "100",
       "\xFF"
       "100",
       Id3v2Reading::NoCp932Form},
      {false, "\xC2\x97\xC3\xB6\xC2\x82\xC3\x8C", "恋の", Id3v2Reading::Repaired},
      {false, "Cr\xC3\xA8me", "Cr\xFFme", Id3v2Reading::NoCp932Form},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Id3v2Text text = row.latin1 ? TextFromLatin1(row.text) : TextFromUnicode(row.text);
    EXPECT_EQ(text.cp932, Expected(row.cp932));
    EXPECT_EQ(text.reading, row.reading);
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
    const bool values = std::string(row.file) != "v23-truncated.mp3" &&
                        std::string(row.file) != "v23-empty-values.mp3";
    EXPECT_EQ(entry.id3v2.unread != 0,
              row.sources == off && row.trailer == Trailer::None && values);
  }
  // A file that is nothing but its trailer is read on the road through the head too.
  FileEntry only{};
  CopyField(only.path, folder.Write("only-tag.mp3", TrailerBytes("Alone", "Solo")));
  ExpandRule("$T.mp3", only, 1, SystemFileOps(), nullptr, on);
  EXPECT_EQ(std::string(only.newPath), folder.path() + "/Alone.mp3");
}

}  // namespace
}  // namespace selvane
