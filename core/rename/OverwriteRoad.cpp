#include "core/rename/OverwriteRoad.h"

#include <cerrno>
#include <string>
#include <utility>

#include "core/history/Journal.h"
#include "core/platform/Trash.h"
#include "core/rename/RenameTypes.h"

namespace selvane {
namespace {

// After a failed delete or last move the file lies under the temporary
// name. It goes back to its old name; failing that, to its new one (the
// move never replaces); only if both are refused does it stay, and the
// entry then names that place so the list still finds it.
// The temporary name is ASCII: the same bytes in CP932 and natively.
constexpr PlannedPath Temporary{TemporaryName, TemporaryName};

void ReturnFromTemporary(FileEntry& entry, const RenamePlanRow& names, FileOps& ops,
                         Failure failure, std::vector<Failure>& failures) {
  if (ops.MovePlanned(Temporary, {entry.path, names.native}, nullptr)) {
    failures.push_back(std::move(failure));
    return;
  }
  if (ops.MovePlanned(Temporary, {entry.newPath, names.newNative}, nullptr)) {
    CopyField(entry.path, entry.newPath);
    return;
  }
  std::string where;
  if (!CurrentDirectory(where)) where.clear();
  where += TemporaryName;
  if (where.size() > MaxPathBytes) where = TemporaryName;
  CopyField(entry.path, where);
  failure.where = std::move(where);
  failures.push_back(std::move(failure));
}

}  // namespace

Replacement ReplaceTarget(FileEntry& entry, const RenamePlanRow& names, bool ownName, FileOps& ops,
                          Trash* trash, RenameRowResult* record, int& deleted,
                          std::vector<Failure>& failures, int& error) {
  const PlannedPath newPath{entry.newPath, names.newNative};
  FileResult result = ops.MovePlanned({entry.path, names.native}, Temporary, nullptr);
  if (!result) {
    // Nothing has changed yet, so nothing may be deleted.
    error = result.error;
    failures.push_back(FailureOf(entry, Step::ToTemporary, result.error));
    return Replacement::Failed;
  }
  // A file that met itself in the existence test under another spelling is
  // no longer there: the trash and the delete find nothing, which is no
  // failure.
  TrashedFile trashed;
  bool metItself = ownName, inTrash = false;
  if (trash != nullptr && !metItself) {
    result = trash->MoveToTrash(newPath, trashed);
    inTrash = result.ok();
    metItself = result.error == ENOENT;
  }
  if (!inTrash && !metItself) {
    const FileStatus target = record != nullptr ? ops.StatusPlanned(newPath) : FileStatus{};
    result = ops.DeletePlanned(newPath);
    metItself = result.error == ENOENT;
    if (!result && !metItself) {
      error = result.error;
      ReturnFromTemporary(entry, names, ops, FailureOf(entry, Step::DeleteTarget, result.error),
                          failures);
      return Replacement::Failed;
    }
    if (result) {
      if (trash != nullptr) ++deleted;
      if (record != nullptr) {
        record->replaced = ReplacedFate::Deleted;
        record->Overwritten().trashed.file = target;
      }
    }
  }
  result = ops.MovePlanned(Temporary, newPath, nullptr);
  if (!result) {
    error = result.error;
    ReturnFromTemporary(entry, names, ops, FailureOf(entry, Step::FromTemporary, result.error),
                        failures);
    // Nothing was replaced after all: the agreed file comes back out of the
    // trash when its name is still free.
    if (inTrash && trash->Restore(trashed.nativePath, newPath)) inTrash = false;
  }
  if (inTrash && record != nullptr) {
    record->replaced = ReplacedFate::Trashed;
    record->Overwritten().trashed = std::move(trashed);
  }
  if (!result) return Replacement::Failed;
  return metItself ? Replacement::MetItself : Replacement::Done;
}

}  // namespace selvane
