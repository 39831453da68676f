#include "core/platform/Cp932.h"

#include <gtest/gtest.h>

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
  const std::string so = "a\x83\x5C" "b";  // "aソb"
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
  EXPECT_FALSE(Cp932ToNative("\x81", native));   // lead byte without trail
  EXPECT_FALSE(Cp932ToNative("\xFD", native));   // unassigned byte
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
