#pragma once
// The road a file takes after "Yes" to the overwrite question.
#include <vector>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/rename/RenameTexts.h"

namespace selvane {

struct RenamePlanRow;
struct RenameRowResult;
class Trash;

enum class Replacement { Failed, Done, MetItself };

// Out of the way under the temporary name, the agreed file into the trash
// (deleted only when no trash takes it), then into its place. A file whose
// new name is its own name has nothing to replace once it is away: it goes
// straight back. `record` (when the run is recorded) learns what became of
// the agreed file; `deleted` counts the deletions that a trash would have
// spared; a failure is added to `failures` with its errno in `error`.
// `names` holds the row's native names as the run made them.
Replacement ReplaceTarget(FileEntry& entry, const RenamePlanRow& names, bool ownName, FileOps& ops,
                          Trash* trash, RenameRowResult* record, int& deleted,
                          std::vector<Failure>& failures, int& error);

}  // namespace selvane
