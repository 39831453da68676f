// Each step of a batch taken back on disk: a file known by what it is, from
// the trash too; a disturbed or doubtful file left and named; folders synced.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <set>

#include "core/history/UndoSteps.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/history/HistoryFixtures.h"

namespace selvane {
namespace {

class UndoStepsTest : public HistoryFixture {};
class UndoIdentityTest : public UndoFixture {};

// The row that is disturbed after the run stays as it is and is listed
// with its reason; the other row of the batch comes back.
TEST_F(UndoStepsTest, UndoLeavesADisturbedFileAsItIsAndSaysWhy) {
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
TEST_F(UndoStepsTest, TagChangesComeBackByteForByte) {
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

// Killed after the plan was committed: one row moved, one left under the
// temporary name with the file it was replacing already in the trash, and
// the rows after it (one of them the replaced file's own) not reached. Undo,
// in a later process started elsewhere, finds each on disk by its identity.
TEST_F(UndoStepsTest, ABatchCutShortIsTakenBackFromWhatIsOnDisk) {
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
    ASSERT_TRUE(trash_.MoveToTrash({d.c_str(), {}}, trashed));
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
TEST_F(UndoStepsTest, ATemporaryFileThatCouldBeEitherOfTwoFilesIsLeftAndNamed) {
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

// The user took the rename back by hand before asking undo to: the file is
// at its old name again, and the name it replaced holds the replaced file
// (restored by hand) or a new one, which the replaced file then never
// replaces: it stays in the trash, and undo says why.
TEST_F(UndoStepsTest, WhatTheUserTookBackByHandIsLeftAsItIs) {
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
TEST_F(UndoStepsTest, UndoSyncsEachFolderItChangedBeforeTheMark) {
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
  ASSERT_TRUE(trash_.MoveToTrash({x.c_str(), {}}, first));
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
  ASSERT_TRUE(trash_.MoveToTrash({x.c_str(), {}}, second));
  EXPECT_EQ(trash_.Find(first.file, tail, first.nativePath, x), "");
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
