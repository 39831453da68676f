// A row whose new name is taken: the question, the road through the temporary
// name and the trash, and each step of it failing with no file lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/history/Journal.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/rename/RenameRunFixture.h"

namespace selvane {
namespace {

class OverwriteRoadTest : public RenameRunFixture {};

TEST_F(OverwriteRoadTest, SameNewNameAsksAndYesReplacesTheFirst) {
  const std::string same = music_ / "Same.mp3";
  const std::string b = music_ / "b.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(b, same, "second");
  ui_.answers = {true};

  Run();

  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(b, same));
  EXPECT_EQ(ui_.questions[0].caption, Cp932("上書き確認"));
  EXPECT_EQ(ReadBytes(same), "second");
  EXPECT_STREQ(table_[0].path, same.c_str());
  EXPECT_STREQ(table_[1].path, same.c_str());
  EXPECT_FALSE(PathExists(b));
  EXPECT_FALSE(PathExists(work_ / TemporaryName));
  EXPECT_TRUE(ui_.refusals.empty());
}

TEST_F(OverwriteRoadTest, NoToTheQuestionLeavesBothFiles) {
  const std::string same = music_ / "Same.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(music_ / "b.mp3", same, "second");
  ui_.answers = {false};

  Run();

  EXPECT_EQ(ReadBytes(same), "first");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "second");
  ExpectNothingLost({"first", "second"});
}
// --- Failing steps: no file lost, nothing left under the temporary name.

TEST_F(OverwriteRoadTest, UnwritableCurrentDirectoryOrMissingSourceDeletesNothing) {
  FaultyFileOps ops;
  ops.FailWhen(
      FileOp::Move, [](const std::string&, const std::string& to) { return to == TemporaryName; },
      EACCES, 1);
  Add(music_ / "a.mp3", music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "target");
  // Listed, but gone from the disk before the run.
  Add(music_ / "gone.mp3", music_ / "U.mp3");
  WriteBytes(music_ / "U.mp3", "other target");
  ui_.answers = {true, true};

  Run(ops);

  EXPECT_EQ(ops.Calls(FileOp::Delete), 0);
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "mine");
  EXPECT_EQ(ReadBytes(music_ / "T.mp3"), "target");
  EXPECT_EQ(ReadBytes(music_ / "U.mp3"), "other target");
  EXPECT_EQ(table_[1].path, music_ / "gone.mp3");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, std::strerror(EACCES)));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("ファイルが見つかりません")));
  EXPECT_EQ(ui_.questions.size(), 1u);  // a file that is gone is not asked about
  ExpectNothingLost({"mine"});
}

// Matches a move away from the temporary name.
bool FromTemporary(const std::string& from, const std::string&) { return from == TemporaryName; }

// One step of the road to "T.mp3" fails: the file is back under its own
// name, the target as it was (unless the user agreed to lose it), the
// temporary name as it was, and the failure told once.
struct StepFault {
  const char* name;
  void (*arrange)(FaultyFileOps& ops, const std::string& target);
  const char* targetBefore;     // nullptr: no file there at the start
  const char* targetAfter;      // nullptr: not checked
  const char* temporaryBefore;  // someone's file under the temporary name
  std::string told;             // part of the refusal
};

// Names the case in test listings.
void PrintTo(const StepFault& c, std::ostream* out) { *out << c.name; }

// Keeps what a run writes down: the files it is about to replace, and the
// rows' outcomes at its end.
class RecordingJournal final : public RenameJournal {
 public:
  RecordResult BeginRename(std::span<const RenamePlanRow>, std::string_view) override {
    return {true, {}, {}};
  }
  void RecordReplacing(std::size_t, const PlannedPath&, const FileStatus&) override { ++replacing; }
  RecordResult FinishRename(std::span<const RenamePlanRow>,
                            std::span<const RenameRowResult> results, FileOps&) override {
    for (const RenameRowResult& result : results) outcomes.push_back(result.outcome);
    return {true, {}, {}};
  }

  int replacing = 0;
  std::vector<RowOutcome> outcomes;
};

class RenameStepFaultTest : public OverwriteRoadTest,
                            public ::testing::WithParamInterface<StepFault> {};

TEST_P(RenameStepFaultTest, FileStaysUnderItsOwnNameAndTheFailureIsTold) {
  const StepFault& c = GetParam();
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3",
                    temporary = work_ / TemporaryName;
  FaultyFileOps ops;
  if (c.arrange != nullptr) c.arrange(ops, target);
  if (c.targetBefore != nullptr) WriteBytes(target, c.targetBefore);
  if (c.temporaryBefore != nullptr) WriteBytes(temporary, c.temporaryBefore);
  Add(a, target, "mine");
  ui_.answers = {true};
  RecordingJournal journal;
  RunServices services;
  services.history = &journal;

  RunRename(table_, ops, ui_, services);

  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(table_[0].path, a);
  // Written down as not moved, so that undo does not take it "back".
  EXPECT_EQ(journal.outcomes, std::vector<RowOutcome>{RowOutcome::Failed});
  // The agreed target is written down before anything touches it.
  EXPECT_EQ(journal.replacing, c.targetBefore != nullptr ? 1 : 0);
  if (c.targetAfter != nullptr) {
    EXPECT_EQ(ReadBytes(target), c.targetAfter);
  }
  EXPECT_EQ(ReadBytes(temporary), c.temporaryBefore ? c.temporaryBefore : "<missing>");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, c.told)) << ui_.refusals[0].text;
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RenameStepFaultTest,
    ::testing::Values(
        // A taken temporary name stops the run before any delete.
        StepFault{"TakenTemporaryName", nullptr, "target", "target", "someone's file",
                  std::strerror(EEXIST)},
        StepFault{
            "FailedDelete",
            [](FaultyFileOps& ops, const std::string&) { ops.FailCall(FileOp::Delete, 1, EACCES); },
            "target", "target", nullptr, Cp932("上書きするファイルを削除できません：")},
        StepFault{"FailedLastMove",
                  [](FaultyFileOps& ops, const std::string&) {
                    ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
                  },
                  "agreed to replace", nullptr, nullptr, std::strerror(EIO)},
        // Nothing in the way, yet the move is refused (rights).
        StepFault{"FailedMove",
                  [](FaultyFileOps& ops, const std::string& target) {
                    ops.FailWhen(
                        FileOp::Move,
                        [target](const std::string&, const std::string& to) {
                          return to == target;
                        },
                        EACCES);
                  },
                  nullptr, nullptr, nullptr, std::strerror(EACCES)}),
    [](const ::testing::TestParamInfo<StepFault>& step) { return step.param.name; });

// A file that takes the new name just before the move is never replaced
// unasked: the move, which never replaces, finds it, and the user is asked
// about that very file.
TEST_F(OverwriteRoadTest, TargetAppearingBeforeTheMoveIsAskedAbout) {
  FaultyFileOps ops;
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3";
  ops.BeforeCall(FileOp::Move, 1,
                 [&](const std::string&, const std::string&) { WriteBytes(target, "intruder"); });
  Add(a, target, "mine");
  ui_.answers = {false};

  Run(ops);

  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(a, target));
  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(ReadBytes(target), "intruder");
}

// Replaced after all: the agreed file comes back out of the trash when the
// last move fails, rather than the user losing it for nothing.
TEST_F(OverwriteRoadTest, AgreedFileLeavesTheTrashWhenTheLastMoveFails) {
  TempFolder trashFolder;
  FolderTrash trash(trashFolder.path());
  FaultyFileOps ops;
  ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3";
  Add(a, target, "mine");
  WriteBytes(target, "agreed to replace");
  ui_.answers = {true};
  RunServices services;
  services.trash = &trash;

  RunRename(table_, ops, ui_, services);

  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(ReadBytes(target), "agreed to replace");
}

// The file of the new name goes away by itself after the question (another
// program, or the file itself under another spelling): the move still ends.
TEST_F(OverwriteRoadTest, TargetGoneBeforeItsDeleteIsNoFailure) {
  FaultyFileOps ops;
  const std::string target = music_ / "T.mp3";
  WriteBytes(target, "agreed to replace");
  ops.BeforeCall(FileOp::Delete, 1,
                 [&](const std::string&, const std::string&) { ::unlink(target.c_str()); });
  Add(music_ / "a.mp3", target, "mine");
  ui_.answers = {true};

  Run(ops);

  EXPECT_EQ(ReadBytes(target), "mine");
  EXPECT_TRUE(ui_.refusals.empty());
  ExpectNothingLost({"mine"});
}

TEST_F(OverwriteRoadTest, OldNameTakenMeanwhileSendsTheFileToItsNewName) {
  FaultyFileOps ops;
  const std::string a = music_ / "a.mp3";
  ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
  // While the file is away, another one takes its old name.
  ops.BeforeCall(FileOp::Delete, 1,
                 [&](const std::string&, const std::string&) { WriteBytes(a, "intruder"); });
  Add(a, music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "agreed to replace");
  ui_.answers = {true};

  Run(ops);

  EXPECT_EQ(ReadBytes(music_ / "T.mp3"), "mine");
  EXPECT_EQ(ReadBytes(a), "intruder");
  EXPECT_EQ(table_[0].path, music_ / "T.mp3");
  ExpectNothingLost({"mine"});
}

TEST_F(OverwriteRoadTest, FileThatCannotLeaveTheTemporaryNameIsNamedWhereItIs) {
  FaultyFileOps ops;
  ops.FailWhen(FileOp::Move, FromTemporary, EIO);
  Add(music_ / "a.mp3", music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "agreed to replace");
  ui_.answers = {true};

  Run(ops);

  const std::string stuck = work_ / TemporaryName;
  EXPECT_EQ(table_[0].path, stuck);
  EXPECT_EQ(ReadBytes(stuck), "mine");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("現在の場所：") + stuck));
}

TEST_F(OverwriteRoadTest, ReplaceThroughTemporaryNameOnAnotherFileSystem) {
  TempFolder shm("/dev/shm");
  if (SameFileSystem(music_.path(), shm.path()))
    GTEST_SKIP() << "/dev/shm is on the same file system here";
  CurrentDirectoryGuard inShm(shm.path());
  ASSERT_TRUE(inShm.entered());
  const std::string same = music_ / "Same.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(music_ / "b.mp3", same, std::string(200000, 's'));
  ui_.answers = {true};

  Run();

  EXPECT_EQ(ReadBytes(same), std::string(200000, 's'));
  EXPECT_STREQ(table_[1].path, same.c_str());
  EXPECT_FALSE(PathExists(shm / TemporaryName));
  EXPECT_TRUE(ui_.refusals.empty());
}

}  // namespace
}  // namespace selvane
