#include "core/history/UndoTagHead.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/history/StoreTagHead.h"

namespace selvane {
namespace {

using Why = TagHeadLeft::Why;

// FAT keeps modification times to two seconds.
constexpr std::int64_t TimeSlack = 2'000'000'000;

// The file the update or an earlier undo was making beside the file when it
// was killed: only at the name written down for it, made after that, and no
// longer than either file it could have become.
void ClearLeftover(const PlannedPath& beside, std::int64_t recorded, std::int64_t longest,
                   FileOps& ops) {
  if (beside.cp932[0] == '\0') return;
  const FileStatus status = ops.StatusPlanned(beside);
  if (status.kind != FileKind::Regular || status.link || status.length > longest ||
      status.modified < recorded * 1'000'000'000 - TimeSlack)
    return;
  (void)ops.DeletePlanned(beside);
}

// How the file's first bytes stand to the two blocks: each chunk as the old
// block has it, or as the new one does (a write killed half-way leaves
// some of each in place).
struct HeadLooks {
  bool old = true, fresh = true, mixed = true;
};

HeadLooks LookAtHead(std::string_view bytes, const StoredTagHead& head) {
  HeadLooks looks;
  const std::string_view old = head.oldBlock;
  const std::size_t size = static_cast<std::size_t>(head.newSize);
  looks.old = bytes.substr(0, old.size()) == old && bytes.size() >= old.size();
  if (bytes.size() < size) {
    looks.fresh = looks.mixed = false;
    return looks;
  }
  const std::string sums = ChunkSums(bytes.substr(0, size));
  for (std::size_t k = 0; k * TagHeadChunk < size; ++k) {
    const bool isNew = sums.compare(k * 4, 4, head.newSums, k * 4, 4) == 0;
    const bool isOld = old.size() == size && bytes.substr(k * TagHeadChunk, TagHeadChunk) ==
                                                 old.substr(k * TagHeadChunk, TagHeadChunk);
    looks.fresh = looks.fresh && isNew;
    looks.mixed = looks.mixed && (isNew || isOld);
  }
  return looks;
}

}  // namespace

void ClearTagLeftovers(HistoryStore& store, FileOps& ops) {
  for (const HistoryStore::TagLeftover& leftover : store.TagLeftovers())
    ClearLeftover({leftover.beside.c_str(), leftover.nativeBeside}, leftover.recorded,
                  leftover.longest, ops);
}

bool UndoTagHead(const StoredBatch& batch, FileOps& ops, TagHeadLeft& left) {
  const StoredStep& step = batch.steps.front();
  const StoredTagHead& head = batch.head;
  const std::int64_t trailer = static_cast<std::int64_t>(TrailerSize);
  const std::int64_t oldSize = static_cast<std::int64_t>(head.oldBlock.size());
  const std::int64_t before = step.file.length;
  const std::int64_t after = before - oldSize + head.newSize + (step.hasOldTail ? 0 : trailer);
  const bool inPlace = head.beside.empty();
  ClearLeftover({head.besideCp932.c_str(), head.beside}, head.recorded, std::max(before, after),
                ops);

  // The stored native path serves every call of the step.
  const PlannedPath path{step.path.c_str(), step.nativePath};
  const FileStatus now = ops.StatusPlanned(path);
  if (now.kind != FileKind::Regular) {
    left.why = Why::Gone;
    return true;
  }
  std::string bytes(static_cast<std::size_t>(
                        std::clamp<std::int64_t>(std::max(oldSize, head.newSize), 0, now.length)),
                    '\0'),
      end(std::min<std::int64_t>(now.length, trailer), '\0');
  if (FileResult read = ops.ReadAtPlanned(path, 0, bytes.data(), bytes.size());
      !read || !(read = ops.ReadAtPlanned(path, now.length - static_cast<std::int64_t>(end.size()),
                                          end.data(), end.size()))) {
    left = {Why::ReadFailed, read.error};
    return true;
  }
  const HeadLooks looks = LookAtHead(bytes, head);
  const bool oldEnd = now.length == before && (!step.hasOldTail || end == step.oldTail);
  const bool newEnd = now.length == after && end == step.newEnd;
  // Where the medium keeps inode numbers, the file is the one written: the
  // same for a write in place, the one made anew (when that got recorded)
  // for a tag that grew.
  const auto entry = [&](const Identity& file) {
    return !batch.volume.keepsInodes || !file.known ||
           (now.device == file.device && now.inode == file.inode);
  };
  const Identity& made = inPlace ? step.file : step.placed;
  // Never written, or put back already by an undo killed before its mark
  // (a file made anew for that has an entry of its own).
  if (looks.old && oldEnd && (entry(step.file) || !inPlace)) return ops.SyncFilePlanned(path).ok();
  const bool ours = inPlace ? looks.mixed && (oldEnd || newEnd) && entry(step.file)
                            : looks.fresh && newEnd && entry(made);
  if (!ours) {
    left.why = Why::Changed;
    return true;
  }
  FileResult written;
  if (inPlace) {
    FilePiece pieces[2] = {{0, head.oldBlock}, {before - trailer, step.oldTail}};
    written = ops.WriteSyncedPlanned(path, std::span(pieces, step.hasOldTail ? 2 : 1), before);
  } else {
    RebuildPlan rebuild;
    rebuild.path = path.cp932;
    rebuild.beside = head.besideCp932.c_str();
    rebuild.nativePath = path.native;
    rebuild.nativeBeside = head.beside;
    rebuild.head = head.oldBlock;
    rebuild.copyFrom = head.newSize;
    rebuild.copyTo = after - trailer;
    rebuild.tail = step.hasOldTail ? std::string_view(step.oldTail) : std::string_view();
    rebuild.expected = now;
    FileStatus placed;
    written = ops.RebuildFile(rebuild, placed);
  }
  if (!written) left = {Why::WriteFailed, written.error};
  return written.ok();
}

}  // namespace selvane
