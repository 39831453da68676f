#pragma once
// One stored batch taken back on disk. It never replaces and never deletes
// a file; what it cannot take back it leaves as it is and lists in the
// result's report.
#include <functional>

#include "core/history/StoredBatch.h"
#include "core/history/UndoResult.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"

namespace selvane {

// Writes down a placeholder before it is made (PlaceholderStep::Reserving,
// a CP932 path), so that the next undo can clear it after a kill; a failure
// stops the move that needed it.
using PlaceholderRecord = std::function<FileResult(PlaceholderStep, const char*)>;

// Everything it changed is synced before it returns, so that the caller can
// mark the batch undone.
UndoResult UndoBatch(const StoredBatch& batch, FileOps& ops, Trash& trash,
                     const PlaceholderRecord& record = {});

}  // namespace selvane
