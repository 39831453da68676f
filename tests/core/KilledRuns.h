#pragma once
// Rename runs in a child process that may be killed outright (SIGKILL: no
// handler, no cleanup) at one of its questions, and undo afterwards in the
// test's own process, as after a restart.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/RecordingPrompts.h"

namespace selvane {

// Answers Yes, and dies at question `killAt` (counted from 1; 0: never).
class YesUntilKilled : public RecordingPrompts {
 public:
  explicit YesUntilKilled(int killAt) : killAt_(killAt) {}
  bool Ask(std::string_view, std::string_view) override {
    if (++asked_ == killAt_) ::raise(SIGKILL);
    return true;
  }

 private:
  int killAt_, asked_ = 0;
};

using Renames = std::vector<std::pair<std::string, std::string>>;  // path -> new path

// The runs one after another in a child whose current folder is `work`,
// each recorded in the store at `store` and with the trash at `trash`.
inline void RunInChild(const std::vector<Renames>& runs, const std::string& work,
                       const std::string& store, const std::string& trash, FileOps& ops,
                       int killAt) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(work.c_str()) != 0) ::_exit(2);
    YesUntilKilled ui(killAt);
    for (const Renames& run : runs) {
      EntryTable table;
      for (const auto& [path, newPath] : run) {
        table.Append(std::make_unique<FileEntry>());
        CopyField(table[table.entryCount - 1].path, path);
        CopyField(table[table.entryCount - 1].newPath, newPath);
      }
      History history(store);
      FolderTrash folderTrash(trash);
      RunRename(table, ops, ui, {.trash = &folderTrash, .history = &history});
    }
    ::_exit(0);
  }
  ASSERT_GT(child, 0) << "fork failed";
  int status = 0;
  ::waitpid(child, &status, 0);
}

// Undoes batch after batch until none is offered or one is not fully
// taken back; gives what undo told.
inline RecordingPrompts UndoAll(const std::string& store, const std::string& trash) {
  History history(store);
  FolderTrash folderTrash(trash);
  RecordingPrompts ui;
  ui.unscriptedAnswer = true;
  for (int undo = 0; undo < 5 && history.store().MayUndo() && ui.refusals.empty(); ++undo)
    RunUndo(history.store(), SystemFileOps(), folderTrash, ui);
  return ui;
}

}  // namespace selvane
