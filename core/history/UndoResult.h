#pragma once
// What taking back a batch gives: the files it moved, and what it left.
#include <cstddef>
#include <string>
#include <vector>

namespace selvane {

// The CP932 path change of a file that undo moved back, or took back from
// the trash (`from` is then where it lay there), so that a listed row can
// follow it; beside it the same as native paths, which rows are found by.
struct PathChange {
  std::string from, to;
  std::string nativeFrom, nativeTo;
};

// What one batch taken back did.
struct UndoResult {
  std::vector<PathChange> changes;  // in the order the moves happened
  std::string report;  // one message listing what was left as it is; empty when nothing
  std::string status;  // for the status line
  // The steps taken back; the batch counts as undone only when all are.
  std::vector<std::size_t> undoneSteps;
  bool complete = true;
};

}  // namespace selvane
