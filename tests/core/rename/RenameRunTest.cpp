// The rename run from end to end: every file moved and its path reported, names
// from tags on disk, a second run, and a long list of failures told in short.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/Journal.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/core/rename/RenameRunFixture.h"

namespace selvane {
namespace {

class RenameRunTest : public RenameRunFixture {};

TEST_F(RenameRunTest, MovesEveryFileAndReportsEachPath) {
  const std::string a = music_ / "a.mp3", b = music_ / "b.mp3";
  Add(a, music_ / "Love(Kei).mp3", "aaa");
  Add(b, music_ / "Rain().mp3", "bbb");

  Run();

  EXPECT_EQ(ReadBytes(music_ / "Love(Kei).mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "Rain().mp3"), "bbb");
  EXPECT_FALSE(PathExists(a));
  EXPECT_STREQ(table_[0].path, table_[0].newPath);
  EXPECT_STREQ(table_[1].path, table_[1].newPath);
  EXPECT_EQ(ui_.statuses, (std::vector<std::string>{a, b, Finished()}));
  EXPECT_TRUE(ui_.refusals.empty());
  EXPECT_TRUE(ui_.questions.empty());
}

// From tags on disk to names on disk, the way the window drives it.
TEST_F(RenameRunTest, NamesFromTagsReachTheDisk) {
  WriteBytes(music_ / "01.mp3", "audio1" + TrailerBytes("Love", "Kei", "", "", "", 0x0D));
  WriteBytes(music_ / "02.mp3",
             "audio2" + TrailerBytes("\x8B\xC8", "", "", "", "", 0x0D));  // title "曲"
  WriteBytes(music_ / "03.mp3", "no tag here");
  const std::string rule = "$T($A).mp3";
  for (const char* name : {"01.mp3", "02.mp3", "03.mp3"})
    ASSERT_EQ(AddEntry(table_, (music_ / name).c_str(), rule, ui_), AddResult::Added);
  ExpandAll(rule, table_);

  Run();

  EXPECT_EQ(ReadBytes(music_ / "Love(Kei).mp3").substr(0, 6), "audio1");
  EXPECT_EQ(ReadBytes(music_ / "曲().mp3").substr(0, 6), "audio2");
  EXPECT_EQ(ReadBytes(music_ / "03.mp3"), "no tag here");  // no tag, no "$F": name kept
  EXPECT_EQ(table_[1].path, music_.path() + "/\x8B\xC8().mp3");
  // The untagged file meets itself; the default answer No leaves it.
  EXPECT_EQ(ui_.questions.size(), 1u);
}

TEST_F(RenameRunTest, EmptyListShowsNothingAndEmptyNewPathIsPassedOver) {
  Run();
  EXPECT_TRUE(ui_.statuses.empty());

  const std::string a = music_ / "a.mp3";
  Add(a, "", "aaa");
  Run();
  EXPECT_EQ(ReadBytes(a), "aaa");
  EXPECT_EQ(ui_.statuses, (std::vector<std::string>{a, Finished()}));
}

TEST_F(RenameRunTest, SecondRunAsksOncePerFileAndLeavesEveryFileInPlace) {
  Add(music_ / "a.mp3", music_ / "A.mp3", "aaa");
  Add(music_ / "b.mp3", music_ / "B.mp3", "bbb");
  Run();
  ASSERT_TRUE(ui_.questions.empty());

  ui_ = RecordingPrompts{};
  ui_.answers = {true, false};
  Run();

  ASSERT_EQ(ui_.questions.size(), 2u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(music_ / "A.mp3", music_ / "A.mp3"));
  EXPECT_EQ(ReadBytes(music_ / "A.mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "B.mp3"), "bbb");
  EXPECT_TRUE(ui_.refusals.empty());
  ExpectNothingLost({"aaa", "bbb"});
}

TEST_F(RenameRunTest, LongFailureListShowsTwentyAndCountsTheRest) {
  for (int i = 0; i < 25; ++i)
    Add(music_ / ("f" + std::to_string(i) + ".mp3"), music_ / ("none/" + std::to_string(i)), "x");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 1u);
  const std::string& text = ui_.refusals[0].text;
  EXPECT_TRUE(Contains(text, music_ / "f19.mp3"));
  EXPECT_FALSE(Contains(text, music_ / "f20.mp3"));
  EXPECT_TRUE(Contains(text, Cp932("ほか 5 件")));
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

}  // namespace
}  // namespace selvane
