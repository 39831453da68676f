// Undo on real media: an exFAT medium through FUSE (new inode numbers at
// every mount), replugged, unplugged, its trash emptied, a run killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Undo.h"
#include "core/platform/Cp932.h"
#include "core/platform/Trash.h"
#include "core/platform/Volume.h"
#include "core/rename/RenameRun.h"
#include "tests/core/PlannedRows.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/media/MediaEnv.h"

namespace selvane {
namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Song(char mark) {
  return std::string("ID3") + std::string(500, mark) + "TAG" + std::string(125, mark);
}

bool Contains(const std::string& text, const char* utf8) {
  return text.find(Cp932(utf8)) != std::string::npos;
}

class UndoMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    exfat_ = Env("SELVANE_MEDIA_EXFAT");
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    folder_ = exfat_ + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder_);
    std::filesystem::remove_all(exfat_ + "/.Trash-0");
  }

  std::string At(const std::string& name) const { return folder_ + "/" + name; }
  void Rename(History& history, const std::vector<std::pair<std::string, std::string>>& rows) {
    EntryTable table;
    for (const auto& [from, to] : rows) {
      table.Append(std::make_unique<FileEntry>());
      CopyField(table[table.entryCount - 1].path, from);
      CopyField(table[table.entryCount - 1].newPath, to);
    }
    RecordingPrompts ui;
    ui.unscriptedAnswer = true;
    RunRename(table, ops_, ui, {.trash = &trash_, .history = &history});
    EXPECT_TRUE(ui.refusals.empty()) << ui.refusals[0].text;
  }
  RecordingPrompts Undo() {
    History history;
    RecordingPrompts ui;
    ui.answers.push_back(true);
    RunUndo(history.store(), ops_, trash_, ui);
    return ui;
  }
  bool MayUndo() {
    History history;
    return history.store().MayUndo();
  }
  std::vector<RenamePlanRow> Plan(const std::vector<std::pair<std::string, std::string>>& rows) {
    return PlannedRows(ops_, natives_, rows);
  }
  // Replugs the medium at `to` (its own place when empty); the test's
  // folder follows.
  void Replug(const std::string& to) {
    const std::string from = Mounted();
    ASSERT_EQ(Shell(Env("SELVANE_MEDIA_REPLUG") + " " + from + " " + to), 0);
    folder_ = to + folder_.substr(from.size());
  }
  std::string Mounted() const { return folder_.substr(0, folder_.rfind('/')); }

  std::string exfat_, folder_;
  TempFolder state_, data_;
  FreedesktopTrash trash_;
  FileOps& ops_ = SystemFileOps();
  NativePaths natives_;  // the plans' native names
};

// The temporary file lies in the working folder, on another file system:
// the file crosses twice and comes back under a new inode each time.
TEST_F(UndoMedia, AnOverwriteWithTheWorkingFolderElsewhereIsTakenBack) {
  CurrentDirectoryGuard elsewhere(Env("SELVANE_MEDIA_TMPFS"));
  const std::string a = At("a.mp3"), b = At("b.mp3");
  WriteBytes(a, Song('a'));
  WriteBytes(b, Song('b'));
  History history;
  Rename(history, {{a, b}});
  ASSERT_EQ(ReadBytes(b), Song('a'));
  const RecordingPrompts undo = Undo();
  EXPECT_TRUE(undo.refusals.empty()) << undo.refusals[0].text;
  EXPECT_EQ(ReadBytes(a), Song('a'));
  EXPECT_EQ(ReadBytes(b), Song('b'));
  EXPECT_FALSE(MayUndo());
}

// Killed after three of forty moves, then replugged elsewhere: the three
// come back, the rest are known where they stayed, by their last bytes.
TEST_F(UndoMedia, AKilledRunIsTakenBackAfterAReplugElsewhere) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < 40; ++i) {
    rows.emplace_back(At("f" + std::to_string(i) + ".mp3"), At("g" + std::to_string(i) + ".mp3"));
    WriteBytes(rows.back().first, Song(static_cast<char>('A' + i)));
  }
  {
    History killed;
    ASSERT_TRUE(killed.BeginRename(Plan(rows), TemporaryName).recorded);
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(ops_.Move(rows[i].first.c_str(), rows[i].second.c_str()));
  }
  const std::string home = Mounted();
  Replug(Env("SELVANE_MEDIA_WORK") + "/exfat-undo");
  const RecordingPrompts undo = Undo();
  EXPECT_TRUE(undo.refusals.empty()) << undo.refusals[0].text;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f" + std::to_string(i) + ".mp3";
    EXPECT_EQ(ReadBytes(At(name)), Song(static_cast<char>('A' + i))) << name;
  }
  EXPECT_FALSE(MayUndo());
  Replug(home);
}

// A tag removal, the medium replugged elsewhere: the file has another inode
// number there and is known by the end the removal left.
TEST_F(UndoMedia, ATagRemovalIsTakenBackAfterAReplugElsewhere) {
  const std::string a = At("a.mp3");
  WriteBytes(a, Song('a'));
  FileEntry entry{};
  CopyField(entry.path, a);
  {
    History history;
    RecordingPrompts ui;
    ASSERT_TRUE(RemoveTagRecorded(entry, ops_, history, ui));
  }
  const std::string home = Mounted();
  Replug(Env("SELVANE_MEDIA_WORK") + "/exfat-undo");
  const RecordingPrompts undo = Undo();
  EXPECT_TRUE(undo.refusals.empty()) << undo.refusals[0].text;
  EXPECT_EQ(ReadBytes(At("a.mp3")), Song('a'));
  EXPECT_FALSE(MayUndo());
  Replug(home);
}

TEST_F(UndoMedia, AnUnpluggedMediumIsNamedAndTheChangeWaitsForIt) {
  const std::string x = At("x.mp3"), y = At("y.mp3");
  WriteBytes(x, Song('x'));
  History history;
  Rename(history, {{x, y}});
  MountTable mounts = MountTable::Read();
  const std::string device = mounts.VolumeOf(exfat_)->source;
  ASSERT_EQ(Shell(Env("SELVANE_MEDIA_REPLUG") + " --unplug " + exfat_), 0);

  const RecordingPrompts away = Undo();
  ASSERT_EQ(away.refusals.size(), 1u);
  EXPECT_TRUE(Contains(away.refusals[0].text, "SELVEX"));
  EXPECT_NE(away.refusals[0].text.find(exfat_), std::string::npos);
  EXPECT_TRUE(MayUndo());

  ASSERT_EQ(Shell(Env("SELVANE_MEDIA_REPLUG") + " --plug " + device + " " + exfat_), 0);
  const RecordingPrompts back = Undo();
  EXPECT_TRUE(back.refusals.empty()) << back.refusals[0].text;
  EXPECT_EQ(ReadBytes(x), Song('x'));
  EXPECT_FALSE(MayUndo());
}

// The trash emptied, then another file of that name and length trashed:
// it is not the replaced file and stays where it is.
TEST_F(UndoMedia, AnotherFileInAnEmptiedTrashIsNotTakenBack) {
  const std::string a = At("a.mp3"), b = At("b.mp3"), kept = At("kept.mp3");
  WriteBytes(a, Song('a'));
  WriteBytes(b, Song('b'));
  History history;
  Rename(history, {{a, b}});
  std::filesystem::remove_all(exfat_ + "/.Trash-0/files");
  std::filesystem::remove_all(exfat_ + "/.Trash-0/info");
  ASSERT_TRUE(ops_.Move(b.c_str(), kept.c_str()));
  WriteBytes(b, Song('n'));
  TrashedFile newcomer;
  ASSERT_TRUE(trash_.MoveToTrash({b.c_str(), {}}, newcomer));
  ASSERT_TRUE(ops_.Move(kept.c_str(), b.c_str()));

  const RecordingPrompts undo = Undo();
  ASSERT_EQ(undo.refusals.size(), 1u);
  EXPECT_TRUE(Contains(undo.refusals[0].text, "ゴミ箱に見つかりません"));
  EXPECT_EQ(ReadBytes(a), Song('a'));
  EXPECT_FALSE(PathExists(b));
  EXPECT_EQ(ReadBytes(newcomer.nativePath), Song('n'));
}

// A kill between the placeholder and the rename: the empty file under the
// replaced file's name, or as the temporary file, is cleared and taken for
// nothing.
TEST_F(UndoMedia, AKillBetweenPlaceholderAndRenameIsTakenBack) {
  struct Case {
    const char* name;
    bool intoTemporary;  // killed on the way into the temporary name
  };
  for (const Case c :
       {Case{"under the replaced file's name", false}, Case{"as the temporary file", true}}) {
    SCOPED_TRACE(c.name);
    TempFolder state;  // a history of this case's own
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    CurrentDirectoryGuard here(folder_);
    const std::string a = At("a.mp3"), b = At("b.mp3"), temporary = At(TemporaryName);
    WriteBytes(a, Song('a'));
    WriteBytes(b, Song('b'));
    {
      History killed;
      ASSERT_TRUE(killed.BeginRename(Plan({{a, b}}), TemporaryName).recorded);
      if (c.intoTemporary) {
        ASSERT_TRUE(killed.RecordPlaceholder(PlaceholderStep::Reserving, TemporaryName));
        WriteBytes(temporary, "");
      } else {
        killed.RecordReplacing(0, {b.c_str(), {}}, ops_.Status(b.c_str()));
        ASSERT_TRUE(ops_.Move(a.c_str(), TemporaryName));
        TrashedFile trashed;
        ASSERT_TRUE(trash_.MoveToTrash({b.c_str(), {}}, trashed));
        ASSERT_TRUE(killed.RecordPlaceholder(PlaceholderStep::Reserving, b.c_str()));
        WriteBytes(b, "");
      }
    }
    const RecordingPrompts undo = Undo();
    EXPECT_TRUE(undo.refusals.empty()) << undo.refusals[0].text;
    EXPECT_EQ(ReadBytes(a), Song('a'));
    EXPECT_EQ(ReadBytes(b), Song('b'));
    EXPECT_FALSE(PathExists(temporary));
    EXPECT_FALSE(MayUndo());
    // A later overwrite finds the temporary name free.
    History later;
    Rename(later, {{a, b}});
    EXPECT_EQ(ReadBytes(b), Song('a'));
    std::filesystem::remove(b);
  }
}

// Killed as undo's placeholder is made, before the rename over it: the
// record is written, the empty file lies under the name. The move tells the
// record; the trash tells none (undo writes its name down first).
void KilledAtPlaceholder(const char* path) {
  WriteBytes(path, "");
  ::raise(SIGKILL);
}
class KilledOps : public ForwardingFileOps {
 public:
  using ForwardingFileOps::ForwardingFileOps;
  std::function<FileResult(PlaceholderStep, const char*)> SetPlaceholderRecord(
      std::function<FileResult(PlaceholderStep, const char*)> record) override {
    if (!record) return inner_.SetPlaceholderRecord(std::move(record));
    return inner_.SetPlaceholderRecord([record](PlaceholderStep step, const char* path) {
      const FileResult told = record(step, path);
      if (told) KilledAtPlaceholder(path);
      return told;
    });
  }
};
class KilledTrash : public FreedesktopTrash {
 public:
  FileResult Restore(const std::string&, const PlannedPath& path) override {
    KilledAtPlaceholder(path.cp932);
    return {};
  }
};

// An undo killed between its placeholder and its rename, moving a file back
// or taking the replaced file back from the trash: the next undo clears the
// placeholder and finishes.
TEST_F(UndoMedia, AnUndoKilledBetweenPlaceholderAndRenameIsFinishedByTheNext) {
  for (const bool atRestore : {false, true}) {
    SCOPED_TRACE(atRestore ? "taking back from the trash" : "moving a file back");
    TempFolder state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const std::string a = At("a.mp3"), b = At("b.mp3"), c = At("c.mp3"), d = At("d.mp3");
    const auto song = [](const std::string& path) { return Song(path[path.size() - 5]); };
    for (const std::string& path : {a, b, c}) WriteBytes(path, song(path));
    Rename(*std::make_unique<History>(), {{a, b}, {c, d}});
    if (const pid_t child = ::fork(); child == 0) {
      History history;
      RecordingPrompts ui;
      ui.unscriptedAnswer = true;
      KilledOps killedOps(ops_);
      KilledTrash killedTrash;
      RunUndo(history.store(), atRestore ? ops_ : killedOps,
              atRestore ? static_cast<Trash&>(killedTrash) : trash_, ui);
      ::_exit(0);
    } else {
      ::waitpid(child, nullptr, 0);
    }
    ASSERT_EQ(ReadBytes(atRestore ? b : c), "") << "the kill left its placeholder";
    const RecordingPrompts undo = Undo();
    EXPECT_TRUE(undo.refusals.empty()) << undo.refusals[0].text;
    for (const std::string& path : {a, b, c}) EXPECT_EQ(ReadBytes(path), song(path));
    EXPECT_FALSE(MayUndo());
    std::filesystem::remove_all(exfat_ + "/.Trash-0");
  }
}

// On a medium that waits for each call the run looks at where its files lie
// many at a time, around a row that asks first: each step records its own
// file (the files differ in length).
TEST_F(UndoMedia, EachMovedFileIsRecordedWhereItLies) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < 9; ++i) {
    rows.emplace_back(At("f" + std::to_string(i)), At("g" + std::to_string(i)));
    WriteBytes(rows.back().first, std::string(static_cast<std::size_t>(200 + i), 'a'));
  }
  WriteBytes(rows[4].second, "taken");
  History history;
  Rename(history, rows);
  StoredBatch batch;
  sql::Status status;
  std::string aside;
  ASSERT_EQ(history.store().LoadNewest(batch, status, aside), HistoryStore::Loaded::Ready);
  ASSERT_EQ(batch.steps.size(), rows.size());
  for (const StoredStep& step : batch.steps) {
    SCOPED_TRACE(step.nativeNewPath);
    EXPECT_EQ(step.outcome, RowOutcome::Moved);
    EXPECT_EQ(step.placed.length, std::filesystem::file_size(step.nativeNewPath));
    const std::string bytes = ReadBytes(step.nativeNewPath);
    EXPECT_EQ(step.placed.tail, bytes.substr(bytes.size() - TrailerSize));
  }
}

// A power cut right after undo returns, on ext4 (its journal cut without a
// flush): the old name and the old tag are on disk, as the history says.
TEST_F(UndoMedia, WhatUndoTookBackOutlivesAPowerCut) {
  const std::string image = Env("SELVANE_MEDIA_WORK") + "/ext4.img";
  std::filesystem::remove(folder_);
  folder_ = Env("SELVANE_MEDIA_WORK") + "/ext4/music";
  const std::string mount = "mount -o loop " + image + " " + Mounted();
  ASSERT_EQ(
      Shell("mkdir -p " + folder_ + " && truncate -s 32M " + image + " && mkfs.ext4 -qF " + image),
      0);
  const std::string a = At("a.mp3"), b = At("b.mp3");
  for (const bool tags : {false, true}) {
    SCOPED_TRACE(tags ? "tag removal" : "rename");
    ASSERT_EQ(Shell(mount + " && mkdir -p " + folder_), 0);
    WriteBytes(a, Song('a'));
    History history;
    FileEntry entry{};
    CopyField(entry.path, a);
    RecordingPrompts ui;
    if (tags)
      ASSERT_TRUE(RemoveTagRecorded(entry, ops_, history, ui));
    else
      Rename(history, {{a, b}});
    const int top = ::open(Mounted().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::syncfs(top), 0);
    Undo();
    std::uint32_t noLogFlush = 2;  // EXT4_IOC_SHUTDOWN, EXT4_GOING_FLAGS_NOLOGFLUSH
    ASSERT_EQ(::ioctl(top, _IOR('X', 125, std::uint32_t), &noLogFlush), 0);
    ::close(top);
    ASSERT_EQ(Shell("umount " + Mounted() + " && " + mount), 0);
    EXPECT_EQ(ReadBytes(a), Song('a'));
    EXPECT_FALSE(PathExists(b));
    EXPECT_FALSE(MayUndo());
    ASSERT_EQ(Shell("umount " + Mounted()), 0);
  }
}

}  // namespace
}  // namespace selvane
