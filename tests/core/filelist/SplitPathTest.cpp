// Splitting a CP932 path into drive, folder, name and extension, with its
// wildcard and dot flags, never inside a double-byte character.
#include <gtest/gtest.h>

#include <string>

#include "core/filelist/SplitPath.h"

namespace selvane {
namespace {

struct Expected {
  std::string drive, directory, name, extension;
  int flags;
};

void ExpectSplit(const std::string& path, const Expected& want) {
  SCOPED_TRACE(path);
  const PathParts got = SplitPath(path);
  EXPECT_EQ(got.drive, want.drive);
  EXPECT_EQ(got.directory, want.directory);
  EXPECT_EQ(got.name, want.name);
  EXPECT_EQ(got.extension, want.extension);
  EXPECT_EQ(got.flags, want.flags);
}

TEST(SplitPath, PartsAndFlags) {
  ExpectSplit("C:\\music\\a.b.mp3", {"C:", "\\music\\", "a.b", ".mp3", 30});
  ExpectSplit("abc", {"", "", "abc", "", 4});
  ExpectSplit("C:abc.mp3", {"C:", "", "abc", ".mp3", 22});
  ExpectSplit("C:\\music\\", {"C:", "\\music\\", "", "", 24});
  ExpectSplit("abc.", {"", "", "abc", ".", 6});
  ExpectSplit("/home/u/x.mp3", {"", "/home/u/", "x", ".mp3", 14});
  ExpectSplit("a/b\\c.d", {"", "a/b\\", "c", ".d", 14});
  ExpectSplit(".hidden", {"", "", "", ".hidden", 2});
  ExpectSplit("", {"", "", "", "", 0});
}

TEST(SplitPath, DotComponentsBelongToTheDirectory) {
  ExpectSplit("C:\\music\\..", {"C:", "\\music\\..", "", "", 24});
  ExpectSplit("C:\\music\\.", {"C:", "\\music\\.", "", "", 24});
  ExpectSplit("..", {"", "..", "", "", 8});
  ExpectSplit("C:..", {"C:", "..", "", "", 24});
  ExpectSplit("C:\\...", {"C:", "\\", "..", ".", 30});  // three dots are a name
}

TEST(SplitPath, ColonIsADriveMarkOnlyAsSecondByte) {
  ExpectSplit("ab:c.mp3", {"", "", "ab:c", ".mp3", 6});
  ExpectSplit("C:\\a:b\\x", {"C:", "\\a:b\\", "x", "", 28});
  // A lead byte takes the colon as its pair: no drive.
  ExpectSplit("\x81:x", {"", "", "\x81:x", "", 4});
}

TEST(SplitPath, WildcardsCountOnlyInTheFinalComponent) {
  ExpectSplit("C:\\m\\*.mp3", {"C:", "\\m\\", "*", ".mp3", 31});
  ExpectSplit("C:\\m\\a?.mp3", {"C:", "\\m\\", "a?", ".mp3", 31});
  ExpectSplit("C:\\m*\\a.mp3", {"C:", "\\m*\\", "a", ".mp3", 30});
}

TEST(SplitPath, TrailBytesAreNeverSeparatorsOrDots) {
  // "ソ" is 0x83 0x5C: its second byte equals '\'.
  ExpectSplit(
      "C:\\a\x83\x5C"
      "b.mp3",
      {"C:", "\\",
       "a\x83\x5C"
       "b",
       ".mp3", 30});
  ExpectSplit("C:\\\x83\x5C\\\x83\x5C.mp3", {"C:", "\\\x83\x5C\\", "\x83\x5C", ".mp3", 30});
  // A trail byte equal to '|' or '?' (0x7C, 0x3F is no trail) stays text.
  ExpectSplit("\x83\x7C.mp3", {"", "", "\x83\x7C", ".mp3", 6});
  // A lone lead byte at the end is a character of its own.
  ExpectSplit("a\\b\x83", {"", "a\\", "b\x83", "", 12});
}

TEST(SplitPath, DeepFoldersSplitWholeAndOnlyTheNameIsBounded) {
  // A 600-byte folder: the name and extension behind it are found.
  const std::string deepDir = "/" + std::string(300, 'd') + "/" + std::string(298, 'e') + "/";
  ExpectSplit(deepDir + "x.mp3", {"", deepDir, "x", ".mp3", 14});
  // A name beyond 255 bytes is cut to 255; its extension is found.
  const std::string longName = "C:\\" + std::string(296, 'a') + ".mp3";
  ExpectSplit(longName, {"C:", "\\", std::string(255, 'a'), ".mp3", 30});
}

TEST(SplitPath, PartsAreCutOnCharacterBoundaries) {
  std::string pairs;
  for (int i = 0; i < 127; ++i) pairs += "\x82\xA0";  // "あ" x 127
  const PathParts name = SplitPath("a" + pairs + "b.mp3");
  EXPECT_EQ(name.name, "a" + pairs.substr(0, 254));  // 255 bytes
  EXPECT_EQ(name.extension, ".mp3");
}

}  // namespace
}  // namespace selvane
