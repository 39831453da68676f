#pragma once
// One stored batch taken back on disk. It never replaces and never deletes
// a file; what it cannot take back it leaves as it is and lists in the
// result's report.
#include "core/history/StoredBatch.h"
#include "core/history/Undo.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"

namespace selvane {

UndoResult UndoBatch(const StoredBatch& batch, FileOps& ops, Trash& trash);

}  // namespace selvane
