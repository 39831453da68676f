#include "core/history/Undo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/history/HistoryTexts.h"
#include "core/history/UndoSteps.h"
#include "core/history/UndoTagHead.h"
#include "core/platform/Cp932.h"

namespace selvane {

namespace {

// "メディア「SELVEX」（UUID 1234-ABCD、以前の場所：/media/x）"
std::string MediumAway(const RecordedVolume& volume) {
  std::string named = Cp932("メディア");
  if (!volume.label.empty()) named += Cp932("「") + ShownPath(volume.label) + Cp932("」");
  named += Cp932("（");
  if (!volume.uuid.empty()) named += "UUID " + volume.uuid + Cp932("、");
  named += Cp932("以前の場所：") + ShownPath(volume.mountPoint) + Cp932("）");
  return named + Cp932(
                     "が接続されていないため、元に戻せません。\n接続してから、もう一度"
                     "元に戻してください。ファイルは何も変更していません。");
}

// `path` (CP932) moved from under `from` to under `to` (native mount points).
void Rebase(std::string& path, const std::string& from, const std::string& to) {
  if (path.size() > from.size() && path.compare(0, from.size(), from) == 0 &&
      path[from.size()] == '/')
    path = to + path.substr(from.size());
}

void MapDevice(Identity& identity, std::uint64_t from, std::uint64_t to) {
  if (identity.known && identity.device == from) identity.device = to;
}

}  // namespace

bool FollowMedium(StoredBatch& batch, MountTable& mounts) {
  RecordedVolume& volume = batch.volume;
  if (volume.uuid.empty() && volume.label.empty()) return true;
  // Still where it was: kept there, even where other mounts share its
  // identity (subvolumes of one file system, bind mounts).
  const Volume* now = mounts.VolumeOf(volume.mountPoint);
  const bool stayed = now != nullptr && now->mountPoint == volume.mountPoint &&
                      (volume.uuid.empty() ? now->label == volume.label : now->uuid == volume.uuid);
  if (!stayed) now = mounts.FindMounted(volume.uuid, volume.label);
  if (now == nullptr) return false;
  if (now->mountPoint != volume.mountPoint) {
    std::string from, to;
    if (!NativePathToCp932(volume.mountPoint, from) || !NativePathToCp932(now->mountPoint, to))
      return true;
    for (StoredStep& step : batch.steps) {
      for (std::string* path : {&step.path, &step.newPath, &step.place}) Rebase(*path, from, to);
      for (std::string* path :
           {&step.nativePath, &step.nativeNewPath, &step.nativePlace, &step.replacedPath})
        Rebase(*path, volume.mountPoint, now->mountPoint);
    }
    Rebase(batch.temporary, from, to);
    Rebase(batch.nativeTemporary, volume.mountPoint, now->mountPoint);
    Rebase(batch.head.besideCp932, from, to);
    Rebase(batch.head.beside, volume.mountPoint, now->mountPoint);
    for (StoredBatch::Placeholder& placeholder : batch.placeholders)
      Rebase(placeholder.path, volume.mountPoint, now->mountPoint);
    volume.mountPoint = now->mountPoint;
  }
  if (volume.device != 0 && now->device != volume.device) {
    for (StoredStep& step : batch.steps)
      for (Identity* identity : {&step.file, &step.target, &step.placed, &step.replacedFile})
        MapDevice(*identity, volume.device, now->device);
    volume.device = now->device;
  }
  return true;
}

UndoHistory::UndoHistory(HistoryStore& store) : store_(store) {}

// An offer not taken gives up its claim.
UndoHistory::~UndoHistory() {
  if (offered_) store_.ReleaseUndo(offered_->id);
}

UndoOffer UndoHistory::OfferUndo() {
  UndoOffer offer;
  if (offered_) store_.ReleaseUndo(offered_->id);
  offered_.reset();
  auto batch = std::make_unique<StoredBatch>();
  sql::Status status;
  std::string aside;
  const HistoryStore::Loaded loaded = store_.LoadNewest(*batch, status, aside);
  if (loaded == HistoryStore::Loaded::Ready || loaded == HistoryStore::Loaded::Nothing)
    ClearTagLeftovers(store_, SystemFileOps());
  switch (loaded) {
    case HistoryStore::Loaded::Nothing:
      return offer;
    case HistoryStore::Loaded::PutAside:
      offer.state = UndoOffer::State::Broken;
      offer.message = HistoryPutAside(store_.path(), aside);
      return offer;
    case HistoryStore::Loaded::Unreadable:
      offer.state = UndoOffer::State::Unreadable;
      offer.message = UnreadableHistory(store_.path(), ReasonOf(status));
      return offer;
    case HistoryStore::Loaded::Busy:
      offer.state = UndoOffer::State::Busy;
      offer.message =
          Cp932("この操作はほかのウィンドウでまだ実行中です。終わってから元に戻してください。");
      return offer;
    case HistoryStore::Loaded::Ready:
      break;
  }
  switch (store_.ClaimUndo(batch->id, status)) {
    case HistoryStore::Claim::Owned:
      break;
    case HistoryStore::Claim::Busy:
      offer.state = UndoOffer::State::Busy;
      offer.message = Cp932(
          "この操作はほかのウィンドウで元に戻しているところです。終わってから、もう一度"
          "お試しください。");
      return offer;
    case HistoryStore::Claim::Failed:
      offer.state = UndoOffer::State::Unreadable;
      offer.message = UnreadableHistory(store_.path(), ReasonOf(status));
      return offer;
  }
  MountTable mounts = MountTable::Read();
  if (!FollowMedium(*batch, mounts)) {
    store_.ReleaseUndo(batch->id);
    offer.state = UndoOffer::State::Away;
    offer.message = MediumAway(batch->volume);
    return offer;
  }
  offer.state = UndoOffer::State::Ready;
  offer.batch = batch->id;
  offer.question =
      UndoQuestion(batch->kind, batch->made, batch->files, std::time(nullptr),
                   batch->undoneSteps > 0 ? std::max(batch->files - batch->undoneSteps, 1) : -1);
  offered_ = std::move(batch);
  return offer;
}

UndoResult UndoHistory::Undo(const UndoOffer& offer, FileOps& ops, Trash& trash) {
  if (offer.state != UndoOffer::State::Ready || !offered_ || offered_->id != offer.batch) {
    UndoResult none;
    none.status = Cp932("元に戻せる操作はありません");
    return none;
  }
  const std::unique_ptr<StoredBatch> batch = std::move(offered_);
  // Undo's own placeholders go into the batch's record, for the next undo
  // to clear after a kill; one that cannot be written down is not made.
  const PlaceholderRecord record = [this, id = batch->id](PlaceholderStep step,
                                                          const char* path) -> FileResult {
    std::string native;
    if (step != PlaceholderStep::Reserving) return {};
    if (!Cp932PathToNative(path, native)) return FileResult{EILSEQ};
    if (!store_.AddPlaceholder(id, native, static_cast<std::int64_t>(std::time(nullptr))))
      return FileResult{EIO};
    return {};
  };
  UndoResult result = UndoBatch(*batch, ops, trash, record);
  if (result.complete)
    store_.MarkUndone(batch->id);
  else
    store_.MarkStepsUndone(batch->id, result.undoneSteps);
  return result;
}

UndoRun RunUndo(HistoryStore& store, FileOps& ops, Trash& trash, UserPrompts& ui) {
  UndoHistory history(store);
  const UndoOffer offer = history.OfferUndo();
  switch (offer.state) {
    case UndoOffer::State::Nothing:
      ui.SetStatus(Cp932("元に戻せる操作はありません"));
      return {};
    case UndoOffer::State::Broken:
    case UndoOffer::State::Unreadable:
    case UndoOffer::State::Away:
    case UndoOffer::State::Busy:
      ui.Refuse(offer.message, Cp932("元に戻す"));
      return {};
    case UndoOffer::State::Ready:
      break;
  }
  if (!ui.Ask(offer.question, Cp932("確認"))) return {};
  UndoResult result = history.Undo(offer, ops, trash);
  if (!result.report.empty()) ui.Refuse(result.report, Cp932("元に戻せなかったファイルがあります"));
  ui.SetStatus(result.status);
  return UndoRun{true, std::move(result.changes)};
}

void FollowPathChanges(EntryTable& table, std::span<const PathChange> changes) {
  if (changes.empty() || table.entryCount <= 0) return;
  // Compared as native paths, where "\" and "/" are one separator: each
  // row's made once here, each change's as undo found it on disk. Each
  // change moves one row, and a row moved may move again; of several rows
  // at one path the last listed goes first, since a run gives names in
  // list order and the last row to take a name holds its file (the others'
  // files went to the trash and come back there).
  std::unordered_map<std::string, std::vector<int>> listed;
  std::string native;
  for (int i = 0; i < table.entryCount; ++i)
    if (Cp932PathToNative(table[i].path, native)) listed[native].push_back(i);
  for (const PathChange& change : changes) {
    const auto at = listed.find(change.nativeFrom);
    if (at == listed.end() || at->second.empty()) continue;
    const int row = at->second.back();
    at->second.pop_back();
    CopyField(table[row].path, change.to);
    std::vector<int>& there = listed[change.nativeTo];
    there.insert(std::upper_bound(there.begin(), there.end(), row), row);
  }
}

std::string UndoQuestion(BatchKind kind, std::time_t made, int files, std::time_t now, int left) {
  std::tm at{}, today{};
  ::localtime_r(&made, &at);
  ::localtime_r(&now, &today);
  std::string text;
  if (at.tm_year != today.tm_year) text += std::to_string(at.tm_year + 1900) + "年";
  char clock[8];
  std::snprintf(clock, sizeof clock, "%02d:%02d", at.tm_hour, at.tm_min);
  text += std::to_string(at.tm_mon + 1) + "月" + std::to_string(at.tm_mday) + "日 " + clock;
  text += kind == BatchKind::Rename      ? " のリネーム"
          : kind == BatchKind::TagUpdate ? " のタグ情報の更新"
                                         : " のタグ情報の削除";
  text += left >= 0 ? "（残り " + std::to_string(left) + " ファイル）を元に戻しますか？"
                    : "（" + std::to_string(files) + " ファイル）を元に戻しますか？";
  return Cp932(text);
}

}  // namespace selvane
