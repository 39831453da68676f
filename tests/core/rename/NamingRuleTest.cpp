// The naming rule: tokens replaced from the tag, the position number, names
// too long kept as they were, forbidden characters, and the preset rules.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

TEST(ReplaceToken, FirstOccurrenceOnlyAndLiteral) {
  std::string work = "$T-$T.mp3";
  EXPECT_TRUE(ReplaceToken(work, "$T", "50%s$A"));
  EXPECT_EQ(work, "50%s$A-$T.mp3");
  EXPECT_FALSE(ReplaceToken(work, "$L", "x"));
  EXPECT_EQ(work, "50%s$A-$T.mp3");
  EXPECT_TRUE(ReplaceToken(work, "$A", ""));
  EXPECT_EQ(work, "50%s-$T.mp3");
  work = "$t.mp3";
  EXPECT_FALSE(ReplaceToken(work, "$T", "x"));
}

class ExpandRuleTest : public ::testing::Test {
 protected:
  std::string Dir() const { return folder_.path() + "/"; }

  std::string Tagged(const std::string& name, std::string_view title, std::string_view artist = {},
                     std::string_view album = {}) {
    return folder_.Write(name, std::string(200, '\xFF') + TrailerBytes(title, artist, album));
  }

  FileEntry Expand(std::string_view rule, const std::string& path, int position = 1) {
    FileEntry entry{};
    CopyField(entry.path, path);
    ExpandRule(rule, entry, position);
    return entry;
  }

  TempFolder folder_;
};

TEST_F(ExpandRuleTest, EmptyRuleKeepsThePathAndReadsNoTag) {
  const std::string path = Tagged("x.mp3", "Love");
  FileEntry entry{};
  CopyField(entry.path, path);
  entry.hasTag = 1;
  std::strcpy(entry.title, "as before");
  ExpandRule("", entry, 1);
  EXPECT_STREQ(entry.newPath, path.c_str());
  EXPECT_EQ(entry.hasTag, 1);
  EXPECT_STREQ(entry.title, "as before");
}

TEST_F(ExpandRuleTest, RuleWithoutTokensKeepsTheName) {
  const std::string tagged = Tagged("t.mp3", "Love");
  const std::string untagged = folder_.Write("u.mp3", "no trailer");
  EXPECT_STREQ(Expand("abc.mp3", tagged).newPath, tagged.c_str());
  EXPECT_STREQ(Expand("abc.mp3", untagged).newPath, untagged.c_str());
  EXPECT_STREQ(Expand("$t.mp3", tagged).newPath, tagged.c_str());
}

TEST_F(ExpandRuleTest, FileWithoutTagUsesOnlyTheBaseName) {
  const std::string path = folder_.Write("x.mp3", "short");
  EXPECT_STREQ(Expand("$T($A).mp3", path).newPath, path.c_str());
  EXPECT_EQ(Expand("$F.EXT", path).newPath, Dir() + "x.EXT");
  EXPECT_EQ(Expand("($R)$F.mp3", path).newPath, Dir() + "($R)x.mp3");
  EXPECT_EQ(Expand("$F.EXT", folder_ / "a.b.mp3").newPath, Dir() + "a.b.EXT");
  // Windows-style paths keep their drive and directory.
  EXPECT_STREQ(Expand("$F.EXT", "C:\\m\\x.mp3").newPath, "C:\\m\\x.EXT");
  EXPECT_EQ(Expand("$T.mp3", "C:\\m\\x.mp3").hasTag, 0);
}

TEST_F(ExpandRuleTest, TaggedFileTokensInFixedOrder) {
  EXPECT_EQ(Expand("$T($A).mp3", Tagged("a.mp3", "Love")).newPath, Dir() + "Love().mp3");
  EXPECT_EQ(Expand("$T-$T.mp3", Tagged("b.mp3", "Love")).newPath, Dir() + "Love-$T.mp3");
  EXPECT_EQ(Expand("$T($A).mp3", Tagged("c.mp3", "Best of $A", "Kei")).newPath,
            Dir() + "Best of Kei($A).mp3");
  // Token text brought in by the same or a later step stays as text.
  EXPECT_EQ(Expand("$A $L", Tagged("d.mp3", "t", "x$T", "y$A")).newPath, Dir() + "x$T y$A");
  EXPECT_EQ(Expand("100%$T.mp3", Tagged("e.mp3", "50%s")).newPath, Dir() + "100%50%s.mp3");
  EXPECT_EQ(Expand("$L-$F.mp3", Tagged("f.mp3", "t", "", "Album")).newPath, Dir() + "Album-f.mp3");
  const FileEntry entry = Expand("$T.mp3", Tagged("g.mp3", "\x83\x5C"));
  EXPECT_EQ(entry.newPath, Dir() + "\x83\x5C.mp3");
  EXPECT_EQ(entry.hasTag, 1);
}

TEST_F(ExpandRuleTest, PositionHasAtLeastTwoDigits) {
  const std::string path = Tagged("x.mp3", "t");
  const std::pair<int, const char*> cases[] = {
      {1, "01"}, {9, "09"}, {10, "10"}, {100, "100"}, {1024, "1024"}};
  for (const auto& [position, text] : cases)
    EXPECT_EQ(Expand("$R", path, position).newPath, Dir() + text);
}

// Serves one trailer for every path, and counts the reads.
class OneTrailerOps : public NoDiskFileOps {
 public:
  explicit OneTrailerOps(std::string trailer) : trailer_(std::move(trailer)) {}
  FileResult Length(const char*, std::int64_t& length) override {
    length = 128;
    return {};
  }
  FileResult ReadTail(const char*, unsigned char* tail, std::int64_t& length) override {
    ++reads;
    std::memcpy(tail, trailer_.data(), 128);
    length = 128;
    return {};
  }
  int reads = 0;

 private:
  std::string trailer_;
};

TEST(ExpandRule, PathWithoutDirectoryGivesABareName) {
  OneTrailerOps ops(TrailerBytes("Love"));
  FileEntry entry{};
  CopyField(entry.path, "x.mp3");
  ExpandRule("$T.mp3", entry, 1, ops);
  EXPECT_STREQ(entry.newPath, "Love.mp3");
  ExpandRule("", entry, 1, ops);
  EXPECT_EQ(ops.reads, 1);
}

TEST_F(ExpandRuleTest, TooLongANameLeavesTheNameUnchanged) {
  const std::string path = Tagged("x.mp3", std::string(30, 't'));
  const std::string fits = "$T" + std::string(93, 'x') + ".mp3";  // 127 bytes expanded
  EXPECT_EQ(Expand(fits, path).newPath,
            Dir() + std::string(30, 't') + std::string(93, 'x') + ".mp3");
  const FileEntry over = Expand("$T" + std::string(94, 'x') + ".mp3", path);
  EXPECT_STREQ(over.newPath, path.c_str());
  EXPECT_EQ(over.hasTag, 1);  // the tag is still read for the panel

  // A rule over 127 bytes (say, restored from the settings) is never copied.
  EXPECT_EQ(Expand("$F" + std::string(125, 'y'), path).newPath,
            Dir() + "x" + std::string(125, 'y'));
  EXPECT_STREQ(Expand("$F" + std::string(126, 'y'), path).newPath, path.c_str());
  EXPECT_STREQ(Expand("$F" + std::string(1000, 'y'), path).newPath, path.c_str());
}

TEST(ExpandRule, DeepFolderIsNamedLikeAnyOtherButAnOverlongNameIsKept) {
  OneTrailerOps ops(TrailerBytes("Love"));
  FileEntry entry{};
  const std::string deepDir = "/" + std::string(200, 'd') + "/" + std::string(140, 'e') + "/";
  CopyField(entry.path, deepDir + "x.mp3");
  ExpandRule("$T.mp3", entry, 1, ops);
  EXPECT_EQ(std::string(entry.newPath), deepDir + "Love.mp3");

  // A name the splitter cuts (over 255 bytes) would be named from a cut
  // name: the file keeps it.
  const std::string longName = "/m/" + std::string(300, 'n') + ".mp3";
  CopyField(entry.path, longName);
  ExpandRule("$T.mp3", entry, 1, ops);
  EXPECT_EQ(std::string(entry.newPath), longName);
  EXPECT_EQ(entry.hasTag, 1);
}

TEST_F(ExpandRuleTest, ExpandAllNumbersByListPosition) {
  EntryTable table;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
    table.Append(std::make_unique<FileEntry>());
    CopyField(table[table.entryCount - 1].path, Tagged(name, name));
  }
  ExpandAll("$R $T", table);
  EXPECT_EQ(table[0].newPath, Dir() + "01 a.mp3");
  EXPECT_EQ(table[2].newPath, Dir() + "03 c.mp3");
  SwapEntries(table, 0, 2);
  ExpandAll("$R $T", table);
  EXPECT_EQ(table[0].newPath, Dir() + "01 c.mp3");
  EXPECT_EQ(table[2].newPath, Dir() + "03 a.mp3");
}

TEST(FindForbiddenChars, ShiftJisAware) {
  for (const char c : ForbiddenNameChars) {
    SCOPED_TRACE(c);
    EXPECT_EQ(FindForbiddenChars(std::string("a") + c + "b"), ForbiddenNameChars);
  }
  EXPECT_EQ(ForbiddenNameChars, "\\/:,;*?\"<>|");
  // Trail bytes 0x5C ("ソ") and 0x7C, the full-width "／": no separators.
  for (const std::string_view clean : {"\x83\x5C.mp3", "\x83\x7C", "\x81\x5E", "", "Love(Kei).mp3"})
    EXPECT_TRUE(FindForbiddenChars(clean).empty()) << clean;
  EXPECT_FALSE(FindForbiddenChars("\x83\x5C\\").empty());  // a real '\' after the pair
}

// The menu's captions and groups are the window's (tests/app).
TEST(PresetRules, EveryPresetIsAUsableRule) {
  for (const char* preset : PresetRules) {
    SCOPED_TRACE(preset);
    // Every preset must be usable: no forbidden character once in CP932.
    std::string rule;
    ASSERT_TRUE(NativeToCp932(preset, rule));
    EXPECT_TRUE(FindForbiddenChars(rule).empty());
    EXPECT_LE(rule.size(), RuleBoxLimit);
  }
  std::string albums;
  ASSERT_TRUE(NativeToCp932(PresetRules[4], albums));
  EXPECT_EQ(albums, "$R.$T($A\x81\x5E$L).mp3");
  EXPECT_STREQ(PresetRules[1], DefaultNamingRule.data());
}

}  // namespace
}  // namespace selvane
