#pragma once
// 元に戻す: takes back the newest batch of the history that is not yet
// undone. It never replaces and never deletes a file; what it cannot take
// back it leaves as it is and lists in one message.
#include <span>
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"

namespace selvane {

// What the command did: whether a batch was taken back (the lists then need
// their tags and names read again), and the path changes of the files it
// moved back, for FollowPathChanges.
struct UndoRun {
  bool undone = false;
  std::vector<PathChange> changes;
};

// The whole command short of redrawing: the question, the undo, the one
// message and the status line.
UndoRun RunUndo(History& history, FileOps& ops, Trash& trash, UserPrompts& ui);

// Listed rows follow their files: an entry whose path names a file that
// undo moved gets the file's new path (each entry at most once).
void FollowPathChanges(EntryTable& table, std::span<const PathChange> changes);

}  // namespace selvane
