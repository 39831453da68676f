#pragma once
// The history of changes on disk: every rename run, tag update and tag
// removal is written down before it touches a file and again afterwards,
// in an SQLite store that lives across restarts, so that it can be taken
// back (Undo.h). The store is opened when first needed, never at start-up.
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/UserPrompts.h"
#include "core/history/Sqlite.h"
#include "core/platform/FileOps.h"
#include "core/platform/Trash.h"
#include "core/tags/TagWriter.h"

namespace selvane {

enum class BatchKind { Rename = 1, TagUpdate = 2, TagRemoval = 3 };

// The identity undo compares: for a rename the name's own device and inode
// (a link moves as itself), for a tag change those of the file written.
struct Identity {
  bool known = false;
  std::uint64_t device = 0, inode = 0;
  std::int64_t length = 0;
};

// A row that the rename run may move, as it stands before the run.
struct RenamePlanRow {
  std::string_view path, newPath;  // CP932
  FileStatus file;                 // Status(path)
  // Status(newPath) when already known; Missing when the name is free or
  // was not looked at (RecordReplacing tells it before a file is replaced).
  FileStatus target;
};

enum class RowOutcome { NotMoved = 0, Moved = 1, Failed = 2 };
enum class ReplacedFate { None = 0, Trashed = 1, Deleted = 2 };

// What became of a planned row.
struct RenameRowResult {
  RowOutcome outcome = RowOutcome::NotMoved;
  // Where the file lies when that is neither its path nor its new path (a
  // failed overwrite left it under the temporary name); CP932.
  std::string where;
  // What this row's overwrite did with the file it replaced; `trashed`
  // says which file that was (and, when Trashed, where it lies).
  ReplacedFate replaced = ReplacedFate::None;
  TrashedFile trashed;
};

// A tag change as planned: the file's state before it and the end the file
// will have after it.
struct TagChangePlan {
  std::string path;  // CP932
  FileStatus file;
  bool hadTrailer = false;  // the file ends in a trailer now ...
  Trailer oldTail{};        // ... and these are its 128 bytes
  bool removes = false;
  // The new trailer, or for a removal the bytes (up to 128) that end the
  // file once its trailer is cut.
  std::string newEnd;
};

// Read the file as it is now and plan writing `trailer` into it / cutting
// its trailer. A removal of a file that ends in no trailer gives
// NoTrailerError.
FileResult PlanTagUpdate(const char* path, const Trailer& trailer, FileOps& ops,
                         TagChangePlan& plan);
FileResult PlanTagRemoval(const char* path, FileOps& ops, TagChangePlan& plan);

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

// The CP932 path change of a file that undo moved back, so that a listed
// row can follow it.
struct PathChange {
  std::string from, to;
};

// The batch that 元に戻す would take back, or why there is none.
struct UndoOffer {
  enum class State { Nothing, Ready, Broken, Unreadable };
  State state = State::Nothing;
  std::int64_t batch = 0;
  std::string question;  // Ready: the Yes/No question (CP932)
  std::string message;   // Broken, Unreadable: what to tell (CP932)
};

struct UndoResult {
  std::vector<PathChange> changes;  // in the order the moves happened
  std::string report;  // one message listing what was left as it is; empty when nothing
  std::string status;  // for the status line
};

// $XDG_STATE_HOME/selvane/history.sqlite3 (default ~/.local/state/...),
// native; empty when there is no home to put it in.
std::string DefaultHistoryPath();

// A batch as stored, for undo (History.cpp fills it, Undo.cpp reads it).
struct StoredStep;
struct StoredBatch;

class History {
 public:
  explicit History(std::string storePath = DefaultHistoryPath());
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  const std::string& storePath() const { return path_; }

  // Before the run touches the disk: the plan in one transaction, synced
  // once. `temporaryPath` is the temporary file's CP932 path (TemporaryName
  // alone will do: it is taken in the current folder).
  RecordResult BeginRename(std::span<const RenamePlanRow> rows, std::string_view temporaryPath);
  // Before an agreed overwrite touches the disk: the file that planned row
  // `row` is about to replace, committed on its own, so that after a crash
  // undo finds it in the trash by its identity. Rows that replace nothing
  // cost the plan nothing this way.
  void RecordReplacing(std::size_t row, const FileStatus& target);
  // After it: one result per planned row, in the same order, beside the plan
  // given to BeginRename, of which only the new paths are read (the run has
  // written the new names over the rows' paths). A run that changed nothing
  // leaves no batch behind.
  void FinishRename(std::span<const RenamePlanRow> rows, std::span<const RenameRowResult> results,
                    FileOps& ops);

  RecordResult BeginTagChange(const TagChangePlan& plan);
  void FinishTagChange(bool done);

  // For enabling the command: whether a batch is not yet undone. Opens an
  // existing store (never makes one); true when the store cannot be read,
  // so that the command can say why.
  bool MayUndo();
  // Opens the store (putting a broken one aside) and names the newest
  // batch not yet undone.
  UndoOffer OfferUndo();
  // Takes back the batch of a Ready offer.
  UndoResult Undo(const UndoOffer& offer, FileOps& ops, Trash& trash);

 private:
  enum class Opened { Ready, Broken, Failed };
  Opened Open(sql::Status& status);
  bool PutAside(std::string& aside);
  template <typename Write>
  RecordResult Record(Write write);
  sql::Status LoadBatch(std::int64_t id, StoredBatch& batch);
  void DropBatch(std::int64_t id);
  void Checkpoint();

  std::string path_;
  sql::Database db_;
  std::int64_t openBatch_ = 0;
  // The rename being recorded, one row per planned row in native form
  // (empty paths: the row had none). Kept as planned until its outcome is
  // written, so that nothing of it is copied or freed before the moves.
  struct NativeRow {
    std::string path, newPath;
    Identity file, target;
  };
  std::vector<NativeRow> openRows_;
  std::unique_ptr<StoredBatch> offered_;  // loaded by OfferUndo for Undo
};

// The question for a batch, e.g. "12月9日 10:31 のリネーム（60 ファイル）を
// 元に戻しますか？" (local time; the year too when it is not this one).
std::string UndoQuestion(BatchKind kind, std::time_t made, int files, std::time_t now);

}  // namespace selvane
