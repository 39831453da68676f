#pragma once
// 元に戻す: takes back the newest batch of the history that is not yet
// undone. It never replaces and never deletes a file; what it cannot take
// back it leaves as it is and lists in one message.
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/history/Store.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"
#include "core/platform/Volume.h"

namespace selvane {

// The CP932 path change of a file that undo moved back, or took back from
// the trash (`from` is then where it lay there), so that a listed row can
// follow it; beside it the same as native paths, which rows are found by.
struct PathChange {
  std::string from, to;
  std::string nativeFrom, nativeTo;
};

// The batch that 元に戻す would take back, or why there is none.
struct UndoOffer {
  // Away: the medium of the batch is not connected; Busy: another window
  // is still running the batch, or taking it back. Both leave it to be
  // taken back later.
  enum class State { Nothing, Ready, Broken, Unreadable, Away, Busy };
  State state = State::Nothing;
  std::int64_t batch = 0;
  std::string question;  // Ready: the Yes/No question (CP932)
  std::string message;   // Broken, Unreadable, Away, Busy: what to tell (CP932)
};

struct UndoResult {
  std::vector<PathChange> changes;  // in the order the moves happened
  std::string report;  // one message listing what was left as it is; empty when nothing
  std::string status;  // for the status line
  // The steps taken back; the batch counts as undone only when all are.
  std::vector<std::size_t> undoneSteps;
  bool complete = true;
};

class UndoHistory {
 public:
  explicit UndoHistory(HistoryStore& store);
  ~UndoHistory();
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  // Opens the store (putting a broken one aside) and names the newest
  // batch not yet undone. A Ready offer owns the batch until it is taken
  // back or this is destroyed, so that no other window is offered it.
  UndoOffer OfferUndo();
  // Takes back the batch of a Ready offer, syncs what it changed, and only
  // then marks it undone.
  UndoResult Undo(const UndoOffer& offer, FileOps& ops, Trash& trash);

 private:
  HistoryStore& store_;
  std::unique_ptr<StoredBatch> offered_;
};

// What the command did: whether a batch was taken back (the lists then need
// their tags and names read again), and the path changes of the files it
// moved back, for FollowPathChanges.
struct UndoRun {
  bool undone = false;
  std::vector<PathChange> changes;
};

// The whole command short of redrawing: the question, the undo, the one
// message and the status line.
UndoRun RunUndo(HistoryStore& store, FileOps& ops, Trash& trash, UserPrompts& ui);

// Listed rows follow their files: an entry whose path names a file that
// undo moved gets the file's new path (each entry at most once).
void FollowPathChanges(EntryTable& table, std::span<const PathChange> changes);

// The question for a batch, e.g. "12月9日 10:31 のリネーム（60 ファイル）を
// 元に戻しますか？" (local time; the year too when it is not this one); after
// an undo cut short, "（残り 12 ファイル）" names what is left.
std::string UndoQuestion(BatchKind kind, std::time_t made, int files, std::time_t now,
                         int left = -1);

// Follows the batch's medium to where it is mounted now (its paths
// re-based there, its device numbers mapped). False when the medium is
// not connected.
bool FollowMedium(StoredBatch& batch, MountTable& mounts);

}  // namespace selvane
