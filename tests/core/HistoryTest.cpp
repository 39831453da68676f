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

namespace selvane {
namespace {

bool Contains(const std::string& text, const char* utf8) {
  return text.find(Cp932(utf8)) != std::string::npos;
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  return names;
}

void List(EntryTable& table, const std::string& path, const std::string& newPath = {}) {
  table.Append(std::make_unique<FileEntry>());
  CopyField(table[table.entryCount - 1].path, path);
  CopyField(table[table.entryCount - 1].newPath, newPath);
}

// A trash that takes nothing, as on a file system that has none.
class NoTrash : public FreedesktopTrash {
 public:
  FileResult MoveToTrash(const char*, TrashedFile&) override { return FileResult{EXDEV}; }
};

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* saved = std::getenv("XDG_STATE_HOME")) saved_ = saved;
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    cwd_ = std::make_unique<CurrentDirectoryGuard>(work_.path());
    ASSERT_TRUE(cwd_->entered());
  }
  void TearDown() override {
    cwd_.reset();
    if (saved_.empty())
      ::unsetenv("XDG_STATE_HOME");
    else
      ::setenv("XDG_STATE_HOME", saved_.c_str(), 1);
  }

  std::string Store() const { return state_ / "selvane/history.sqlite3"; }

  std::vector<RenamePlanRow> Plan(const std::vector<std::pair<std::string, std::string>>& rows) {
    return PlannedRows(ops_, natives_, rows, true);
  }

  // The rename run as the window starts it, every overwrite agreed to.
  void Rename(History& history, const std::vector<std::pair<std::string, std::string>>& rows) {
    EntryTable table;
    for (const auto& [from, to] : rows) List(table, from, to);
    RecordingPrompts ui;
    ui.unscriptedAnswer = true;
    RunRename(table, ops_, ui, {.trash = &trash_, .history = &history});
    EXPECT_TRUE(ui.refusals.empty()) << ui.refusals[0].text;
    for (const auto& [from, to] : rows) EXPECT_TRUE(PathExists(to)) << to;
  }

  // A store that holds one finished rename, closed; the file back as it was.
  void RecordOneRename() {
    {
      History history;
      Rename(history, {{music_ / "song.mp3", music_ / "tune.mp3"}});
    }
    std::filesystem::rename(music_ / "tune.mp3", music_ / "song.mp3");
  }

  std::vector<PathChange> Undo(History& history) {
    ui_.answers.push_back(true);
    return RunUndo(history.store(), ops_, trash_, ui_).changes;
  }

  TempFolder music_, state_, work_, trashFolder_;
  FolderTrash trash_{trashFolder_.path()};
  FileOps& ops_ = SystemFileOps();
  NativePaths natives_;  // the plans' native names
  RecordingPrompts ui_;

 private:
  std::string saved_;
  std::unique_ptr<CurrentDirectoryGuard> cwd_;
};

const std::string Audio = std::string("audio\0\xff", 7) + std::string(300, 'Z');

Trailer Titled(std::string_view title) {
  TagValues values;
  values.title = title;
  return BuildTrailer(values, 0);
}

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

// The window enables 元に戻す from what the history tells: a batch that can
// be taken back is told as it appears, and gone once the last is undone; a
// change that was not made tells nothing.
TEST_F(HistoryTest, TellsWhenABatchToTakeBackAppearsAndGoes) {
  const std::string song = music_.Write("song.mp3", Audio);
  History history;
  std::vector<bool> told;
  history.store().OnUndoableChanged([&told](bool undoable) { told.push_back(undoable); });
  FileEntry entry{};
  CopyField(entry.path, song);
  ASSERT_TRUE(WriteTagRecorded(entry, Titled("New"), ops_, history, ui_));
  EXPECT_EQ(told, std::vector<bool>{true});
  Undo(history);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));

  TagChangePlan plan;
  ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
  ASSERT_TRUE(history.BeginTagChange(plan).recorded);
  history.FinishTagChange(false);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

// The row that is disturbed after the run stays as it is and is listed
// with its reason; the other row of the batch comes back.
TEST_F(HistoryTest, UndoLeavesADisturbedFileAsItIsAndSaysWhy) {
  const struct {
    const char* name;
    std::function<void(const std::string& old, const std::string& now)> disturb;
    const char* reason;
  } cases[] = {
      {"old name taken", [](const std::string& old, const std::string&) { WriteBytes(old, "new"); },
       "元の名前に別のファイルがあります"},
      {"file changed",
       [](const std::string&, const std::string& now) { WriteBytes(now, "ONE, longer"); },
       "変更されています"},
      {"file gone",
       [](const std::string&, const std::string& now) {
         std::filesystem::rename(now, now + ".moved");
       },
       "見つかりません"},
      // Written before the file goes, so that it cannot take the file's inode.
      {"file gone, another of its length under the temporary name",
       [](const std::string&, const std::string& now) {
         WriteBytes(TemporaryName, "TMP");
         std::filesystem::remove(now);
       },
       "見つかりません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder, state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const std::string one = folder.Write("one.mp3", "ONE"), two = folder.Write("two.mp3", "TWO");
    const std::string uno = folder / "uno.mp3", dos = folder / "dos.mp3";
    History history;
    Rename(history, {{one, uno}, {two, dos}});
    c.disturb(one, uno);
    const std::string oldBytes = ReadBytes(one), nowBytes = ReadBytes(uno);
    ui_ = RecordingPrompts{};
    Undo(history);
    EXPECT_EQ(ReadBytes(two), "TWO");
    EXPECT_EQ(ReadBytes(one), oldBytes);
    EXPECT_EQ(ReadBytes(uno), nowBytes);
    ASSERT_EQ(ui_.refusals.size(), 1u);
    EXPECT_TRUE(Contains(ui_.refusals[0].text, c.reason)) << ui_.refusals[0].text;
    EXPECT_NE(ui_.refusals[0].text.find(uno), std::string::npos);
    EXPECT_TRUE(Contains(ui_.statuses.back(), "戻せなかったファイルがあります"));
  }
}

// Each trailer comes back byte for byte; a file whose end changed after the
// batch is refused and left alone.
TEST_F(HistoryTest, TagChangesComeBackByteForByte) {
  const std::string tagged = Audio + TrailerBytes("Old", "Artist", "", "", "", 17, '\0');
  const struct {
    const char* name;
    std::string bytes;
    bool removes;
    std::function<void(const std::string&)> disturb;
    const char* reason = "タグ情報）が変更されています";
  } cases[] = {
      {"update appends", Audio, false, nullptr},
      {"update replaces", tagged, false, nullptr},
      {"removal", tagged, true, nullptr},
      {"removal of a file that is only a trailer", TrailerBytes("Only"), true, nullptr},
      {"trailer rewritten since", tagged, false,
       [](const std::string& path) {
         ASSERT_TRUE(SystemFileOps().WriteAt(path.c_str(), static_cast<std::int64_t>(Audio.size()),
                                             TrailerBytes("Other").data(), 128));
       }},
      {"grown since the removal", tagged, true,
       [](const std::string& path) { WriteBytes(path, Audio + "more"); }},
      {"replaced by a copy of itself since", tagged, false,
       [](const std::string& path) {
         WriteBytes(path + ".copy", ReadBytes(path));
         std::filesystem::rename(path + ".copy", path);
       },
       "見つかりません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = music_.Write("song.mp3", c.bytes);
    History history;
    FileEntry entry{};
    CopyField(entry.path, path);
    ASSERT_TRUE(c.removes ? RemoveTagRecorded(entry, ops_, history, ui_)
                          : WriteTagRecorded(entry, Titled("New"), ops_, history, ui_));
    if (c.disturb) c.disturb(path);
    const std::string disturbed = ReadBytes(path);

    ui_ = RecordingPrompts{};
    Undo(history);
    if (c.disturb) {
      EXPECT_EQ(ReadBytes(path), disturbed);
      ASSERT_EQ(ui_.refusals.size(), 1u);
      EXPECT_TRUE(Contains(ui_.refusals[0].text, c.reason)) << ui_.refusals[0].text;
    } else {
      EXPECT_EQ(ReadBytes(path), c.bytes);
      EXPECT_TRUE(ui_.refusals.empty());
    }
  }
}

// Whatever is wrong with the store, undo says so, puts the store aside
// under another name and changes nothing on disk; recording then starts a
// new store.
TEST_F(HistoryTest, AGarbledStoreIsPutAsideAndNothingOnDiskChanges) {
  const std::string song = music_.Write("song.mp3", "SONG");
  const struct {
    const char* name;
    std::function<void(const std::string& store)> garble;
  } cases[] = {
      {"random bytes", [](const std::string& store) { WriteBytes(store, std::string(5000, 'x')); }},
      {"another program's database",
       [](const std::string& store) {
         sql::Database db;
         ASSERT_TRUE(db.Open(store));
         ASSERT_TRUE(db.Execute("CREATE TABLE songs(title TEXT)"));
       }},
      {"a page overwritten",
       [this](const std::string& store) {
         RecordOneRename();
         std::string bytes = ReadBytes(store);
         ASSERT_GT(bytes.size(), 8192u);
         bytes.replace(4096, 4096, std::string(4096, '\x5a'));
         WriteBytes(store, bytes);
       }},
      {"a page no query of ours reads",
       [this](const std::string& store) {
         RecordOneRename();
         sql::Database db;
         ASSERT_TRUE(db.Open(store));
         ASSERT_TRUE(
             db.Execute("CREATE TABLE spare(x); INSERT INTO spare VALUES(zeroblob(20000))"));
         db.Close();
         std::string bytes = ReadBytes(store);
         bytes.replace(bytes.size() - 4096, 4096, std::string(4096, '\x5a'));
         WriteBytes(store, bytes);
       }},
      // A pipe is no log, beside a store that is sound otherwise.
      {"a pipe in the log's place",
       [this](const std::string& store) {
         RecordOneRename();
         ASSERT_EQ(::mkfifo((store + "-wal").c_str(), 0600), 0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(state_ / "selvane");
    std::filesystem::create_directories(state_ / "selvane");
    c.garble(Store());
    const std::string garbled = ReadBytes(Store());

    History history;
    ui_ = RecordingPrompts{};
    EXPECT_FALSE(RunUndo(history.store(), ops_, trash_, ui_).undone);
    EXPECT_TRUE(ui_.questions.empty());
    ASSERT_EQ(ui_.refusals.size(), 1u);
    const std::string& message = ui_.refusals[0].text;
    EXPECT_TRUE(Contains(message, "操作の履歴を読み取れない")) << message;
    EXPECT_FALSE(PathExists(Store()));
    std::vector<std::string> asides;
    for (const std::string& name : Listing(state_ / "selvane"))
      if (name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos)
        asides.push_back(name);
    ASSERT_EQ(asides.size(), 1u);
    EXPECT_NE(message.find(asides[0]), std::string::npos) << "says where it lies";
    EXPECT_EQ(ReadBytes(state_ / ("selvane/" + asides[0])), garbled);
    EXPECT_EQ(ReadBytes(song), "SONG");

    // A new store, and the next record goes into it without a word.
    TagChangePlan plan;
    ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
    const RecordResult recorded = history.BeginTagChange(plan);
    EXPECT_TRUE(recorded.recorded);
    EXPECT_TRUE(recorded.notice.empty());
    history.FinishTagChange(true);
    EXPECT_TRUE(history.store().MayUndo());
  }

  // Recording meets a garbled store: put aside, a new one, told once.
  {
    History history;
    WriteBytes(Store(), std::string(5000, 'y'));
    TagChangePlan plan;
    ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
    const RecordResult recorded = history.BeginTagChange(plan);
    EXPECT_TRUE(recorded.recorded);
    EXPECT_TRUE(Contains(recorded.notice, "新しい履歴を始めました")) << recorded.notice;
    history.FinishTagChange(true);
  }
  History reopened;
  EXPECT_TRUE(reopened.store().MayUndo());
  EXPECT_EQ(UndoHistory(reopened.store()).OfferUndo().state, UndoOffer::State::Ready);

  // Garbled while open in this window and in another that wrote to it since:
  // this window's next record finds it so, and does the same.
  History here, there;
  ASSERT_TRUE(here.store().MayUndo());
  ASSERT_TRUE(there.store().MayUndo());
  std::string bytes = ReadBytes(Store());
  bytes.replace(0, 16, std::string(16, 'y'));
  WriteBytes(Store(), bytes);
  TagChangePlan plan;
  ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
  ASSERT_TRUE(there.BeginTagChange(plan).recorded);
  there.FinishTagChange(false);
  const RecordResult recorded = here.BeginTagChange(plan);
  EXPECT_TRUE(recorded.recorded) << recorded.error;
  EXPECT_TRUE(Contains(recorded.notice, "新しい履歴を始めました")) << recorded.notice;
}

// Killed after the plan was committed: one row moved, one left under the
// temporary name with the file it was replacing already in the trash, and
// the rows after it (one of them the replaced file's own) not reached. Undo,
// in a later process started elsewhere, finds each on disk by its identity.
TEST_F(HistoryTest, ABatchCutShortIsTakenBackFromWhatIsOnDisk) {
  const std::string a = music_.Write("a.mp3", "A"), c = music_.Write("c.mp3", "C");
  const std::string d = music_.Write("d.mp3", "D"), e = music_.Write("e.mp3", "E");
  const std::string b = music_ / "b.mp3", f = music_ / "f.mp3", g = music_ / "g.mp3";
  {
    History history;
    ASSERT_TRUE(
        history.BeginRename(Plan({{a, b}, {c, d}, {e, f}, {d, g}}), TemporaryName).recorded);
    ASSERT_TRUE(ops_.Move(a.c_str(), b.c_str()));
    ASSERT_TRUE(ops_.Move(c.c_str(), TemporaryName));
    TrashedFile trashed;
    ASSERT_TRUE(trash_.MoveToTrash(d.c_str(), trashed));
  }  // no outcome

  // Started again, from another folder.
  CurrentDirectoryGuard elsewhere(music_.path());
  History later;
  EXPECT_TRUE(later.store().MayUndo());
  Undo(later);
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_TRUE(Contains(ui_.questions[0].text, "（4 ファイル）"));
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  for (const auto& [path, bytes] : {std::pair{a, "A"}, {c, "C"}, {d, "D"}, {e, "E"}})
    EXPECT_EQ(ReadBytes(path), bytes) << path;
  for (const std::string& gone : {b, f, g, work_ / TemporaryName})
    EXPECT_FALSE(PathExists(gone)) << gone;
  EXPECT_TRUE(Listing(trashFolder_ / "files").empty());
}

// Killed while a.mp3 was being copied across file systems to the temporary
// name; c.mp3, of the same length, deleted since. The temporary file could
// be either: it is left where it is and named, and no name is guessed.
TEST_F(HistoryTest, ATemporaryFileThatCouldBeEitherOfTwoFilesIsLeftAndNamed) {
  const std::string a = music_.Write("a.mp3", "AAAA"), c = music_.Write("c.mp3", "CCCC");
  {
    History history;
    ASSERT_TRUE(
        history.BeginRename(Plan({{a, music_ / "b.mp3"}, {c, music_ / "d.mp3"}}), TemporaryName)
            .recorded);
    WriteBytes(TemporaryName, "AAAA");  // before the files go: no inode of theirs is free
    std::filesystem::remove(a);
    std::filesystem::remove(c);
  }
  History later;
  Undo(later);
  EXPECT_EQ(ReadBytes(work_ / TemporaryName), "AAAA");
  EXPECT_FALSE(PathExists(a));
  EXPECT_FALSE(PathExists(c));
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, "一時ファイルが残っています")) << ui_.refusals[0].text;
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

// The user took the rename back by hand before asking undo to: the file is
// at its old name again, and the name it replaced holds the replaced file
// (restored by hand) or a new one, which the replaced file then never
// replaces: it stays in the trash, and undo says why.
TEST_F(HistoryTest, WhatTheUserTookBackByHandIsLeftAsItIs) {
  for (const bool restoredByHand : {true, false}) {
    SCOPED_TRACE(restoredByHand ? "replaced file restored by hand" : "a new file in its place");
    TempFolder folder;
    const std::string mine = folder.Write("mine.mp3", "MINE");
    const std::string theirs = folder.Write("theirs.mp3", "THEIRS");
    History history(folder / "history.sqlite3");
    Rename(history, {{mine, theirs}});
    std::filesystem::rename(theirs, mine);
    const std::vector<std::string> trashed = Listing(trashFolder_ / "files");
    ASSERT_EQ(trashed.size(), 1u);
    if (restoredByHand)
      std::filesystem::rename(trashFolder_ / ("files/" + trashed[0]), theirs);
    else
      WriteBytes(theirs, "NEW");

    ui_ = RecordingPrompts{};
    Undo(history);
    EXPECT_EQ(ReadBytes(mine), "MINE");
    EXPECT_EQ(ReadBytes(theirs), restoredByHand ? "THEIRS" : "NEW");
    if (restoredByHand) {
      EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
    } else {
      EXPECT_EQ(Listing(trashFolder_ / "files"), trashed);
      ASSERT_EQ(ui_.refusals.size(), 1u);
      EXPECT_TRUE(Contains(ui_.refusals[0].text, "この名前が使われているためゴミ箱に残しました"))
          << ui_.refusals[0].text;
    }
    for (const char* part : {"files", "info"}) {
      std::filesystem::remove_all(trashFolder_ / part);
      std::filesystem::create_directory(trashFolder_ / part);
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

// Sees which folders undo syncs, and fails each sync when told to.
class SyncSpy : public ForwardingFileOps {
 public:
  using ForwardingFileOps::ForwardingFileOps;
  FileResult SyncFolder(const char* path) override {
    folders.insert(path);
    return FileResult{failWith};
  }
  std::set<std::string> folders;
  int failWith = 0;
};

// Before a rename is marked undone, each folder whose names moved is synced
// once, the trash's too; what cannot be synced stays offered, and the next
// undo syncs what that one moved back.
TEST_F(HistoryTest, UndoSyncsEachFolderItChangedBeforeTheMark) {
  const std::string a = music_.Write("a.mp3", "A"), b = music_.Write("b.mp3", "B");
  const std::string c = music_.Write("c.mp3", "C"), d = music_ / "d.mp3";
  History history;
  Rename(history, {{c, d}, {a, b}});
  const std::set<std::string> synced[] = {{music_.path(), trashFolder_ / "files"}, {music_.path()}};
  SyncSpy spy(SystemFileOps());
  for (const int error : {EIO, 0}) {
    spy.failWith = error;
    spy.folders.clear();
    ui_.answers.push_back(true);
    RunUndo(history.store(), spy, trash_, ui_);
    EXPECT_EQ(spy.folders, synced[error == 0]);
    EXPECT_EQ(history.store().MayUndo(), error != 0);
  }
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, "変更をディスクに書き込めません"));
  EXPECT_EQ(ReadBytes(b), "B");
}

// An undo owns its batch from the offer on: another live process is not
// offered it; once that process is gone, its claim lapses.
TEST_F(HistoryTest, AnUndoInAnotherLiveProcessOwnsItsBatchUntilThatProcessDies) {
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

// A value that cannot be bound (a parameter number the statement lacks)
// stops the statement: nothing is written with NULL in its place.
TEST(SqliteStatementTest, AValueThatCannotBeBoundStopsTheStatement) {
  TempFolder folder;
  sql::Database db;
  ASSERT_TRUE(db.Open(folder / "binds.sqlite3"));
  ASSERT_TRUE(db.Execute("CREATE TABLE t(a, b)"));
  const std::function<void(sql::Statement&)> binds[] = {
      [](sql::Statement& s) { s.Bind(3, 7); },
      [](sql::Statement& s) { s.BindBlob(3, "bytes"); },
      [](sql::Statement& s) { s.BindNull(3); },
  };
  for (const auto& bind : binds) {
    sql::Statement insert;
    ASSERT_TRUE(insert.Prepare(db, "INSERT INTO t VALUES(?1, ?2)"));
    insert.Bind(1, 1).Bind(2, 2);
    bind(insert);
    EXPECT_FALSE(insert.Run().ok());
  }
  sql::Statement count;
  bool row = false;
  ASSERT_TRUE(count.Prepare(db, "SELECT count(*) FROM t"));
  ASSERT_TRUE(count.Step(row));
  ASSERT_TRUE(row);
  EXPECT_EQ(count.Integer(0), 0);
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
