#pragma once
// A batch as the store gives it back: the plan, and the outcome when the
// batch got as far as recording it.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/history/History.h"

namespace selvane {

struct StoredStep {
  std::string path, newPath;  // CP932
  Identity file;
  Identity target;  // what held newPath just before this step replaced it
  bool hasOldTail = false;
  std::string oldTail;  // 128 bytes
  std::string newEnd;   // tag changes: what the file ends in afterwards
  bool outcomeKnown = false;
  RowOutcome outcome = RowOutcome::NotMoved;
  std::string place;  // CP932; where a failure left the file
  Identity placed;    // the name's identity where the run left it
  ReplacedFate replaced = ReplacedFate::None;
  std::string replacedPath;  // native, in the trash
  Identity replacedFile;
};

struct StoredBatch {
  std::int64_t id = 0;
  BatchKind kind = BatchKind::Rename;
  std::time_t made = 0;
  std::string temporary;  // CP932; empty when none
  bool finished = false;  // the outcome was recorded
  int files = 0;
  std::vector<StoredStep> steps;
};

// Takes the batch back on disk (Undo.cpp).
UndoResult UndoBatch(const StoredBatch& batch, FileOps& ops, Trash& trash);

}  // namespace selvane
