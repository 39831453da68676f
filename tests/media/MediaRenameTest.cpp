// The rename and its undo on real media, with the folders asked as the
// program asks them: exFAT ignores letter case, ntfs-3g and tmpfs do not;
// exFAT and NTFS refuse the names Windows keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/platform/Trash.h"
#include "core/rename/RenameRun.h"
#include "tests/core/KilledRuns.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/media/MediaEnv.h"

namespace selvane {
namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A trash that takes nothing; nothing here is replaced.
class NoTrash : public FreedesktopTrash {
 public:
  FileResult MoveToTrash(const PlannedPath&, TrashedFile&) override { return FileResult{EXDEV}; }
};

struct Row {
  const char* medium;  // the variable media_bench.sh sets
  std::vector<std::string> files;
  const char* goneBeforeRun;  // listed, then deleted after the refresh
  std::vector<std::pair<std::string, std::string>> rows;
  bool answer;
  std::vector<Outlook> outlooks;
  std::vector<std::string> after, afterUndo;
};

TEST(MediaRename, NamesAreComparedAndJudgedAsEachFolderDoes) {
  const char *exfat = "SELVANE_MEDIA_EXFAT", *ntfs = "SELVANE_MEDIA_NTFS",
             *tmpfs = "SELVANE_MEDIA_TMPFS";
  const Outlook moves = Outlook::Moves, refused = Outlook::Refused;
  const Row rows[] = {
      // Two new names differing only in case: one name on exFAT.
      {exfat,
       {"a.mp3", "b.mp3"},
       nullptr,
       {{"a.mp3", "Song.mp3"}, {"b.mp3", "SONG.mp3"}},
       false,
       {moves, Outlook::AsksEarlierRow},
       {"Song.mp3", "b.mp3"},
       {"a.mp3", "b.mp3"}},
      {ntfs,
       {"a.mp3", "b.mp3"},
       nullptr,
       {{"a.mp3", "Song.mp3"}, {"b.mp3", "SONG.mp3"}},
       false,
       {moves, moves},
       {"SONG.mp3", "Song.mp3"},
       {"a.mp3", "b.mp3"}},
      // A change of case alone: the file's own name on exFAT, asked and taken.
      {exfat,
       {"song.mp3"},
       nullptr,
       {{"song.mp3", "Song.mp3"}},
       true,
       {Outlook::MeetsItself},
       {"Song.mp3"},
       {"song.mp3"}},
      {ntfs,
       {"song.mp3"},
       nullptr,
       {{"song.mp3", "Song.mp3"}},
       true,
       {moves},
       {"Song.mp3"},
       {"song.mp3"}},
      // A file deleted after the refresh: its row reaches nothing else.
      {exfat,
       {"a.mp3", "b.mp3"},
       "b.mp3",
       {{"a.mp3", "B.mp3"}, {"b.mp3", "c.mp3"}},
       false,
       {moves, Outlook::CannotMove},
       {"B.mp3"},
       {"a.mp3"}},
      // Names Windows keeps, refused where Windows reads the medium.
      {exfat,
       {"a.mp3", "b.mp3"},
       nullptr,
       {{"a.mp3", "CON.mp3"}, {"b.mp3", "b."}},
       false,
       {refused, refused},
       {"a.mp3", "b.mp3"},
       {"a.mp3", "b.mp3"}},
      {ntfs, {"a.mp3"}, nullptr, {{"a.mp3", "aux"}}, false, {refused}, {"a.mp3"}, {"a.mp3"}},
      {tmpfs, {"a.mp3"}, nullptr, {{"a.mp3", "CON.mp3"}}, false, {moves}, {"CON.mp3"}, {"a.mp3"}},
  };
  for (const Row& row : rows) {
    TempFolder state(Env(tmpfs)), folder(Env(row.medium));
    SCOPED_TRACE(std::string(row.medium) + " " + row.rows[0].second);
    for (const std::string& name : row.files) folder.Write(name, name);
    EntryTable table;
    for (const auto& [from, to] : row.rows) {
      table.Append(std::make_unique<FileEntry>());
      CopyField(table[table.entryCount - 1].path, folder / from);
      CopyField(table[table.entryCount - 1].newPath, folder / to);
    }
    RealDisk disk(SystemFileOps());
    const std::vector<FileStatus> refreshed = Origins(table, disk);
    if (row.goneBeforeRun != nullptr) std::remove((folder / row.goneBeforeRun).c_str());

    std::vector<Outlook> outlooks;
    for (const RowOutlook& outlook : ForecastRename(table, SystemFileOps(), &refreshed))
      outlooks.push_back(outlook.outlook);
    EXPECT_EQ(outlooks, row.outlooks);

    History history(state / "history.sqlite3");
    RecordingPrompts ui;
    ui.unscriptedAnswer = row.answer;
    RunRename(table, SystemFileOps(), ui, {.origins = &refreshed, .history = &history});
    EXPECT_EQ(Names(folder.path()), row.after);

    NoTrash trash;
    ui.unscriptedAnswer = true;
    if (history.store().MayUndo()) RunUndo(history.store(), SystemFileOps(), trash, ui);
    EXPECT_EQ(Names(folder.path()), row.afterUndo);
  }
}

// A move into a subfolder on another file system copies the file, which
// gets a new inode there, and undo's move back copies it again: undo in a
// new process still knows it, after a kill just past the copy and after a
// later run's copy.
TEST(MediaRename, FilesMovedToAnotherFileSystemAreTakenBack) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<Renames> runs;  // "other/": the subfolder on tmpfs
    int killAt;
  };
  const Case cases[] = {
      {"killed at the question after the copy",
       {"f1", "f2", "x2"},
       {{{"f1", "other/y1"}, {"f2", "x2"}}},
       1},
      {"carried on by a later run", {"f1"}, {{{"f1", "x1"}}, {{"x1", "other/y1"}}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder music, other(Env("SELVANE_MEDIA_TMPFS"));
    Places places;
    std::filesystem::create_directory_symlink(other.path(), music / "other");
    const auto songs = WriteSongs(music, c.files);
    RunInChild(
        c.runs, [&](const std::string& name) { return music / (name + ".mp3"); }, places,
        SystemFileOps(), c.killAt);
    ExpectEveryFileBack(songs, places);
    EXPECT_TRUE(Names(other.path()).empty());
  }
}

}  // namespace
}  // namespace selvane
