// Renames and tag changes recorded and taken back whole, as the window does
// them: chains, overwrites, Japanese names, rows that met one name, and a
// history that cannot record.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Sqlite.h"
#include "core/history/Undo.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"
#include "core/tags/TagWriter.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/PlannedRows.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/core/history/HistoryFixtures.h"

namespace selvane {
namespace {

class HistoryTest : public HistoryFixture {};

TEST_F(HistoryTest, ChainsAndAnOverwriteComeBackNewestBatchFirstAndRowsFollow) {
  const std::string a = music_.Write("a.mp3", Audio + TrailerBytes("A"));
  const std::string b = music_.Write("b.mp3", "B"), c = music_.Write("c.mp3", "C");
  const std::string e = music_.Write("e.mp3", "E"), f = music_.Write("f.mp3", "F");
  const std::string d = music_ / "d.mp3";
  History history;
  EXPECT_FALSE(history.store().MayUndo());
  EXPECT_FALSE(PathExists(Store())) << "the store is made on first need";

  // Batch 1: a tag update on a.mp3. Batch 2: a chain (c->d, b->c, a->b)
  // and an overwrite of the unlisted f.mp3.
  FileEntry entry{};
  CopyField(entry.path, a);
  ASSERT_TRUE(WriteTagRecorded(entry, Titled("New"), ops_, history, ui_));
  Rename(history, {{c, d}, {b, c}, {a, b}, {e, f}});
  ASSERT_EQ(Listing(trashFolder_ / "files").size(), 1u);

  EntryTable table;
  for (const std::string& path : {d, c, b, f}) List(table, path);
  const std::vector<PathChange> changes = Undo(history);
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_TRUE(Contains(ui_.questions[0].text, "のリネーム（4 ファイル）を元に戻しますか？"));
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(b), "B");
  EXPECT_EQ(ReadBytes(c), "C");
  EXPECT_EQ(ReadBytes(e), "E");
  EXPECT_EQ(ReadBytes(f), "F") << "the replaced file is back from the trash";
  EXPECT_FALSE(PathExists(d));
  EXPECT_TRUE(Listing(trashFolder_ / "files").empty());
  EXPECT_TRUE(Listing(trashFolder_ / "info").empty());
  FollowPathChanges(table, changes);
  EXPECT_STREQ(table[0].path, c.c_str());
  EXPECT_STREQ(table[1].path, b.c_str());
  EXPECT_STREQ(table[2].path, a.c_str());
  EXPECT_STREQ(table[3].path, e.c_str());

  // Then the tag update, found again under the file's old name.
  Undo(history);
  EXPECT_TRUE(Contains(ui_.questions.back().text, "のタグ情報の更新（1 ファイル）"));
  EXPECT_EQ(ReadBytes(a), Audio + TrailerBytes("A"));
  EXPECT_FALSE(history.store().MayUndo());
  EXPECT_FALSE(History().store().MayUndo()) << "the next start knows it too";

  // A file that meets itself and is put back changes nothing to take back.
  Rename(history, {{b, b}});
  EXPECT_EQ(ReadBytes(b), "B");
  EXPECT_FALSE(history.store().MayUndo());
}

// The overwrite's agreed file goes to the trash and undo brings it back,
// from where it was put even when the trash folders are looked for
// elsewhere by then; where no trash takes it, it is deleted, the status line
// says so, and undo names it as the one thing it cannot bring back.
TEST_F(HistoryTest, AReplacedFileGoesToTheTrashOrIsDeletedAndSaidSo) {
  NoTrash noTrash;
  TempFolder otherHome;
  FolderTrash trashLookedForElsewhere(otherHome.path());
  for (Trash* trash : {static_cast<Trash*>(&trash_), static_cast<Trash*>(&noTrash)}) {
    const bool trashed = trash == &trash_;
    SCOPED_TRACE(trashed ? "a trash" : "no trash");
    TempFolder folder;
    const std::string mine = folder.Write("mine.mp3", "MINE");
    const std::string theirs = folder.Write("theirs.mp3", "THEIRS");
    History history(folder / "history.sqlite3");
    EntryTable table;
    List(table, mine, theirs);
    ui_ = RecordingPrompts{};
    ui_.answers = {true};
    RunRename(table, ops_, ui_, {.trash = trash, .history = &history});
    EXPECT_EQ(ReadBytes(theirs), "MINE");
    EXPECT_EQ(Listing(trashFolder_ / "files").size(), trashed ? 1u : 0u);
    EXPECT_EQ(ui_.statuses.back(),
              trashed ? Cp932("リネーム終了")
                      : Cp932("リネーム終了（ゴミ箱に移せなかったため、上書きしたファイル 1 "
                              "個を削除しました）"));

    ui_.answers.push_back(true);
    RunUndo(history.store(), ops_, trashLookedForElsewhere, ui_);
    EXPECT_EQ(ReadBytes(mine), "MINE");
    EXPECT_EQ(ReadBytes(theirs), trashed ? "THEIRS" : "<missing>");
    ASSERT_EQ(ui_.refusals.size(), trashed ? 0u : 1u);
    if (!trashed) {
      EXPECT_TRUE(Contains(ui_.refusals[0].text, "削除されていて、戻せません"));
    }
  }
}

// Two rows that met one name, the second replacing the first (sent to the
// trash): after undo each row names its own file again, the one taken back
// from the trash too.
TEST_F(HistoryTest, RowsThatMetOneNameEachFollowTheirOwnFileBack) {
  const std::string dup1 = music_.Write("dup1.mp3", "ONE"), dup2 = music_.Write("dup2.mp3", "TWO");
  const std::string same = music_ / "Same(X).mp3";
  History history;
  Rename(history, {{dup1, same}, {dup2, same}});
  ASSERT_EQ(ReadBytes(same), "TWO");
  EntryTable table;
  List(table, same);
  List(table, same);
  FollowPathChanges(table, Undo(history));
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(dup1), "ONE");
  EXPECT_EQ(ReadBytes(dup2), "TWO");
  EXPECT_STREQ(table[0].path, dup1.c_str());
  EXPECT_STREQ(table[1].path, dup2.c_str());
}

// The same with Japanese names, listed as CP932 and kept on disk as UTF-8:
// the run, the record and undo each use the name's native form, and after
// undo each row names its file again.
TEST_F(HistoryTest, JapaneseNamesGoThroughRenameAndUndo) {
  const std::string one = music_.Write("一曲.mp3", "ONE"), two = music_.Write("二曲.mp3", "TWO");
  const std::string same = music_ / "同じ(X).mp3";
  std::string oneCp932, twoCp932, sameCp932;
  ASSERT_TRUE(NativePathToCp932(one, oneCp932) && NativePathToCp932(two, twoCp932) &&
              NativePathToCp932(same, sameCp932));
  EntryTable table;
  List(table, oneCp932, sameCp932);
  List(table, twoCp932, sameCp932);
  History history;
  ui_.unscriptedAnswer = true;
  RunRename(table, ops_, ui_, {.trash = &trash_, .history = &history});
  ASSERT_EQ(ReadBytes(same), "TWO");
  EXPECT_STREQ(table[0].path, sameCp932.c_str());
  FollowPathChanges(table, Undo(history));
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(one), "ONE");
  EXPECT_EQ(ReadBytes(two), "TWO");
  EXPECT_FALSE(PathExists(same));
  EXPECT_STREQ(table[0].path, oneCp932.c_str());
  EXPECT_STREQ(table[1].path, twoCp932.c_str());
}

// Japanese file names read, named from their Shift-JIS tags (a trail byte
// 0x5C among them), forecast, renamed and taken back, each path made native
// once per command; the ID3v2 road reads through the same native names.
TEST_F(HistoryTest, JapaneseNamesComeThroughRefreshForecastRenameAndUndo) {
  const std::string one = music_.Write("一曲.mp3", "ONE" + TrailerBytes("\x88\xA4", "\x83\x5C"));
  const std::string two = music_.Write("二曲.mp3", "TWO" + TrailerBytes("\x95\x5C", "\x94\x5C"));
  music_.Write("表(能).mp3", "taken");
  EntryTable table;
  for (const std::string& native : {one, two}) {
    std::string cp932;
    ASSERT_TRUE(NativePathToCp932(native, cp932));
    List(table, cp932);
  }
  std::string folder;
  ASSERT_TRUE(NativePathToCp932(music_.path(), folder));
  for (const TagSources sources : {TagSources::WithId3v2, TagSources::Id3v1}) {
    table.tagSources = sources;
    ExpandAll("$T($A).mp3", table);
    EXPECT_EQ(table[0].newPath, folder + "/\x88\xA4(\x83\x5C).mp3");
    EXPECT_EQ(table[1].newPath, folder + "/\x95\x5C(\x94\x5C).mp3");
  }
  const std::vector<RowOutlook> forecast = ForecastRename(table, ops_);
  EXPECT_EQ(forecast[0].outlook, Outlook::Moves);
  EXPECT_EQ(forecast[1].outlook, Outlook::AsksExisting);

  History history;
  ui_.answers.push_back(false);  // the taken name stays as it is
  RunRename(table, ops_, ui_, {.trash = &trash_, .history = &history});
  EXPECT_EQ(ReadBytes(music_ / "愛(ソ).mp3").substr(0, 3), "ONE");
  FollowPathChanges(table, Undo(history));
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(one).substr(0, 3), "ONE");
  EXPECT_EQ(ReadBytes(two).substr(0, 3), "TWO");
  EXPECT_EQ(ReadBytes(music_ / "表(能).mp3"), "taken");
  EXPECT_EQ(std::string(table[0].path), folder + "/\x88\xEA\x8B\xC8.mp3");
}

// A history that cannot be written: the run asks before it changes what
// could not be taken back, and No leaves every file alone.
TEST_F(HistoryTest, ARunTheHistoryCannotRecordGoesOnlyWhenTheUserSaysSo) {
  const std::string blocker = state_.Write("file", "not a folder");
  History history(blocker + "/history.sqlite3");
  for (const bool goOn : {false, true}) {
    SCOPED_TRACE(goOn ? "yes" : "no");
    const std::string a = music_.Write("a.mp3", "A"), b = music_ / "b.mp3";
    EntryTable table;
    List(table, a, b);
    ui_ = RecordingPrompts{};
    ui_.answers = {goOn};
    RunRename(table, ops_, ui_, {.trash = &trash_, .history = &history});
    ASSERT_EQ(ui_.questions.size(), 1u);
    EXPECT_TRUE(Contains(ui_.questions[0].text, "このリネームは元に戻せなくなります"));
    EXPECT_EQ(PathExists(a), !goOn);
    EXPECT_EQ(PathExists(b), goOn);
    std::filesystem::remove(b);
  }
}

}  // namespace
}  // namespace selvane
