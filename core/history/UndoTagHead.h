#pragma once
// A tag update that wrote the ID3v2 tag at the file's head taken back, byte
// for byte: the old block and trailer written back in place, or the old
// file made anew beside the new one and renamed over it.
#include "core/history/Store.h"
#include "core/history/StoredBatch.h"
#include "core/platform/FileOps.h"

namespace selvane {

// What was left as it is, and why.
struct TagHeadLeft {
  enum class Why { None, Gone, Changed, ReadFailed, WriteFailed } why = Why::None;
  int error = 0;
};

// True when the batch is taken back as far as it ever can be (`left` then
// tells what stays); false when a write failed and it stays to be taken back.
// The program's own new file that a kill left beside the file goes first.
bool UndoTagHead(const StoredBatch& batch, FileOps& ops, TagHeadLeft& left);

// The same for every update of a process that was killed, whichever batch
// is taken back: run where the history is next opened (an update, an undo).
void ClearTagLeftovers(HistoryStore& store, FileOps& ops);

}  // namespace selvane
