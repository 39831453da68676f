#pragma once
// What the rename run and the tag commands write into the history: the plan
// before the first change on disk, and the outcome after the last. They see
// only these few calls, never the store behind them.
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/UserPrompts.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"
#include "core/tags/TagChangePlan.h"

namespace selvane {

// A row that the rename run may move, as it stands before the run.
struct RenamePlanRow {
  // CP932, viewed in the listed entries: `path` only until the row moves
  // (its entry then takes the new path), `newPath` for the whole run.
  std::string_view path, newPath;
  FileStatus file;  // Status(path)
  // Status(newPath) when already known; Missing when the name is free or
  // was not looked at (RecordReplacing tells it before a file is replaced).
  FileStatus target;
  // The move copies it to another file system, where it gets a new inode.
  bool copied = false;
  // `path` and `newPath` as native bytes, made once for the run and kept in
  // its NativePaths, which the move and the record both use; empty when the
  // CP932 bytes have none (the row cannot move).
  std::string_view native, newNative;
};

enum class RowOutcome { NotMoved = 0, Moved = 1, Failed = 2 };
enum class ReplacedFate { None = 0, Trashed = 1, Deleted = 2 };

// What became of a planned row.
struct RenameRowResult {
  RowOutcome outcome = RowOutcome::NotMoved;
  // What this row's overwrite did with the file it replaced.
  ReplacedFate replaced = ReplacedFate::None;
  // Moved: what the new path named right after the move (MoveAndStatus),
  // the identity undo will know the file by.
  FileStatus placed;
  // The last 128 bytes of `placed`, where the run read them together with
  // it (on a share, many at a time); empty where it did not.
  std::string placedTail;
  // What only an overwrite has to tell, kept apart since a run over a
  // whole collection has a result per row and an overwrite in a few:
  // where the file lies when that is neither its path nor its new path (a
  // failed overwrite left it under the temporary name; CP932), and which
  // file the overwrite replaced (and, when Trashed, where that lies).
  struct Overwrite {
    std::string where;
    TrashedFile trashed;
  };
  std::unique_ptr<Overwrite> overwrite;

  Overwrite& Overwritten() {
    if (overwrite == nullptr) overwrite = std::make_unique<Overwrite>();
    return *overwrite;
  }
  std::string_view Where() const {
    return overwrite != nullptr ? std::string_view(overwrite->where) : std::string_view();
  }
};

// How recording went.
struct RecordResult {
  bool recorded = false;  // false: the batch is not in the history; `error` says why
  std::string notice;     // set once when a broken store was put aside (tell the user)
  std::string error;
};

// What a command makes of a RecordResult: a notice is told; a batch that
// could not be recorded goes ahead only when the user agrees to a change
// that cannot be taken back (`change` names it, CP932). False: change
// nothing.
bool GoOnAfterRecording(const RecordResult& result, UserPrompts& ui, std::string_view change);

class RenameJournal {
 public:
  // Before the run touches the disk: the plan in one transaction, synced
  // once. `temporaryPath` is the temporary file's CP932 path (TemporaryName
  // alone will do: it is taken in the current folder).
  virtual RecordResult BeginRename(std::span<const RenamePlanRow> rows,
                                   std::string_view temporaryPath) = 0;
  // Before an agreed overwrite touches the disk: the file that planned row
  // `row` is about to replace (Missing when the row's file meets itself),
  // and the row's own file by its last bytes too, since the temporary name
  // may lie on another file system and copy it. Committed on its own, so
  // that after a crash undo finds both by what they are.
  virtual void RecordReplacing(std::size_t row, const PlannedPath& newPath,
                               const FileStatus& target) = 0;
  // After it: one result per planned row, in the same order, beside the plan
  // given to BeginRename, of which only the new paths are read (the run has
  // written the new names over the rows' paths). A run that changed nothing
  // leaves no batch behind. Not recorded: a record of this run (this one,
  // or one during it) could not be written, and `error` says so.
  virtual RecordResult FinishRename(std::span<const RenamePlanRow> rows,
                                    std::span<const RenameRowResult> results, FileOps& ops) = 0;
  // The move's placeholder on a medium without a no-replace rename
  // (MoveOptions::placeholder): Reserving is written down before the
  // placeholder is made, so that undo can clear it after a kill.
  virtual FileResult RecordPlaceholder(PlaceholderStep, const char*) { return {}; }

 protected:
  ~RenameJournal() = default;
};

// Tells `journal` of every placeholder `ops` makes while this lives; the
// record `ops` had before comes back afterwards.
class PlaceholderRecording {
 public:
  PlaceholderRecording(FileOps& ops, RenameJournal* journal) : ops_(ops), on_(journal != nullptr) {
    if (on_)
      before_ = ops_.SetPlaceholderRecord([journal](PlaceholderStep step, const char* path) {
        return journal->RecordPlaceholder(step, path);
      });
  }
  ~PlaceholderRecording() {
    if (on_) ops_.SetPlaceholderRecord(std::move(before_));
  }
  PlaceholderRecording(const PlaceholderRecording&) = delete;
  PlaceholderRecording& operator=(const PlaceholderRecording&) = delete;

 private:
  FileOps& ops_;
  bool on_;
  std::function<FileResult(PlaceholderStep, const char*)> before_;
};

// A run whose outcome could not be fully recorded says so at its end.
void TellUnrecorded(const RecordResult& result, UserPrompts& ui);

class TagChangeJournal {
 public:
  virtual RecordResult BeginTagChange(const TagChangePlan& plan) = 0;
  // `done`: the file was written; otherwise the batch is dropped.
  virtual void FinishTagChange(bool done) = 0;
  // The same for a plan that wrote the ID3v2 tag too: `placed` is what the
  // path names now (a tag that grew made the file anew).
  virtual void FinishTagChange(bool done, const FileStatus& placed) {
    (void)placed;
    FinishTagChange(done);
  }

 protected:
  ~TagChangeJournal() = default;
};

}  // namespace selvane
