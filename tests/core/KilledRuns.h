#pragma once
// Where a killed rename run keeps what it needs besides the music; runs in
// a child process killed outright (SIGKILL: no handler, no cleanup) at one
// of its questions; undo afterwards in the test's own process, as after a
// restart.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {

// The current folder (the temporary name lies there), the history and the trash.
struct Places {
  Places() {
    std::filesystem::create_directory(trash / "files");
    std::filesystem::create_directory(trash / "info");
  }
  TempFolder work, state, trash;
  std::string Store() const { return state / "history.sqlite3"; }
};

using Renames = std::vector<std::pair<std::string, std::string>>;  // name -> new name

// The runs one after another in a child, recorded and with the trash, the
// names made paths by `path`; every question is answered Yes, but at
// question `killAt` (from 1; 0: none) the child dies.
inline void RunInChild(const std::vector<Renames>& runs,
                       const std::function<std::string(const std::string&)>& path,
                       const Places& places, FileOps& ops, int killAt) {
  struct YesUntilKilled : RecordingPrompts {
    int killAt = 0, asked = 0;
    bool Ask(std::string_view, std::string_view) override {
      if (++asked == killAt) ::raise(SIGKILL);
      return true;
    }
  } ui;
  ui.killAt = killAt;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(places.work.path().c_str()) != 0) ::_exit(2);
    for (const Renames& run : runs) {
      EntryTable table;
      for (const auto& [from, to] : run) {
        table.Append(std::make_unique<FileEntry>());
        CopyField(table[table.entryCount - 1].path, path(from));
        CopyField(table[table.entryCount - 1].newPath, path(to));
      }
      History history(places.Store());
      FolderTrash trash(places.trash.path());
      RunRename(table, ops, ui, {.trash = &trash, .history = &history});
    }
    ::_exit(0);
  }
  ASSERT_GT(child, 0) << "fork failed";
  ::waitpid(child, nullptr, 0);
}

// Files named `names` (".mp3" added) in `folder`, each with bytes of its own.
inline std::vector<std::pair<std::string, std::string>> WriteSongs(
    const TempFolder& folder, const std::vector<std::string>& names) {
  std::vector<std::pair<std::string, std::string>> songs;
  for (const std::string& name : names) {
    const std::string bytes = "bytes of " + name + std::string(300, '.');
    songs.emplace_back(folder.Write(name + ".mp3", bytes), bytes);
  }
  return songs;
}

// Undoes batch after batch until none is offered: every file is back with
// its bytes, nothing was left, the trash is empty.
inline void ExpectEveryFileBack(const std::vector<std::pair<std::string, std::string>>& songs,
                                const Places& places) {
  History history(places.Store());
  FolderTrash trash(places.trash.path());
  RecordingPrompts ui;
  ui.unscriptedAnswer = true;
  for (int undo = 0; undo < 5 && history.store().MayUndo() && ui.refusals.empty(); ++undo)
    RunUndo(history.store(), SystemFileOps(), trash, ui);
  EXPECT_TRUE(ui.refusals.empty()) << ui.refusals[0].text;
  for (const auto& [path, bytes] : songs) EXPECT_EQ(ReadBytes(path), bytes) << path;
  EXPECT_TRUE(std::filesystem::is_empty(places.trash / "files"));
}

}  // namespace selvane
