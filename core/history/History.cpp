#include "core/history/History.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/history/HistoryTexts.h"
#include "core/platform/Cp932.h"

namespace selvane {
namespace {

Identity NameIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.nameDevice, status.nameInode, status.length};
}

Identity FileIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.device, status.inode, status.length};
}

// A relative path would be read against whatever folder is current when
// undo runs; the one the run meant is the current one now.
std::string NativeAbsolute(std::string_view cp932) {
  std::string native;
  if (!Cp932PathToNative(cp932, native) || native.empty()) return {};
  if (native.front() == '/') return native;
  std::string folder, nativeFolder;
  if (!CurrentDirectory(folder) || !Cp932PathToNative(folder, nativeFolder)) return {};
  return nativeFolder + native;
}

// Where the run left a row's file, as the store keeps it.
StepOutcome OutcomeOf(std::size_t seq, const PlannedStep& planned, const RenamePlanRow& row,
                      const RenameRowResult& r, FileOps& ops) {
  StepOutcome o;
  o.seq = seq;
  o.outcome = r.outcome;
  o.place = NativeAbsolute(r.where);
  // A move within one folder keeps the file's identity as planned; a move
  // into another folder may cross file systems and give the file a new
  // inode: take it where the file is now.
  if (r.outcome == RowOutcome::Moved && r.where.empty() && planned.file.known &&
      ParentFolder(planned.path) == ParentFolder(planned.newPath)) {
    o.placed = {true, planned.file.device, planned.file.inode, 0};
  } else if (r.outcome == RowOutcome::Moved || !r.where.empty()) {
    const std::string now = r.where.empty() ? std::string(row.newPath) : r.where;
    o.placed = NameIdentity(ops.Status(now.c_str()));
  }
  o.replaced = r.replaced;
  if (r.replaced == ReplacedFate::Trashed) o.replacedPath = r.trashed.nativePath;
  o.replacedFile = NameIdentity(r.trashed.file);
  return o;
}

}  // namespace

History::History(std::string storePath) : store_(std::move(storePath)) {}

RecordResult History::BeginRename(std::span<const RenamePlanRow> rows,
                                  std::string_view temporaryPath) {
  openBatch_ = 0;
  openRows_.clear();
  if (rows.empty()) return RecordResult{true, {}, {}};

  // Native forms first, outside the transaction. A row whose names have
  // none cannot move; it keeps its place with an unknown identity.
  std::vector<PlannedStep> native(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    PlannedStep& n = native[i];
    if (!Cp932PathToNative(rows[i].path, n.path) ||
        !Cp932PathToNative(rows[i].newPath, n.newPath)) {
      n.path.clear();
      n.newPath.clear();
      continue;
    }
    n.file = NameIdentity(rows[i].file);
    n.target = NameIdentity(rows[i].target);
  }
  const HistoryStore::Written written = store_.AddRename(native, NativeAbsolute(temporaryPath));
  const RecordResult result = RecordResultOf(written, store_.path());
  if (result.recorded) {
    openBatch_ = written.batch;
    openRows_ = std::move(native);
  }
  return result;
}

// Should this fail, the outcome still says where the file went; only a
// crash would lose that.
void History::RecordReplacing(std::size_t row, const FileStatus& target) {
  store_.SetTarget(openBatch_, row, NameIdentity(target));
}

void History::FinishRename(std::span<const RenamePlanRow> rows,
                           std::span<const RenameRowResult> results, FileOps& ops) {
  const std::int64_t id = std::exchange(openBatch_, 0);
  const std::vector<PlannedStep> planned = std::exchange(openRows_, {});
  if (id == 0) return;
  std::vector<StepOutcome> outcomes;
  int changed = 0;
  const std::size_t count = std::min({results.size(), rows.size(), planned.size()});
  for (std::size_t i = 0; i < count; ++i) {
    const RenameRowResult& r = results[i];
    // Rows left as they were need no word: a finished batch reads an
    // unknown outcome as "not moved".
    if (r.outcome == RowOutcome::NotMoved && r.where.empty() && r.replaced == ReplacedFate::None)
      continue;
    // A failure that left the file where it was changed nothing.
    if (r.outcome == RowOutcome::Moved || !r.where.empty() || r.replaced != ReplacedFate::None)
      ++changed;
    outcomes.push_back(OutcomeOf(i, planned[i], rows[i], r, ops));
  }
  // Whatever fails there leaves the batch as planned; undo then looks at
  // the disk instead of at the outcome.
  store_.FinishRename(id, outcomes, changed);
}

RecordResult History::BeginTagChange(const TagChangePlan& plan) {
  openBatch_ = 0;
  openRows_.clear();
  PlannedStep step;
  if (!Cp932PathToNative(plan.path, step.path)) return RecordResult{false, {}, UnnamablePath()};
  step.file = FileIdentity(plan.file);
  std::optional<std::string_view> oldTail;
  if (plan.hadTrailer)
    oldTail = std::string_view(reinterpret_cast<const char*>(plan.oldTail.data()), TrailerSize);
  const HistoryStore::Written written = store_.AddTagChange(
      plan.removes ? BatchKind::TagRemoval : BatchKind::TagUpdate, step, oldTail, plan.newEnd);
  if (written.status.ok()) openBatch_ = written.batch;
  return RecordResultOf(written, store_.path());
}

void History::FinishTagChange(bool done) {
  const std::int64_t id = std::exchange(openBatch_, 0);
  if (done)
    store_.MarkFinished(id);
  else
    store_.Drop(id);
}

}  // namespace selvane
