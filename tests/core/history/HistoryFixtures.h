#pragma once
// Two fixtures for the history's tests, each with its own state folder, trash
// and current folder: one that runs renames and tag changes as the window
// does, one that also writes to the store directly and knows files by identity.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Sqlite.h"
#include "core/history/Undo.h"
#include "core/platform/Cp932.h"
#include "core/rename/RenameRun.h"
#include "core/tags/TagWriter.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/PlannedRows.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

inline bool Contains(const std::string& text, const char* utf8) {
  return text.find(Cp932(utf8)) != std::string::npos;
}

inline std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  return names;
}

inline void List(EntryTable& table, const std::string& path, const std::string& newPath = {}) {
  table.Append(std::make_unique<FileEntry>());
  CopyField(table[table.entryCount - 1].path, path);
  CopyField(table[table.entryCount - 1].newPath, newPath);
}

// A trash that takes nothing, as on a file system that has none.
class NoTrash : public FreedesktopTrash {
 public:
  FileResult MoveToTrash(const PlannedPath&, TrashedFile&) override { return FileResult{EXDEV}; }
};

class HistoryFixture : public ::testing::Test {
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

inline Trailer Titled(std::string_view title) {
  TagValues values;
  values.title = title;
  return BuildTrailer(values, 0);
}

const std::string Song = std::string("ID3\0body", 8) + std::string(200, 'x') + "TAG-tail";

inline Identity Known(const std::string& path, bool withTail) {
  const FileStatus status = NativeStatus(path);
  Identity identity{true, status.nameDevice, status.nameInode, status.length, status.modified, {}};
  if (withTail) identity.tail = ReadBytes(path).substr(Song.size() - TrailerSize);
  return identity;
}

// The file at `path` becomes a copy of itself under a new inode, as a
// remount of a FUSE medium or a copy to another file system shows it.
inline void Recopy(const std::string& path, const std::string& bytes,
                   std::int64_t shiftNanoseconds) {
  const FileStatus before = NativeStatus(path);
  WriteBytes(path + ".copy", bytes);
  const std::int64_t at = before.modified + shiftNanoseconds;
  const timespec times[2] = {{0, UTIME_OMIT}, {at / 1000000000, at % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (path + ".copy").c_str(), times, 0), 0);
  ASSERT_EQ(::rename((path + ".copy").c_str(), path.c_str()), 0);
}

class UndoFixture : public ::testing::Test {
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

}  // namespace
}  // namespace selvane
