#include "core/history/History.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "core/history/HistoryTexts.h"
#include "core/history/StoreTagHead.h"
#include "core/history/UndoTagHead.h"
#include "core/platform/Cp932.h"
#include "core/platform/EndsReadAhead.h"
#include "core/platform/Volume.h"

namespace selvane {
namespace {

Identity NameIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.nameDevice, status.nameInode, status.length, status.modified, {}};
}

Identity FileIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.device, status.inode, status.length, status.modified, {}};
}

// The last bytes of a regular file, by which undo knows it where the medium
// does not keep its inode number.
// `path` may carry the native form the plan made.
void ReadTailInto(FileOps& ops, const PlannedPath& path, Identity& identity) {
  unsigned char tail[TrailerSize];
  std::int64_t length = 0;
  std::size_t none = 0;
  if (!identity.known || !ops.ReadEndsPlanned(path, tail, length, nullptr, nullptr, 0, none).ok())
    return;
  const std::size_t size = length < static_cast<std::int64_t>(TrailerSize)
                               ? static_cast<std::size_t>(length < 0 ? 0 : length)
                               : TrailerSize;
  // A file shorter than the trailer is read whole; an empty one has none.
  if (size < TrailerSize && size > 0 && !ops.ReadAtPlanned(path, 0, tail, size).ok()) return;
  identity.tail.assign(reinterpret_cast<const char*>(tail), size);
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

// Where the run left a row's file when it moved it or left it elsewhere;
// empty when the file stayed where it was.
std::string_view PlacedAt(const RenamePlanRow& row, const RenameRowResult& r) {
  if (r.outcome != RowOutcome::Moved && r.Where().empty()) return {};
  return r.Where().empty() ? row.newPath : r.Where();
}

// The last bytes of the row's file that the run read with its look right
// after the move; empty where it read none, and the outcome reads them.
std::string_view LookedTail(const RenameRowResult& r) {
  const bool asLooked = r.Where().empty() && r.placed.kind != FileKind::Missing;
  return asLooked ? std::string_view(r.placedTail) : std::string_view();
}

}  // namespace

// The mount table read once per batch, and what it says of each device;
// kept for the next tag change while the mounts stay as they were.
class History::Media {
 public:
  bool Current() { return !table_ || !watch_->Changed(); }
  // `path` is CP932; it is looked up only for a device not met before.
  bool KeepsInodes(std::uint64_t device, std::string_view path) {
    if (const auto it = keeps_.find(device); it != keeps_.end()) return it->second;
    const Volume* volume = Table().VolumeOf(NativeAbsolute(path));
    const bool keeps = volume == nullptr || KeepsInodeNumbers(volume->fsType);
    keeps_.emplace(device, keeps);
    return keeps;
  }
  RecordedVolume Recorded(const std::string& native) {
    RecordedVolume recorded;
    const Volume* volume = Table().VolumeOf(native);
    if (volume == nullptr) return recorded;
    recorded.uuid = volume->uuid;
    recorded.label = volume->label;
    recorded.mountPoint = volume->mountPoint;
    recorded.device = volume->device;
    recorded.keepsInodes = KeepsInodeNumbers(volume->fsType);
    return recorded;
  }

 private:
  MountTable& Table() {
    if (!table_) {
      watch_.emplace();  // before the read: a change while reading is seen
      table_ = MountTable::Read();
    }
    return *table_;
  }
  std::optional<MountWatch> watch_;
  std::optional<MountTable> table_;
  std::unordered_map<std::uint64_t, bool> keeps_;
};

// Where the run left a row's file, as the store keeps it: its identity as
// it is there, after the move (a copy to another file system, or a medium
// that numbers names anew, gives it another inode than planned).
StepOutcome History::OutcomeOf(std::size_t seq, const RenamePlanRow& row, const RenameRowResult& r,
                               FileOps& ops) {
  StepOutcome o;
  o.seq = seq;
  o.outcome = r.outcome;
  const std::string_view where = r.Where();
  o.place = NativeAbsolute(where);
  if (const std::string_view now = PlacedAt(row, r); !now.empty()) {
    // The new path's native form is the plan's; a place a failure left
    // the file at is not in the plan.
    const std::string cp932(now);
    const PlannedPath path{cp932.c_str(), where.empty() ? row.newNative : std::string_view()};
    const bool asLooked = where.empty() && r.placed.kind != FileKind::Missing;
    const FileStatus placed = asLooked ? r.placed : ops.StatusPlanned(path);
    o.placed = NameIdentity(placed);
    if (o.placed.known && placed.kind == FileKind::Regular &&
        !media_->KeepsInodes(placed.nameDevice, now)) {
      if (const std::string_view looked = LookedTail(r); !looked.empty())
        o.placed.tail = looked;
      else
        ReadTailInto(ops, path, o.placed);
    }
  }
  o.replaced = r.replaced;
  if (r.overwrite != nullptr) {
    if (r.replaced == ReplacedFate::Trashed) o.replacedPath = r.overwrite->trashed.nativePath;
    o.replacedFile = NameIdentity(r.overwrite->trashed.file);
  }
  if (const auto it = replacingTails_.find(seq); it != replacingTails_.end())
    o.replacedFile.tail = it->second;
  return o;
}

History::History(std::string storePath) : store_(std::move(storePath)) {}

History::~History() = default;

RecordResult History::BeginRename(std::span<const RenamePlanRow> rows,
                                  std::string_view temporaryPath) {
  openBatch_ = 0;
  openSteps_ = 0;
  replacingTails_.clear();
  lost_ = {};
  media_ = std::make_unique<Media>();
  if (rows.empty()) return RecordResult{true, {}, {}};

  // Where the medium will not know a file by its inode after a remount,
  // or the move copies it, its last bytes will: on a share they are read
  // many at a time first, then taken one by one as before.
  const auto byTail = [this](const RenamePlanRow& row) {
    return row.file.kind == FileKind::Regular &&
           (row.copied || !media_->KeepsInodes(row.file.nameDevice, row.path));
  };
  std::optional<EndsReadAhead> ahead;
  {
    std::vector<std::string> tails;
    for (const RenamePlanRow& row : rows)
      if (!row.native.empty() && !row.newNative.empty() && byTail(row))
        tails.emplace_back(row.path);
    ahead.emplace(SystemFileOps(), tails, ManyReadsOptions{});
  }
  // The plan's native forms, outside the transaction. A row whose names
  // have none cannot move; it keeps its place with an unknown identity.
  std::vector<PlannedStep> native(rows.size());
  std::vector<Identity> copied;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    PlannedStep& n = native[i];
    if (rows[i].native.empty() || rows[i].newNative.empty()) continue;
    n.path = rows[i].native;
    n.newPath = rows[i].newNative;
    n.file = NameIdentity(rows[i].file);
    n.target = NameIdentity(rows[i].target);
    if (byTail(rows[i]))
      ReadTailInto(*ahead, {std::string(rows[i].path).c_str(), rows[i].native}, n.file);
    if (rows[i].copied) copied.push_back(n.file);
  }
  ahead.reset();  // its memory goes before the store's
  const std::string temporary = NativeAbsolute(temporaryPath);
  const HistoryStore::Written written = store_.AddRename(
      native, temporary, media_->Recorded(NativeAbsolute(rows.front().path)), copied);
  const RecordResult result = RecordResultOf(written, store_.path());
  if (result.recorded) {
    openBatch_ = written.batch;
    openSteps_ = native.size();
  }
  return result;
}

// Should this fail, the outcome still says where the file went; only a
// crash would lose that, and the end of the run tells it.
void History::RecordReplacing(std::size_t row, const PlannedPath& newPath,
                              const FileStatus& target) {
  if (openBatch_ == 0) return;
  Identity identity = NameIdentity(target);
  if (row < openSteps_ && target.kind == FileKind::Regular) {
    ReadTailInto(SystemFileOps(), newPath, identity);
    replacingTails_[row] = identity.tail;
  }
  // The temporary name may lie on another file system: the road then
  // copies the row's file, which comes back under a new inode.
  std::string native, cp932;
  Identity file;
  sql::Status s = store_.PlannedFile(openBatch_, row, native, file);
  if (s && file.known && file.tail.empty() && NativePathToCp932(native, cp932))
    ReadTailInto(SystemFileOps(), {cp932.c_str(), native}, file);
  if (s) s = store_.SetTarget(openBatch_, row, identity, file);
  if (!s && lost_.ok()) lost_ = s;
}

RecordResult History::FinishRename(std::span<const RenamePlanRow> rows,
                                   std::span<const RenameRowResult> results, FileOps& ops) {
  const std::int64_t id = std::exchange(openBatch_, 0);
  const std::size_t planned = std::exchange(openSteps_, 0);
  if (id == 0) return RecordResult{true, {}, {}};
  const std::size_t count = std::min({results.size(), rows.size(), planned});
  // Rows left as they were need no word: a finished batch reads an unknown
  // outcome as "not moved". A failure that left the file where it was
  // changed nothing.
  const auto leftAsItWas = [](const RenameRowResult& r) {
    return r.outcome == RowOutcome::NotMoved && r.Where().empty() &&
           r.replaced == ReplacedFate::None;
  };
  int changed = 0;
  for (std::size_t k = 0; k < count; ++k)
    if (results[k].outcome == RowOutcome::Moved || !results[k].Where().empty() ||
        results[k].replaced != ReplacedFate::None)
      ++changed;
  // The files whose last bytes the outcomes may need, read many at a time
  // first where the medium waits: those placed on a medium that does not
  // keep inode numbers, and those whose place the outcome looks at anew.
  std::vector<std::string> tails;
  for (std::size_t k = 0; k < count; ++k) {
    const std::string_view now = PlacedAt(rows[k], results[k]);
    const FileStatus& placed = results[k].placed;
    if (!now.empty() && LookedTail(results[k]).empty() &&
        (!results[k].Where().empty() || placed.kind == FileKind::Missing ||
         (placed.kind == FileKind::Regular && !media_->KeepsInodes(placed.nameDevice, now))))
      tails.emplace_back(now);
  }
  EndsReadAhead ahead(ops, tails, ManyReadsOptions{});
  std::size_t i = 0;
  const auto next = [&](StepOutcome& o) {
    while (i < count && leftAsItWas(results[i])) ++i;
    if (i == count) return false;
    o = OutcomeOf(i, rows[i], results[i], ahead);
    ++i;
    return true;
  };
  // Whatever fails there leaves the batch as planned; undo then looks at
  // the disk instead of at the outcome. The user hears of it either way.
  sql::Status status = store_.FinishRename(id, next, changed);
  if (status.ok()) status = std::exchange(lost_, {});
  if (status.ok()) return RecordResult{true, {}, {}};
  return RecordResult{false, {}, RecordLost(status, store_.path())};
}

// Written down before the placeholder is made; a placeholder that cannot
// be written down is not made (the move fails), so that undo never meets an
// empty file it cannot account for.
FileResult History::RecordPlaceholder(PlaceholderStep step, const char* path) {
  if (step != PlaceholderStep::Reserving || openBatch_ == 0) return {};
  const sql::Status recorded = store_.AddPlaceholder(openBatch_, NativeAbsolute(path),
                                                     static_cast<std::int64_t>(std::time(nullptr)));
  if (recorded.ok()) return {};
  if (lost_.ok()) lost_ = recorded;
  return FileResult{EIO};
}

RecordResult History::BeginTagChange(const TagChangePlan& plan) {
  openBatch_ = 0;
  openSteps_ = 0;
  PlannedStep step;
  std::string native;
  if (!Cp932PathToNative(plan.path, native)) return RecordResult{false, {}, UnnamablePath()};
  step.path = native;
  step.file = FileIdentity(plan.file);
  std::optional<std::string_view> oldTail;
  if (plan.hadTrailer)
    oldTail = std::string_view(reinterpret_cast<const char*>(plan.oldTail.data()), TrailerSize);
  // What killed updates left beside their files goes before a new one is
  // recorded.
  if (plan.head && !std::exchange(leftoversCleared_, true))
    ClearTagLeftovers(store_, SystemFileOps());
  // The medium too, so that undo follows it when it is mounted elsewhere
  // and knows a file there by its end where inode numbers do not last.
  if (!media_ || !media_->Current()) media_ = std::make_unique<Media>();
  // The old block whole, for undo to put back; of the new one, what tells
  // it (torn by a kill or not) from a block someone else wrote since.
  StoredTagHead head;
  if (plan.head) {
    head.present = true;
    head.oldBlock = plan.head->oldBlock;
    head.newSize = static_cast<std::int64_t>(plan.head->newBlock.size());
    head.newSums = ChunkSums(plan.head->newBlock);
    if (!plan.head->beside.empty() && (head.beside = NativeAbsolute(plan.head->beside)).empty())
      return RecordResult{false, {}, UnnamablePath()};
    head.recorded = static_cast<std::int64_t>(std::time(nullptr));
  }
  const HistoryStore::Written written = store_.AddTagChange(
      plan.removes ? BatchKind::TagRemoval : BatchKind::TagUpdate, step, oldTail, plan.newEnd,
      media_->Recorded(native), plan.head ? &head : nullptr);
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

void History::FinishTagChange(bool done, const FileStatus& placed) {
  const std::int64_t id = std::exchange(openBatch_, 0);
  if (done)
    store_.FinishTagHead(id, FileIdentity(placed));
  else
    store_.Drop(id);
}

}  // namespace selvane
