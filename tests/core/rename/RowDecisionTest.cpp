// Each row's fate decided before it moves: the new names refused and why,
// and the rows an earlier row's move leaves nothing to carry on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/rename/RowDecision.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/rename/RenameRunFixture.h"

namespace selvane {
namespace {

class RowDecisionTest : public RenameRunFixture {};

// Each refusal is decided on the whole new name, before anything moves.
TEST(CheckNewName, RefusesWhatWouldHideLoseOrMisnameTheFile) {
  const std::string deep = "/" + std::string(240, 'd') + "/";
  const struct {
    const char* label;
    std::string path, newPath;
    NameRefusal expected;
  } cases[] = {
      {"plain", "/m/a.mp3", "/m/Love(Kei).mp3", NameRefusal::None},
      {"subfolder", "/m/a.mp3", "/m/AC/DC.mp3", NameRefusal::None},
      {"empty title", "/m/a.mp3", "/m/.mp3", NameRefusal::Hidden},
      {"hidden folder", "/m/a.mp3", "/m/.x/a.mp3", NameRefusal::Hidden},
      {"already hidden", "/m/.a.mp3", "/m/.b.mp3", NameRefusal::None},
      {"hidden, into a hidden folder", "/m/.a.mp3", "/m/.x/.a.mp3", NameRefusal::Hidden},
      {"dot dot", "/m/a.mp3", "/m/../a.mp3", NameRefusal::LeavesFolder},
      {"forbidden past byte 260", deep + "a.mp3", deep + "Love*.mp3", NameRefusal::ForbiddenChars},
      {"Latin-1 title", "/m/a.mp3", "/m/Caf\xE9 Bar.mp3", NameRefusal::NoFileName},
      {"trail byte 0x5C", "/m/a.mp3", "/m/\x83\x5C.mp3", NameRefusal::None},
      {"newline", "/m/a.mp3", "/m/a\nb.mp3", NameRefusal::ControlChars},
      {"tab in a new folder", "/m/a.mp3", "/m/x\ty/a.mp3", NameRefusal::ControlChars},
      {"DEL", "/m/a.mp3", "/m/a\x7F.mp3", NameRefusal::ControlChars},
      {"ends in a separator", "/m/a.mp3", "/m/sub/", NameRefusal::EmptyName},
      {"empty title, no extension", "/m/a.mp3", "/m/", NameRefusal::EmptyName},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckNewName(c.path, c.newPath), c.expected) << c.label;
}

TEST_F(RowDecisionTest, ForbiddenCharacterSkipsThatFileOnly) {
  // "曲.mp3" (CP932) whose title brings a colon; the names in the message
  // stay CP932 bytes and carry no directory.
  const std::string kyoku = "\x8B\xC8.mp3";
  ASSERT_TRUE(::mkdir((music_ / "d").c_str(), 0700) == 0);
  Add(music_ / "d/" + kyoku, music_ / "d/Love:Me.mp3");
  WriteBytes(music_ / "d/曲.mp3", "colon");
  Add(music_ / "b.mp3", music_ / "B.mp3", "bbb");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText(kyoku, "Love:Me.mp3"));
  EXPECT_EQ(ui_.refusals[0].caption, Cp932("リネーム作業をスキップします"));
  EXPECT_EQ(ReadBytes(music_ / "d/曲.mp3"), "colon");
  EXPECT_EQ(ReadBytes(music_ / "B.mp3"), "bbb");
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

TEST_F(RowDecisionTest, SlashLeadsIntoAnExistingSubfolderOnly) {
  ASSERT_EQ(::mkdir((music_ / "AC").c_str(), 0700), 0);
  Add(music_ / "a.mp3", music_ / "AC/DC.mp3", "slash");
  Add(music_ / "b.mp3", music_ / "AC\\DC2.mp3", "backslash");
  Add(music_ / "c.mp3", music_ / "No/Where.mp3", "missing");

  Run();

  EXPECT_EQ(ReadBytes(music_ / "AC/DC.mp3"), "slash");
  EXPECT_EQ(ReadBytes(music_ / "AC/DC2.mp3"), "backslash");
  EXPECT_EQ(ReadBytes(music_ / "c.mp3"), "missing");
  EXPECT_EQ(table_[2].path, music_ / "c.mp3");
  // The one that could not go is told once, with its reason.
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, music_ / "c.mp3"));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("変換後の名前が指すフォルダがありません")));
  EXPECT_EQ(ui_.refusals[0].caption, Cp932("リネームできなかったファイルがあります"));
  ExpectNothingLost({"slash", "backslash", "missing"});
}

TEST_F(RowDecisionTest, NameLeadingOutOfItsFolderIsRefused) {
  ASSERT_EQ(::mkdir((music_ / "in").c_str(), 0700), 0);
  Add(music_ / "in/a.mp3", music_ / "in/../a.mp3", "up");
  Add(music_ / "in/b.mp3", music_ / "in/x/./b.mp3", "dot");
  Add(music_ / "in/c.mp3", music_ / "in/..\\c.mp3", "backslash");
  Add("d.mp3", "/tmp/d.mp3");  // a bare name made absolute
  Add(music_ / "in/e.mp3", music_ / "in/e..mp3", "dots in a name");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 4u);
  const NameRefusal out = NameRefusal::LeavesFolder;
  EXPECT_EQ(ui_.refusals[0].text, SkipText("a.mp3", "../a.mp3", out));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("b.mp3", "x/./b.mp3", out));
  EXPECT_EQ(ui_.refusals[2].text, SkipText("c.mp3", "..\\c.mp3", out));
  EXPECT_EQ(ui_.refusals[3].text, SkipText("d.mp3", "/tmp/d.mp3", out));
  EXPECT_NE(RefusalReason(out), RefusalReason(NameRefusal::ForbiddenChars));
  EXPECT_EQ(ReadBytes(music_ / "in/a.mp3"), "up");
  EXPECT_EQ(ReadBytes(music_ / "in/e..mp3"), "dots in a name");
  EXPECT_FALSE(PathExists(music_ / "a.mp3"));
}

TEST_F(RowDecisionTest, HiddenOrUnnameableNewNameIsRefusedWithItsOwnReason) {
  Add(music_ / "a.mp3", music_ / ".mp3", "empty title");
  Add(music_ / "b.mp3", music_ / "Caf\xE9 Bar.mp3", "latin-1");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 2u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText("a.mp3", ".mp3", NameRefusal::Hidden));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("b.mp3", "Caf\xE9 Bar.mp3", NameRefusal::NoFileName));
  EXPECT_EQ(ui_.refusals[1].caption, Cp932("リネーム作業をスキップします"));
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "empty title");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "latin-1");
}

// Only a regular file of the new name is asked about; a folder or a pipe
// there brings no question, no wait, and a reason after the run.
TEST_F(RowDecisionTest, FolderOrPipeInTheWayIsToldNotAsked) {
  ASSERT_EQ(::mkdir((music_ / "Folder.mp3").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((music_ / "Pipe.mp3").c_str(), 0600), 0);
  Add(music_ / "a.mp3", music_ / "Folder.mp3", "aaa");
  Add(music_ / "b.mp3", music_ / "Pipe.mp3", "bbb");
  ui_.unscriptedAnswer = true;

  Run();

  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "bbb");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("変換後の名前のフォルダが既にあります")));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("通常のファイルではないもの")));
}

// A link refused for its target, and a control character, are told in the
// skip box with their own reasons; the control character shows as ^[.
TEST_F(RowDecisionTest, LinkToItsNewNameAndControlCharactersAreRefusedInTheSkipBox) {
  WriteBytes(music_ / "Song.mp3", "the song");
  ASSERT_EQ(::symlink("Song.mp3", (music_ / "x.mp3").c_str()), 0);
  Add(music_ / "x.mp3", music_ / "Song.mp3");
  Add(music_ / "c.mp3", music_ / "Red\x1b[31m\n.mp3", "c");
  ui_.unscriptedAnswer = true;

  Run();

  ASSERT_EQ(ui_.refusals.size(), 2u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText("x.mp3", "Song.mp3", NameRefusal::LinkToTarget));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("c.mp3", "Red^[[31m^J.mp3", NameRefusal::ControlChars));
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ReadBytes(music_ / "Song.mp3"), "the song");
}

// Row 1 replaces B.mp3; row 2's own file was B.mp3, so it has none left:
// it is skipped and keeps naming B.mp3, where row 1's file now lies.
TEST_F(RowDecisionTest, FileReplacedEarlierInTheRunIsNotCarriedOn) {
  const std::string a = music_ / "A.mp3", b = music_ / "B.mp3", c = music_ / "C.mp3";
  Add(a, b, "audio of A");
  Add(b, c, "audio of B");
  ui_.answers = {true};

  Run();

  EXPECT_EQ(ReadBytes(b), "audio of A");
  EXPECT_FALSE(PathExists(c));
  EXPECT_EQ(table_[0].path, b);
  EXPECT_EQ(table_[1].path, b);
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, b + Cp932("\n  → ") + c));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("前の行のファイルに上書きされたため")));
}

// Another program removes a listed file and an earlier row moves into its
// name: the file there now is that row's, and is not moved on.
TEST_F(RowDecisionTest, NameAnEarlierRowMovedIntoIsNotMovedOn) {
  FaultyFileOps ops;
  const std::string x = music_ / "x.mp3", y = music_ / "y.mp3", z = music_ / "z.mp3";
  Add(x, y, "x's");
  Add(y, z, "y's");
  ops.BeforeCall(FileOp::Move, 1,
                 [&](const std::string&, const std::string&) { ::unlink(y.c_str()); });

  Run(ops);

  EXPECT_EQ(ReadBytes(y), "x's");
  EXPECT_FALSE(PathExists(z));
  EXPECT_EQ(table_[0].path, y);
}

}  // namespace
}  // namespace selvane
