// Undo as offered: steps that come back one by one, a batch another live
// process runs or takes back, and the question that names the change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/Sqlite.h"
#include "core/history/StoreLayout.h"
#include "core/history/Undo.h"
#include "core/history/UndoSteps.h"
#include "core/platform/Cp932.h"
#include "core/platform/Process.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/PlannedRows.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/core/history/HistoryFixtures.h"

namespace selvane {
namespace {

class UndoTest : public UndoFixture {};
class UndoClaimTest : public HistoryFixture {};

// A step that cannot come back stays to be taken back later; the question
// names what is left; the change counts as undone only when all are back.
// The same for a run that stopped before its end (its outcome never written);
// a Japanese name comes back under its own name either way.
TEST_F(UndoTest, StepsComeBackOneByOneAndTheRestStaysUndoable) {
  for (const bool finished : {true, false}) {
    SCOPED_TRACE(finished ? "the run finished" : "the run stopped before its end");
    const std::string n = finished ? "1" : "2";
    const std::string a = music_.Write(n + "a.mp3", "A"), c = music_.Write(n + "c.mp3", "C");
    const std::string e = music_.Write(n + "曲.mp3", "E");
    std::string eListed, fListed;  // CP932, as the list holds them
    ASSERT_TRUE(NativePathToCp932(e, eListed));
    ASSERT_TRUE(NativePathToCp932(music_ / (n + "歌.mp3"), fListed));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {a, music_ / (n + "b.mp3")}, {c, music_ / (n + "d.mp3")}, {eListed, fListed}};
    if (finished) {
      History history;
      RecordingPrompts run;
      Rename(history, rows, run);
    } else {
      History history;
      ASSERT_TRUE(history.BeginRename(Plan(rows), TemporaryName).recorded);
      for (const auto& [from, to] : rows) ASSERT_TRUE(ops_.Move(from.c_str(), to.c_str()));
    }
    ASSERT_TRUE(PathExists(music_ / (n + "歌.mp3")));
    music_.Write(n + "c.mp3", "someone else's");

    History history;
    ASSERT_TRUE(Undo(history).undone);
    EXPECT_TRUE(Contains(ui_.questions.back().text, "（3 ファイル）")) << ui_.questions.back().text;
    EXPECT_EQ(ReadBytes(a), "A");
    EXPECT_EQ(ReadBytes(e), "E");
    EXPECT_EQ(ReadBytes(rows[1].second), "C");
    EXPECT_TRUE(history.store().MayUndo());

    ASSERT_EQ(::unlink(c.c_str()), 0);
    Undo(history);
    EXPECT_TRUE(Contains(ui_.questions.back().text, "（残り 1 ファイル）"))
        << ui_.questions.back().text;
    EXPECT_EQ(ReadBytes(c), "C");
    EXPECT_FALSE(history.store().MayUndo());
  }
}

TEST_F(UndoTest, ABatchAnotherLiveProcessRunsIsNeverOffered) {
  struct Case {
    const char* name;
    ProcessMark owner;
    UndoOffer::State offered;
  };
  const ProcessMark parent = MarkOf(::getppid());
  const Case cases[] = {
      {"running in another window", parent, UndoOffer::State::Busy},
      {"its process died, its id given again",
       {parent.pid, parent.started + 1},
       UndoOffer::State::Ready},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string a = music_.Write("a.mp3", "A");
    History history;
    ASSERT_TRUE(history.BeginRename(Plan({{a, music_ / "b.mp3"}}), TemporaryName).recorded);
    Execute("UPDATE batch SET owner_pid=" + std::to_string(c.owner.pid) +
            ", owner_start=" + std::to_string(c.owner.started));
    History later;
    UndoHistory undo(later.store());
    EXPECT_EQ(undo.OfferUndo().state, c.offered);
    Execute("DELETE FROM step; DELETE FROM batch");
  }
}

// An undo owns its batch from the offer on: another live process is not
// offered it; once that process is gone, its claim lapses.
TEST_F(UndoClaimTest, AnUndoInAnotherLiveProcessOwnsItsBatchUntilThatProcessDies) {
  const std::string a = music_.Write("a.mp3", "A");
  Rename(*std::make_unique<History>(), {{a, music_ / "b.mp3"}});
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    History history;
    UndoHistory undo(history.store());
    const bool owns = undo.OfferUndo().state == UndoOffer::State::Ready;
    if (::write(ready[1], owns ? "y" : "n", 1) == 1) ::pause();
    ::_exit(1);
  }
  char owns = 0;
  ASSERT_EQ(::read(ready[0], &owns, 1), 1);
  History history;
  UndoHistory undo(history.store());
  const UndoOffer busy = undo.OfferUndo();
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(owns, 'y');
  EXPECT_TRUE(Contains(busy.message, "元に戻しているところです")) << busy.message;
  const UndoOffer offer = undo.OfferUndo();
  ASSERT_EQ(offer.state, UndoOffer::State::Ready);
  EXPECT_TRUE(undo.Undo(offer, ops_, trash_).complete);
  EXPECT_EQ(ReadBytes(a), "A");
}

TEST(UndoQuestionTest, NamesKindTimeAndFilesWithTheYearWhenNotThisOne) {
  std::tm when{};
  when.tm_year = 2024 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 9;
  when.tm_hour = 10;
  when.tm_min = 31;
  when.tm_isdst = -1;
  const std::time_t made = std::mktime(&when);
  const std::time_t later = made + 3600, nextYear = made + 40 * 86400;
  EXPECT_EQ(UndoQuestion(BatchKind::Rename, made, 60, later),
            Cp932("12月9日 10:31 のリネーム（60 ファイル）を元に戻しますか？"));
  EXPECT_EQ(UndoQuestion(BatchKind::TagRemoval, made, 1, nextYear),
            Cp932("2024年12月9日 10:31 のタグ情報の削除（1 ファイル）を元に戻しますか？"));
}

}  // namespace
}  // namespace selvane
