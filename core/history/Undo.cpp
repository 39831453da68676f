#include "core/history/Undo.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/history/HistoryTexts.h"
#include "core/history/UndoSteps.h"
#include "core/platform/Cp932.h"

namespace selvane {

UndoHistory::UndoHistory(HistoryStore& store) : store_(store) {}

UndoHistory::~UndoHistory() = default;

UndoOffer UndoHistory::OfferUndo() {
  UndoOffer offer;
  offered_.reset();
  auto batch = std::make_unique<StoredBatch>();
  sql::Status status;
  std::string aside;
  switch (store_.LoadNewest(*batch, status, aside)) {
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
    case HistoryStore::Loaded::Ready:
      break;
  }
  offer.state = UndoOffer::State::Ready;
  offer.batch = batch->id;
  offer.question = UndoQuestion(batch->kind, batch->made, batch->files, std::time(nullptr));
  offered_ = std::move(batch);
  return offer;
}

UndoResult UndoHistory::Undo(const UndoOffer& offer, FileOps& ops, Trash& trash) {
  if (offer.state != UndoOffer::State::Ready || !offered_ || offered_->id != offer.batch)
    return UndoResult{{}, {}, Cp932("元に戻せる操作はありません")};
  const std::unique_ptr<StoredBatch> batch = std::move(offered_);
  UndoResult result = UndoBatch(*batch, ops, trash);
  store_.MarkUndone(batch->id);
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
  // Compared as native paths, where "\" and "/" are one separator.
  std::unordered_multimap<std::string, int> listed;
  for (int i = 0; i < table.entryCount; ++i) {
    std::string native;
    if (Cp932PathToNative(table[i].path, native)) listed.emplace(std::move(native), i);
  }
  std::vector<bool> moved(static_cast<std::size_t>(table.entryCount), false);
  for (const PathChange& change : changes) {
    std::string from;
    if (!Cp932PathToNative(change.from, from)) continue;
    const auto [first, last] = listed.equal_range(from);
    for (auto it = first; it != last; ++it) {
      const std::size_t i = static_cast<std::size_t>(it->second);
      if (moved[i]) continue;
      CopyField(table[it->second].path, change.to);
      moved[i] = true;
    }
  }
}

std::string UndoQuestion(BatchKind kind, std::time_t made, int files, std::time_t now) {
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
  text += "（" + std::to_string(files) + " ファイル）を元に戻しますか？";
  return Cp932(text);
}

}  // namespace selvane
