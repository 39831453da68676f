// The CP932 conversions: lead bytes, both directions as iconv gives them,
// native paths, and messages that carry what CP932 lacks.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "core/platform/Cp932.h"

using namespace selvane;

TEST(Cp932, LeadBytesAndBoundaries) {
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0x9F));
  EXPECT_TRUE(IsLeadByte(0xE0));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_FALSE(IsLeadByte(0xA0));  // half-width katakana are single bytes
  EXPECT_FALSE(IsLeadByte(0xDF));
  EXPECT_FALSE(IsLeadByte(0xFD));
  const std::string so =
      "a\x83\x5C"
      "b";                             // "aソb"
  EXPECT_EQ(CharBoundary(so, 2), 1u);  // never splits ソ
  EXPECT_EQ(CharBoundary(so, 3), 3u);
  EXPECT_EQ(CharBoundary(so, 99), 4u);
}

TEST(Cp932, ConvertsBothWaysAndReportsFailure) {
  std::string native, back;
  ASSERT_TRUE(Cp932ToNative("\x83\x5C\xB1", native));  // ソ and half-width ｱ
  EXPECT_EQ(native, "ソｱ");
  ASSERT_TRUE(NativeToCp932(native, back));
  EXPECT_EQ(back, "\x83\x5C\xB1");
  // CP932, not SHIFT_JIS: 0x5C stays a backslash and 0x7E a tilde.
  ASSERT_TRUE(Cp932ToNative("\\~", native));
  EXPECT_EQ(native, "\\~");
  EXPECT_FALSE(NativeToCp932("😀", back));       // no CP932 form
  EXPECT_FALSE(Cp932ToNative("\x81", native));  // lead byte without trail
  EXPECT_FALSE(Cp932ToNative("\xFD", native));  // unassigned byte
}

TEST(Cp932, PathsUseSlashOnLinuxAndRefuseLiteralBackslash) {
  std::string native, cp;
  ASSERT_TRUE(Cp932PathToNative("dir\\\x83\x5C.mp3", native));
  EXPECT_EQ(native, "dir/ソ.mp3");  // the trail byte 0x5C is no separator
  EXPECT_FALSE(NativePathToCp932("/tmp/a\\b.mp3", cp));
  ASSERT_TRUE(NativePathToCp932("/tmp/ソ.mp3", cp));
  EXPECT_EQ(cp, "/tmp/\x83\x5C.mp3");
  // Names whose CP932 form reads back as another name: "¥" would become a
  // separator, "‾" a tilde, the wave dash a full-width tilde.
  for (const char* name : {"/tmp/a¥b.mp3", "/tmp/‾.mp3", "/tmp/〜.mp3"})
    EXPECT_FALSE(NativePathToCp932(name, cp)) << name;
}

// What iconv alone makes of a text (false: it has no counterpart).
static bool ByIconv(const char* to, const char* from, const std::string& in, std::string& out) {
  const iconv_t cd = iconv_open(to, from);
  out.assign(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  std::size_t srcLeft = in.size(), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return ok;
}

// The conversions remember each character iconv has answered: every byte
// and byte pair of CP932 and every two- and three-byte UTF-8 sequence, each
// between other text and met twice in it, converts exactly as iconv converts it,
// or is refused where iconv refuses it.
TEST(Cp932, EveryCharacterConvertsAsIconvConvertsIt) {
  std::vector<std::string> cp932, utf8;
  for (int a = 0x80; a <= 0xFF; ++a) {
    cp932.push_back(std::string(1, static_cast<char>(a)));
    for (int b = 0; b <= 0xFF; ++b) cp932.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  for (int a = 0xC0; a <= 0xEF; ++a)
    for (int b = 0x80; b <= 0xBF; ++b) {
      if (a < 0xE0) utf8.push_back({static_cast<char>(a), static_cast<char>(b)});
      for (int c = 0x80; a >= 0xE0 && c <= 0xBF; ++c)
        utf8.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
    }
  utf8.insert(utf8.end(), {"\xF0\x9F\x98\x80", "\xE3\x81", "\x80", "\xFF"});
  int converted = 0;
  for (const bool toNative : {true, false})
    for (const std::string& character : toNative ? cp932 : utf8) {
      const std::string in =
          toNative ? "a" + character + "\x82\xA0" + character : "a" + character + "あ" + character;
      std::string got, want;
      const bool ok = toNative ? Cp932ToNative(in, got) : NativeToCp932(in, got);
      const bool iconvOk =
          toNative ? ByIconv("UTF-8", "CP932", in, want) : ByIconv("CP932", "UTF-8", in, want);
      ASSERT_EQ(ok, iconvOk) << testing::PrintToString(in);
      if (ok) {
        ASSERT_EQ(got, want) << testing::PrintToString(in);
      }
      converted += ok;
    }
  EXPECT_GT(converted, 2 * 7000);  // CP932's characters, both ways
}

// Messages naming what CP932 lacks stay CP932 and show it again at the edge.
TEST(Cp932, MessagesCarryWhatCp932LacksAndShowItBack) {
  struct Row {
    std::string native;
    bool marked;  // a character went in as a mark
  };
  const Row rows[] = {
      {"恋のうた.mp3 ｱ", false},
      {"\xF0\x9F\x98\x80song.mp3", true},  // emoji
      {"x\xC2\xA5.mp3", true},             // "¥" would come back as "\"
      {"\xE3\x80\x9C", true},              // "〜" would come back as "～"
      {"Sigur R\xC3\xB3s / Se\xC3\xB1or", true},
  };
  for (const Row& row : rows) {
    const std::string message = Cp932Showing(row.native);
    EXPECT_EQ(message.find(LackedCharMark) != std::string::npos, row.marked) << row.native;
    std::string unmarked, native;
    for (std::size_t i = 0; i < message.size(); ++i) {
      if (message[i] != LackedCharMark)
        unmarked += message[i];
      else
        i = message.find(';', i);
    }
    EXPECT_TRUE(Cp932ToNative(unmarked, native)) << row.native;  // CP932 apart from the marks
    EXPECT_EQ(MessageToNative(message), row.native);
  }
  // Bytes that are no UTF-8, or start no CP932 character: one mark each, the
  // next byte read afresh.
  EXPECT_EQ(MessageToNative(Cp932Showing("a\xFF)")), "a\xEF\xBF\xBD)");
  EXPECT_EQ(MessageToNative("\x81)\xFDZ;\xFD"
                            "41"),
            "\xEF\xBF\xBD)\xEF\xBF\xBDZ;\xEF\xBF\xBD"
            "41");
}
