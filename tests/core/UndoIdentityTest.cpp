// Undo across time: files known by what they are, steps taken back one by
// one, the truth about the history itself, and placeholders a kill left.
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

namespace selvane {
namespace {

const std::string Song = std::string("ID3\0body", 8) + std::string(200, 'x') + "TAG-tail";

bool Contains(const std::string& text, const char* utf8) {
  return text.find(Cp932(utf8)) != std::string::npos;
}

Identity Known(const std::string& path, bool withTail) {
  const FileStatus status = NativeStatus(path);
  Identity identity{true, status.nameDevice, status.nameInode, status.length, status.modified, {}};
  if (withTail) identity.tail = ReadBytes(path).substr(Song.size() - TrailerSize);
  return identity;
}

// The file at `path` becomes a copy of itself under a new inode, as a
// remount of a FUSE medium or a copy to another file system shows it.
void Recopy(const std::string& path, const std::string& bytes, std::int64_t shiftNanoseconds) {
  const FileStatus before = NativeStatus(path);
  WriteBytes(path + ".copy", bytes);
  const std::int64_t at = before.modified + shiftNanoseconds;
  const timespec times[2] = {{0, UTIME_OMIT}, {at / 1000000000, at % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (path + ".copy").c_str(), times, 0), 0);
  ASSERT_EQ(::rename((path + ".copy").c_str(), path.c_str()), 0);
}

class UndoIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    cwd_ = std::make_unique<CurrentDirectoryGuard>(music_.path());
  }
  void TearDown() override {
    cwd_.reset();
    ::unsetenv("XDG_STATE_HOME");
  }
  std::string Store() const { return state_ / "selvane/history.sqlite3"; }

  std::vector<RenamePlanRow> Plan(const std::vector<std::pair<std::string, std::string>>& rows) {
    return PlannedRows(ops_, natives_, rows);
  }
  void Rename(History& history, const std::vector<std::pair<std::string, std::string>>& rows,
              RecordingPrompts& ui) {
    EntryTable table;
    for (const auto& [from, to] : rows) {
      table.Append(std::make_unique<FileEntry>());
      CopyField(table[table.entryCount - 1].path, from);
      CopyField(table[table.entryCount - 1].newPath, to);
    }
    ui.unscriptedAnswer = true;
    RunRename(table, ops_, ui, {.trash = &trash_, .history = &history});
  }
  UndoRun Undo(History& history) {
    ui_.answers.push_back(true);
    return RunUndo(history.store(), ops_, trash_, ui_);
  }
  void Execute(const std::string& sql) {
    sql::Database db;
    ASSERT_TRUE(db.Open(Store()).ok());
    ASSERT_TRUE(db.Execute(sql.c_str()).ok()) << sql;
    db.Close();
  }

  TempFolder music_, state_, trashFolder_;
  FolderTrash trash_{trashFolder_.path()};
  FileOps& ops_ = SystemFileOps();
  NativePaths natives_;  // the plans' native names
  RecordingPrompts ui_;
  std::unique_ptr<CurrentDirectoryGuard> cwd_;
};

TEST_F(UndoIdentityTest, AFileIsKnownByItsEntryOrByItsContentNeverByItsInodeNumberAlone) {
  struct Case {
    const char* name;
    bool recopied;
    std::int64_t shift;  // of the copy's modification time
    bool lastByteChanged, otherDevice, withTail, comesBack;
    bool link = false;  // b.mp3 a link to a file of those bytes, moved as itself
  };
  const Case cases[] = {
      {"the same entry", false, 0, false, false, false, true},
      {"a copy with the same content", true, 0, false, false, true, true},
      {"a copy a FAT clock rounded", true, 1'000'000'000, false, false, true, true},
      {"a copy with other last bytes", true, 0, true, false, true, false},
      {"a copy made later", true, 60'000'000'000, false, false, true, false},
      {"a copy without recorded last bytes", true, 0, false, false, false, false},
      {"only the inode number agrees", false, 0, false, true, false, false},
      {"a link, known as itself", false, 0, false, false, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string a = folder / "a.mp3", b = folder / "b.mp3";
    if (c.link)
      ASSERT_EQ(::symlink(folder.Write("song.mp3", Song).c_str(), b.c_str()), 0);
    else
      WriteBytes(b, Song);
    StoredStep step;
    step.path = step.nativePath = a;
    step.newPath = step.nativeNewPath = b;
    step.file = step.placed = Known(b, c.withTail);
    if (c.otherDevice) step.file.device = step.placed.device = step.file.device + 1;
    step.outcomeKnown = true;
    step.outcome = RowOutcome::Moved;
    std::string bytes = Song;
    if (c.lastByteChanged) bytes.back() = '!';
    if (c.recopied) Recopy(b, bytes, c.shift);
    StoredBatch batch;
    batch.finished = true;
    batch.files = 1;
    batch.steps.push_back(step);
    const UndoResult result = UndoBatch(batch, ops_, trash_);
    EXPECT_EQ(PathExists(a), c.comesBack);
    EXPECT_EQ(PathExists(b), !c.comesBack);
    EXPECT_EQ(result.complete, c.comesBack);
  }
}

// A move that copies (into another file system) gives the file a new
// inode: undo knows it by what its new name showed after the move, an
// overwrite's as well as a plain move's.
TEST_F(UndoIdentityTest, AFileTheMoveCopiedIsKnownByWhereTheRunLeftIt) {
  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "an overwrite" : "a plain move");
    TempFolder folder;
    const std::string a = folder.Write("a.mp3", "A"), b = folder / "b.mp3";
    if (overwrite) WriteBytes(b, "B");
    FaultyFileOps copying;
    // An overwrite's first move only puts the file under the temporary name.
    copying.BeforeCall(FileOp::Move, overwrite ? 2 : 1,
                       [](const std::string& from, const std::string&) {
                         WriteBytes(from + ".copy", ReadBytes(from));
                         std::filesystem::rename(from + ".copy", from);
                       });
    History history;
    EntryTable table;
    table.Append(std::make_unique<FileEntry>());
    CopyField(table[0].path, a);
    CopyField(table[0].newPath, b);
    RecordingPrompts run;
    run.unscriptedAnswer = true;
    RunRename(table, copying, run, {.trash = &trash_, .history = &history});
    ASSERT_EQ(ReadBytes(b), "A");

    ui_ = RecordingPrompts{};
    Undo(history);
    EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
    EXPECT_EQ(ReadBytes(a), "A");
    EXPECT_EQ(ReadBytes(b), overwrite ? "B" : "<missing>");
  }
}

// A row the run left alone, or whose move failed before anything moved, is
// no part of what undo takes back: the user may have moved that file
// since, and the rest comes back without a word about it.
TEST_F(UndoIdentityTest, ARowTheRunDidNotMoveIsLeftOutOfTheUndo) {
  for (const RowOutcome outcome : {RowOutcome::NotMoved, RowOutcome::Failed}) {
    SCOPED_TRACE(outcome == RowOutcome::Failed ? "its move failed" : "left alone");
    TempFolder folder, state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const std::string a = folder.Write("a.mp3", "A"), c = folder.Write("c.mp3", "C");
    const std::vector<std::pair<std::string, std::string>> rows = {{a, folder / "b.mp3"},
                                                                   {c, folder / "d.mp3"}};
    const std::vector<RenamePlanRow> plan = Plan(rows);  // views into `rows`
    History history;
    ASSERT_TRUE(history.BeginRename(plan, TemporaryName).recorded);
    ASSERT_TRUE(ops_.Move(a.c_str(), rows[0].second.c_str()));
    std::vector<RenameRowResult> results(2);
    results[0].outcome = RowOutcome::Moved;
    results[1].outcome = outcome;
    ASSERT_TRUE(history.FinishRename(plan, results, ops_).recorded);
    std::filesystem::rename(c, folder / "c-kept.mp3");

    ui_ = RecordingPrompts{};
    EXPECT_TRUE(Undo(history).undone);
    EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
    EXPECT_EQ(ReadBytes(a), "A");
    EXPECT_FALSE(history.store().MayUndo()) << "nothing is left to take back";
  }
}

// A file that took the replaced file's freed inode number and went to the
// trash from the same name is not taken back for it.
TEST_F(UndoIdentityTest, TheTrashIsSearchedByPathLengthAndLastBytes) {
  const std::string x = music_.Write("x.mp3", Song);
  TrashedFile first;
  ASSERT_TRUE(trash_.MoveToTrash(x.c_str(), first));
  const std::string tail = Song.substr(Song.size() - TrailerSize);
  EXPECT_EQ(trash_.Find(first.file, tail, {}, x), first.nativePath);
  EXPECT_EQ(trash_.Find(first.file, {}, {}, x), first.nativePath);  // old records: its entry
  EXPECT_EQ(trash_.Find(first.file, tail, {}, music_ / "y.mp3"), "");
  FileStatus elsewhere = first.file;
  elsewhere.nameDevice += 1;
  EXPECT_EQ(trash_.Find(elsewhere, {}, {}, x), "");

  ASSERT_EQ(::unlink(first.nativePath.c_str()), 0);  // the trash emptied
  std::string other = Song;
  other.back() = '!';
  music_.Write("x.mp3", other);
  TrashedFile second;
  ASSERT_TRUE(trash_.MoveToTrash(x.c_str(), second));
  EXPECT_EQ(trash_.Find(first.file, tail, first.nativePath, x), "");
}

// A step that cannot come back stays to be taken back later; the question
// names what is left; the change counts as undone only when all are back.
// The same for a run that stopped before its end (its outcome never written);
// a Japanese name comes back under its own name either way.
TEST_F(UndoIdentityTest, StepsComeBackOneByOneAndTheRestStaysUndoable) {
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

TEST_F(UndoIdentityTest, ABatchAnotherLiveProcessRunsIsNeverOffered) {
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

// A prompt that, as the first row starts, lets another program hold the
// history, so that the run's outcome cannot be written.
class LockingPrompts : public RecordingPrompts {
 public:
  explicit LockingPrompts(std::string store) : store_(std::move(store)) {}
  void SetStatus(std::string_view text) override {
    if (!holder_.isOpen() && holder_.Open(store_).ok())
      locked_ = holder_.Execute("BEGIN EXCLUSIVE").ok();
    RecordingPrompts::SetStatus(text);
  }
  bool locked_ = false;

 private:
  std::string store_;
  sql::Database holder_;
};

TEST_F(UndoIdentityTest, TheHistoryTellsWhatItCouldNotWriteAndKeepsANewerStore) {
  const std::string a = music_.Write("a.mp3", "A");
  History history;
  {
    LockingPrompts locking(Store());
    Rename(history, {{a, music_ / "b.mp3"}}, locking);
    ASSERT_TRUE(locking.locked_);
    ASSERT_EQ(locking.refusals.size(), 1u);
    EXPECT_TRUE(Contains(locking.refusals[0].text, "記録できませんでした"));
  }

  struct stat st {};
  for (const char* suffix : {"", "-wal", "-shm"}) {
    ASSERT_EQ(::stat((Store() + suffix).c_str(), &st), 0) << suffix;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
  }
  ASSERT_EQ(::stat((state_ / "selvane").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  Execute("PRAGMA user_version=99");
  History newer;
  RecordingPrompts asked;
  asked.answers.push_back(false);
  Rename(newer, {{music_ / "b.mp3", music_ / "c.mp3"}}, asked);
  ASSERT_EQ(asked.questions.size(), 1u);
  EXPECT_TRUE(Contains(asked.questions[0].text, "新しい版"));
  EXPECT_TRUE(PathExists(music_ / "b.mp3"));
  for (const auto& item : std::filesystem::directory_iterator(state_ / "selvane"))
    EXPECT_EQ(item.path().string().find(".broken"), std::string::npos) << item.path();
}

// Another program holding the store, or a moment without memory, is no
// sign of a garbled store: undo and recording say why they cannot go on
// and keep it as it is. A hold of a moment is waited out.
TEST_F(UndoIdentityTest, AStoreHeldOrShortOfMemoryIsKeptAsItIs) {
  {
    History history;
    RecordingPrompts run;
    Rename(history, {{music_.Write("a.mp3", "A"), music_ / "b.mp3"}}, run);
  }
  const auto keptAsItIs = [this] {
    EXPECT_TRUE(PathExists(Store()));
    for (const auto& item : std::filesystem::directory_iterator(state_ / "selvane"))
      EXPECT_EQ(item.path().string().find(".broken"), std::string::npos) << item.path();
  };
  // As a backup tool holds it: nobody else may even read it meanwhile.
  const auto holdWhole = [this](sql::Database& holder) {
    ASSERT_TRUE(holder.Open(Store()));
    ASSERT_TRUE(holder.Execute("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE"));
  };
  {
    SCOPED_TRACE("held as undo opens it");
    sql::Database holder;
    holdWhole(holder);
    History later;
    const UndoOffer offer = UndoHistory(later.store()).OfferUndo();
    EXPECT_EQ(offer.state, UndoOffer::State::Unreadable);
    EXPECT_TRUE(Contains(offer.message, "ほかのプログラムが使っています")) << offer.message;
    keptAsItIs();
  }
  {
    SCOPED_TRACE("held for a moment");
    sql::Database holder;
    holdWhole(holder);
    std::thread release([&holder] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      holder.Close();
    });
    History later;
    EXPECT_EQ(UndoHistory(later.store()).OfferUndo().state, UndoOffer::State::Ready);
    release.join();
  }
  {
    SCOPED_TRACE("held as a record is written");
    History history;
    sql::Database holder;
    ASSERT_TRUE(holder.Open(Store()));
    ASSERT_TRUE(holder.Execute("BEGIN IMMEDIATE"));
    const RecordResult recorded =
        history.BeginRename(Plan({{music_ / "b.mp3", music_ / "c.mp3"}}), TemporaryName);
    EXPECT_FALSE(recorded.recorded);
    EXPECT_TRUE(Contains(recorded.error, "ほかのプログラムが使っています")) << recorded.error;
    keptAsItIs();
  }
  {
    SCOPED_TRACE("out of memory as undo reads it");
    History history;
    EXPECT_TRUE(history.store().MayUndo());  // open, and read once
    ::sqlite3_hard_heap_limit64(1);
    const UndoOffer offer = UndoHistory(history.store()).OfferUndo();
    ::sqlite3_hard_heap_limit64(0);
    EXPECT_EQ(offer.state, UndoOffer::State::Unreadable);
    keptAsItIs();
  }
}

// Only the newest 100 batches are kept, each whole: the one recorded past
// them takes the place of the oldest.
TEST_F(UndoIdentityTest, TheNewestHundredBatchesAreKeptWhole) {
  const std::string a = music_.Write("a.mp3", "A");
  History history;
  ASSERT_TRUE(history.BeginRename(Plan({{a, music_ / "b.mp3"}}), TemporaryName).recorded);
  const std::string copies =
      "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 100) ";
  Execute(copies +
          "INSERT INTO batch(id, kind, made, state, files) "
          "SELECT i, kind, made, state, files FROM n, batch WHERE id = 1");
  Execute(copies +
          "INSERT INTO step(batch, seq, path, new_path, dev, ino, length) "
          "SELECT i, seq, path, new_path, dev, ino, length FROM n, step WHERE batch = 1");
  ASSERT_TRUE(history.BeginRename(Plan({{a, music_ / "c.mp3"}}), TemporaryName).recorded);

  sql::Database db;
  ASSERT_TRUE(db.Open(Store()));
  sql::Statement query;
  bool row = false;
  ASSERT_TRUE(query.Prepare(db,
                            "SELECT count(*), min(id), max(id), "
                            "(SELECT count(DISTINCT batch) FROM step) FROM batch"));
  ASSERT_TRUE(query.Step(row));
  ASSERT_TRUE(row);
  EXPECT_EQ(query.Integer(0), 100);
  EXPECT_EQ(query.Integer(1), 2);
  EXPECT_EQ(query.Integer(2), 101);
  EXPECT_EQ(query.Integer(3), 100) << "each kept batch keeps its step";
}

// A history kept by the program before: brought up to date, its batch
// still comes back.
TEST_F(UndoIdentityTest, AStoreOfTheFirstLayoutIsBroughtUpToDate) {
  const std::string a = music_ / "a.mp3", b = music_.Write("b.mp3", "A");
  const FileStatus moved = NativeStatus(b);
  std::filesystem::create_directories(state_ / "selvane");
  Execute(std::string(layout::Schema) + "PRAGMA user_version=1;" +
          "INSERT INTO batch VALUES(1, 1, 0, NULL, 1, 1);" +
          "INSERT INTO step(batch, seq, path, new_path, dev, ino, length, outcome, placed_dev, "
          "placed_ino) VALUES(1, 0, '" +
          a + "', '" + b + "', " + std::to_string(static_cast<std::int64_t>(moved.device)) + ", " +
          std::to_string(moved.inode) + ", 1, 1, " +
          std::to_string(static_cast<std::int64_t>(moved.device)) + ", " +
          std::to_string(moved.inode) + ")");
  History history;
  EXPECT_TRUE(Undo(history).undone);
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(a), "A");
  EXPECT_FALSE(history.store().MayUndo());
}

// A kill between the placeholder and the rename leaves an empty file; undo
// clears the ones the batch wrote down and nothing else.
TEST_F(UndoIdentityTest, UndoClearsItsOwnPlaceholdersAndNothingElse) {
  struct Case {
    const char* name;
    const char* at;  // b.mp3: the new name; else the temporary name
    bool recorded;
    const char* bytes;
    bool cleared;
  };
  const Case cases[] = {
      {"under the new name", "b.mp3", true, "", true},
      {"under the temporary name", TemporaryName, true, "", true},
      {"an empty file nobody wrote down", "b.mp3", false, "", false},
      {"a written-down name that holds a file", "b.mp3", true, "data", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string a = music_.Write("a.mp3", "A"), placeholder = music_ / c.at;
    {
      History killed;
      ASSERT_TRUE(killed.BeginRename(Plan({{a, music_ / "b.mp3"}}), TemporaryName).recorded);
      if (c.recorded) {
        ASSERT_TRUE(killed.RecordPlaceholder(PlaceholderStep::Reserving, placeholder.c_str()));
      }
      WriteBytes(placeholder, c.bytes);
    }
    History later;
    Undo(later);
    EXPECT_EQ(ReadBytes(a), "A");
    EXPECT_EQ(PathExists(placeholder), !c.cleared);
    ::unlink(placeholder.c_str());
    Execute("DELETE FROM step; DELETE FROM batch; DELETE FROM placeholder");
  }
}

}  // namespace
}  // namespace selvane
