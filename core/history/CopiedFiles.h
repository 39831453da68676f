#pragma once
// A copy to another file system gives a file a new inode. Before the run
// makes one, the rename batches still to be taken back that know the file
// by its device and inode alone learn its length, modification time and
// last bytes, by which undo finds the copy.
#include <cstdint>
#include <span>

#include "core/history/Sqlite.h"
#include "core/history/StoredBatch.h"

namespace selvane {

// `files` are about to be copied (those without last bytes are passed
// over); `batch`, the one copying them, learns nothing here. Runs inside
// the caller's transaction.
sql::Status KnowByContent(sql::Database& db, std::int64_t batch, std::span<const Identity> files);

}  // namespace selvane
