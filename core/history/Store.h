#pragma once
// The history's SQLite store: batches written, loaded, marked and dropped.
// It is opened when first needed, never at start-up; a store that turns
// out garbled is put aside under another name and a new one begun.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/history/Sqlite.h"
#include "core/history/StoredBatch.h"

namespace selvane {

// Why a store written by a newer version of the program is not used; it is
// kept as it is.
sql::Status NewerLayout();
bool IsNewerLayout(const sql::Status& status);

class HistoryStore {
 public:
  explicit HistoryStore(std::string path);
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  const std::string& path() const { return path_; }

  // How a write went: `aside` names where a garbled store was put before
  // the write went into a new one.
  struct Written {
    sql::Status status;
    std::string aside;
    std::int64_t batch = 0;
  };
  // `copied`: the files of steps whose move copies them to another file
  // system, with their last bytes (earlier batches learn them).
  Written AddRename(std::span<const PlannedStep> steps, const std::string& temporary,
                    const RecordedVolume& volume = {}, std::span<const Identity> copied = {});
  Written AddTagChange(BatchKind kind, const PlannedStep& step,
                       std::optional<std::string_view> oldTail, std::string_view newEnd,
                       const RecordedVolume& volume = {}, const StoredTagHead* head = nullptr);
  // The path (native) and identity a step planned for its file.
  sql::Status PlannedFile(std::int64_t batch, std::size_t seq, std::string& native, Identity& file);
  // Before an overwrite: what held the new name, and the step's own file with
  // its last bytes (which earlier batches learn too, as the road may copy
  // it). Committed on its own; a failure is left to the outcome to make up for.
  sql::Status SetTarget(std::int64_t batch, std::size_t seq, const Identity& target,
                        const Identity& file);
  // A placeholder about to be made at `native`, committed before it is.
  sql::Status AddPlaceholder(std::int64_t batch, const std::string& native, std::int64_t made);
  // The outcome of the steps that did anything, `changed` of which changed
  // something on disk; with none, the batch goes. A failure leaves the
  // batch as planned.
  // `next` gives the outcomes one by one (false when there is none left), so
  // that a run over many files never holds them all at once.
  sql::Status FinishRename(std::int64_t batch, const std::function<bool(StepOutcome&)>& next,
                           int changed);
  void MarkFinished(std::int64_t batch);
  // MarkFinished for a tag update that wrote the ID3v2 tag too, with
  // where the file is now.
  void FinishTagHead(std::int64_t batch, const Identity& placed);
  // The new files that tag updates of processes gone (killed) were making
  // beside their files: their CP932 names, when the names were written
  // down, and the most bytes such a file can hold.
  struct TagLeftover {
    std::string beside, nativeBeside;  // CP932, and as stored
    std::int64_t recorded = 0, longest = 0;
  };
  std::vector<TagLeftover> TagLeftovers();
  // Both give up this process's claim to take the batch back.
  void MarkUndone(std::int64_t batch);
  // Steps of a batch that an undo took back while others stayed.
  void MarkStepsUndone(std::int64_t batch, std::span<const std::size_t> seqs);

  // An undo owns its batch from the offer to the mark, as a run owns it: a
  // claim of another live process stands (Busy); a dead one's lapses.
  enum class Claim { Owned, Busy, Failed };
  Claim ClaimUndo(std::int64_t batch, sql::Status& status);
  void ReleaseUndo(std::int64_t batch);
  void Drop(std::int64_t batch);

  // Whether a batch is not yet undone. Opens an existing store (never makes
  // one); true when the store cannot be read, so that undo can say why.
  bool MayUndo();

  enum class Loaded { Nothing, Ready, PutAside, Unreadable, Busy };
  // The newest batch not undone. PutAside: the store was garbled and now
  // lies at `aside`; Unreadable: `status` says why; Busy: another process
  // is still running it.
  Loaded LoadNewest(StoredBatch& batch, sql::Status& status, std::string& aside);

  // Told whenever whether a batch can be undone becomes known or changes.
  void OnUndoableChanged(std::function<void(bool)> listener) { listener_ = std::move(listener); }

 private:
  enum class Opened { Ready, Broken, Failed };
  Opened Open(sql::Status& status);
  bool PutAside(std::string& aside);
  // Opens the store and runs `write`; a store found garbled is put aside
  // once and `write` run again in a new one.
  template <typename WriteFn>
  Written Write(WriteFn write);
  sql::Status LoadBatch(std::int64_t id, StoredBatch& batch);
  void Checkpoint();
  void TellUndoable(bool undoable);
  void TellUndoableFromStore();

  std::string path_;
  sql::Database db_;
  std::function<void(bool)> listener_;
  std::optional<bool> undoable_;
};

}  // namespace selvane
