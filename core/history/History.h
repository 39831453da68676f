#pragma once
// The history of changes on disk: every rename run, tag update and tag
// removal is written down before it touches a file and again afterwards,
// so that it can be taken back (Undo.h). This is the journal the run and
// the tag commands write through; it owns the store.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/history/Journal.h"
#include "core/history/Store.h"
#include "core/platform/StatePaths.h"

namespace selvane {

class History final : public RenameJournal, public TagChangeJournal {
 public:
  explicit History(std::string storePath = DefaultHistoryPath());
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  RecordResult BeginRename(std::span<const RenamePlanRow> rows,
                           std::string_view temporaryPath) override;
  void RecordReplacing(std::size_t row, const PlannedPath& newPath,
                       const FileStatus& target) override;
  RecordResult FinishRename(std::span<const RenamePlanRow> rows,
                            std::span<const RenameRowResult> results, FileOps& ops) override;
  FileResult RecordPlaceholder(PlaceholderStep step, const char* path) override;

  RecordResult BeginTagChange(const TagChangePlan& plan) override;
  void FinishTagChange(bool done) override;
  void FinishTagChange(bool done, const FileStatus& placed) override;

  HistoryStore& store() { return store_; }

 private:
  class Media;
  StepOutcome OutcomeOf(std::size_t seq, const RenamePlanRow& row, const RenameRowResult& r,
                        FileOps& ops);

  HistoryStore store_;
  std::unique_ptr<Media> media_;
  // The last bytes of files about to be replaced, by step: the trash is
  // searched by them.
  std::unordered_map<std::size_t, std::string> replacingTails_;
  // A record that could not be written during the run, told at its end.
  sql::Status lost_;
  std::int64_t openBatch_ = 0;
  // The rename being recorded, one step per planned row. Kept as planned
  // until its outcome is written, so that nothing of it is copied or freed
  // before the moves.
  std::size_t openSteps_ = 0;  // of the open batch
  // What updates killed before this history was opened left beside their
  // files is cleared at its first update; none of its own can follow.
  bool leftoversCleared_ = false;
};

}  // namespace selvane
