#include "core/history/Store.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "core/history/CopiedFiles.h"
#include "core/history/StoreColumns.h"
#include "core/history/StoreLayout.h"
#include "core/history/StoreTagHead.h"
#include "core/platform/Cp932.h"
#include "core/platform/Process.h"
#include "core/platform/StatePaths.h"

namespace selvane {
namespace {

using namespace layout;  // NOLINT: the layout is this file's own

// Failures that say nothing about the file itself: the store is kept.
bool MeansTransient(const sql::Status& status) {
  switch (status.primary()) {
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
      return true;
    default:
      return false;
  }
}

bool MeansGarbled(const sql::Status& status) {
  const int code = status.primary();
  return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

sql::Status Garbled(const char* what) { return {SQLITE_CORRUPT, what}; }

// A batch's own row: what, when, how many files, by which process (so that
// another one never takes back a change still running), on which medium.
sql::Status InsertBatch(sql::Database& db, BatchKind kind, std::size_t files,
                        const std::string& temporary, const RecordedVolume& volume) {
  sql::Kept kept;
  if (sql::Status s = kept.Prepare(db,
                                   "INSERT INTO batch(kind, made, temporary, state, files, "
                                   "owner_pid, owner_start, vol_uuid, vol_label, vol_mount, "
                                   "vol_dev, vol_keeps) "
                                   "VALUES(?1, ?2, ?3, 0, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
      !s)
    return s;
  sql::Statement& batch = *kept;
  const ProcessMark owner = ThisProcess();
  batch.Bind(1, static_cast<std::int64_t>(kind))
      .Bind(2, static_cast<std::int64_t>(std::time(nullptr)))
      .Bind(4, static_cast<std::int64_t>(files))
      .Bind(5, owner.pid)
      .Bind(6, owner.started);
  BindVolume(batch, 7, volume);
  BindText(batch, 3, temporary);
  return batch.Run();
}

// A batch's rows are in: the oldest beyond the last 100 go, and all of it is
// committed at once. The trim scans whole tables, so it runs only when a
// batch lies beyond them (no rows are left over otherwise).
sql::Status CommitAdded(sql::Database& db, sql::Transaction& transaction, std::int64_t added,
                        std::int64_t& id) {
  bool beyond = false;
  {
    sql::Kept query;
    if (sql::Status s = query.Prepare(db, BatchBeyondKept); !s || !(s = query->Step(beyond)))
      return s;
  }
  if (beyond)
    if (sql::Status s = db.Execute(TrimBatches); !s) return s;
  if (sql::Status s = transaction.Commit(); !s) return s;
  id = added;
  return {};
}

}  // namespace

HistoryStore::HistoryStore(std::string path) : path_(std::move(path)) {}

HistoryStore::Opened HistoryStore::Open(sql::Status& status) {
  status = {};
  if (db_.isOpen()) return Opened::Ready;
  if (path_.empty()) {
    status = {SQLITE_CANTOPEN, "no home folder"};
    return Opened::Failed;
  }
  if (!MakeParentFolders(path_)) {
    status = {SQLITE_CANTOPEN, std::strerror(errno)};
    return Opened::Failed;
  }
  // SQLite would wait forever on a pipe put in the store's place.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const FileKind kind = NativeStatus(path_ + suffix).kind;
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
      status = Garbled("not a regular file");
      return Opened::Broken;
    }
  }
  KeepPrivate(path_);
  const auto fail = [&](sql::Status failure) {
    db_.Close();
    status = std::move(failure);
    return MeansTransient(status) ? Opened::Failed : Opened::Broken;
  };
  if (sql::Status opened = db_.Open(path_); !opened) return fail(std::move(opened));
  // Only another program holding the file (a shell the user opened on it)
  // makes it wait; the window should not hang long for that.
  sqlite3_busy_timeout(db_.handle(), 1000);

  sql::Statement query;
  std::int64_t version = 0, tables = 0;
  bool row = false;
  if (sql::Status s = query.Prepare(db_, "PRAGMA user_version"); !s) return fail(std::move(s));
  if (sql::Status s = query.Step(row); !s || !row) return fail(s.ok() ? Garbled("no version") : s);
  version = query.Integer(0);
  if (sql::Status s = query.Prepare(db_, "SELECT count(*) FROM sqlite_master"); !s)
    return fail(std::move(s));
  if (sql::Status s = query.Step(row); !s || !row) return fail(s.ok() ? Garbled("no tables") : s);
  tables = query.Integer(0);
  query.Finalize();

  // A newer program's layout is kept as it is, for that program: not ours to
  // write, nor to put aside. Another program's database is not ours either.
  const bool empty = version == 0 && tables == 0;
  if (version > SchemaVersion) {
    db_.Close();
    status = NewerLayout();
    return Opened::Failed;
  }
  if (!empty && version != SchemaVersion && version != 1) return fail(Garbled("unknown layout"));
  // WAL: a reader never waits for the writer, and one sync per commit.
  // Checkpoints are run after a batch, never in the middle of one.
  if (sql::Status s = db_.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                                  "PRAGMA wal_autocheckpoint=0");
      !s)
    return fail(std::move(s));
  if (version != SchemaVersion) {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return fail(transaction.begun());
    if (empty)
      if (sql::Status s = db_.Execute(Schema); !s) return fail(std::move(s));
    if (sql::Status s = db_.Execute(SecondLayout); !s) return fail(std::move(s));
    if (sql::Status s = transaction.Commit(); !s) return fail(std::move(s));
  }
  // A store that cannot take it is still read; an undo's claim then says why.
  (void)db_.Execute(UndoOwnerTable);
  (void)db_.Execute(TagHeadTable);
  // A store whose tables lack a column cannot be written either.
  const std::string probe = std::string("SELECT ") + StepColumns + " FROM step LIMIT 0";
  if (sql::Status s = query.Prepare(db_, probe.c_str()); !s)
    return fail(MeansTransient(s) ? s : Garbled("unknown layout"));
  if (sql::Status s = query.Prepare(
          db_, (std::string("SELECT id, ") + BatchColumns + " FROM batch LIMIT 0").c_str());
      !s)
    return fail(MeansTransient(s) ? s : Garbled("unknown layout"));
  return Opened::Ready;
}

// Renames the store and its companions (a write-ahead log left behind would
// be replayed into a new store of the same name) to one free name.
bool HistoryStore::PutAside(std::string& aside) {
  db_.Close();
  static const char* const suffixes[] = {"", "-wal", "-shm"};
  bool any = false;
  for (const char* suffix : suffixes)
    any = any || NativeStatus(path_ + suffix).kind != FileKind::Missing;
  if (!any) return false;

  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) != nullptr)
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  for (int n = 1; n < 1000; ++n) {
    aside = path_ + ".broken-" + stamp;
    if (n > 1) aside.append("-").append(std::to_string(n));
    bool free = true;
    for (const char* suffix : suffixes)
      free = free && NativeStatus(aside + suffix).kind == FileKind::Missing;
    if (free) break;
  }
  for (const char* suffix : suffixes) {
    const std::string from = path_ + suffix;
    if (NativeStatus(from).kind == FileKind::Missing) continue;
    if (!NativeMove(from, aside + suffix)) return false;
  }
  TellUndoable(false);
  return true;
}

namespace {

// One row of StepColumns into `step`, checked against its batch.
sql::Status ReadStep(const sql::Statement& query, const StoredBatch& batch, StoredStep& step) {
  if (!ReadPath(query, StepColumn("path"), step.path, &step.nativePath) ||
      !ReadPath(query, StepColumn("new_path"), step.newPath, &step.nativeNewPath))
    return Garbled("step path");
  step.file = ReadIdentity(query, StepColumn("dev"));
  ReadContent(query, StepColumn("modified"), step.file);
  if (step.file.known && (step.path.empty() || step.newPath.empty())) return Garbled("step path");
  step.target = ReadIdentity(query, StepColumn("target_dev"));
  ReadContent(query, StepColumn("target_modified"), step.target);
  step.hasOldTail = !query.IsNull(StepColumn("old_tail"));
  step.oldTail = query.Blob(StepColumn("old_tail"));
  step.newEnd = query.Blob(StepColumn("new_end"));
  const bool tags = batch.kind != BatchKind::Rename;
  if ((step.hasOldTail && step.oldTail.size() != TrailerSize) ||
      (tags && (!step.file.known || step.newEnd.size() > TrailerSize ||
                (batch.kind == BatchKind::TagUpdate && step.newEnd.size() != TrailerSize) ||
                (batch.kind == BatchKind::TagRemoval && !step.hasOldTail))))
    return Garbled("step tails");
  step.outcomeKnown = !query.IsNull(StepColumn("outcome"));
  const std::int64_t outcome = step.outcomeKnown ? query.Integer(StepColumn("outcome")) : 0;
  const std::int64_t replaced = query.IntegerOr(StepColumn("replaced"), 0);
  if (outcome < 0 || outcome > 2 || replaced < 0 || replaced > 2) return Garbled("outcome");
  // A finished batch writes only the rows that changed something.
  step.outcomeKnown = step.outcomeKnown || batch.finished;
  step.outcome = static_cast<RowOutcome>(outcome);
  if (!ReadPath(query, StepColumn("place"), step.place, &step.nativePlace)) return Garbled("place");
  step.placed = ReadIdentity(query, StepColumn("placed_dev"), false);
  step.placed.length = query.IntegerOr(StepColumn("placed_length"), step.file.length);
  ReadContent(query, StepColumn("placed_modified"), step.placed);
  step.replaced = static_cast<ReplacedFate>(replaced);
  step.replacedPath = query.Blob(StepColumn("replaced_path"));
  step.replacedFile = ReadIdentity(query, StepColumn("replaced_dev"));
  ReadContent(query, StepColumn("replaced_modified"), step.replacedFile);
  step.undone = query.IntegerOr(StepColumn("undone"), 0) != 0;
  return {};
}

}  // namespace

sql::Status HistoryStore::LoadBatch(std::int64_t id, StoredBatch& batch) {
  batch = StoredBatch{};
  batch.id = id;
  sql::Kept query;
  bool row = false;
  const std::string batchSql = std::string("SELECT ") + BatchColumns + " FROM batch WHERE id=?1";
  if (sql::Status s = query.Prepare(db_, batchSql.c_str()); !s) return s;
  if (sql::Status s = query->Bind(1, id).Step(row); !s || !row) return s.ok() ? Garbled("gone") : s;
  const std::int64_t kind = query->Integer(BatchColumn("kind")),
                     state = query->Integer(BatchColumn("state"));
  if (kind < 1 || kind > 3 || state < Planned || state > Finished)
    return Garbled("batch out of range");
  batch.kind = static_cast<BatchKind>(kind);
  batch.made = static_cast<std::time_t>(query->Integer(BatchColumn("made")));
  if (!ReadPath(query, BatchColumn("temporary"), batch.temporary, &batch.nativeTemporary))
    return Garbled("temporary path");
  batch.finished = state == Finished;
  batch.files = static_cast<int>(query->Integer(BatchColumn("files")));
  batch.owner = {query->IntegerOr(BatchColumn("owner_pid"), 0),
                 query->IntegerOr(BatchColumn("owner_start"), 0)};
  batch.volume.uuid = query->Blob(BatchColumn("vol_uuid"));
  batch.volume.label = query->Blob(BatchColumn("vol_label"));
  batch.volume.mountPoint = query->Blob(BatchColumn("vol_mount"));
  batch.volume.device = static_cast<std::uint64_t>(query->IntegerOr(BatchColumn("vol_dev"), 0));
  batch.volume.keepsInodes = query->IntegerOr(BatchColumn("vol_keeps"), 1) != 0;

  const std::string sql =
      std::string("SELECT ") + StepColumns + " FROM step WHERE batch=?1 ORDER BY seq";
  if (sql::Status s = query.Prepare(db_, sql.c_str()); !s) return s;
  query->Bind(1, id);
  for (;;) {
    if (sql::Status s = query->Step(row); !s) return s;
    if (!row) break;
    StoredStep step;
    step.seq = batch.steps.size();
    if (sql::Status s = ReadStep(query, batch, step); !s) return s;
    if (step.undone) ++batch.undoneSteps;
    batch.steps.push_back(std::move(step));
  }
  if (batch.steps.empty() || (batch.kind != BatchKind::Rename && batch.steps.size() != 1))
    return Garbled("steps");
  static constexpr const char* placeholder = "path, made";
  const std::string placeholderSql =
      std::string("SELECT ") + placeholder + " FROM placeholder WHERE batch=?1";
  if (sql::Status s = query.Prepare(db_, placeholderSql.c_str()); !s) return s;
  query->Bind(1, id);
  for (;;) {
    if (sql::Status s = query->Step(row); !s) return s;
    if (!row) break;
    batch.placeholders.push_back({std::string(query->Blob(ColumnOf(placeholder, "path"))),
                                  query->Integer(ColumnOf(placeholder, "made"))});
  }
  if (batch.kind != BatchKind::TagUpdate) return {};
  return LoadTagHead(db_, id, batch.head);
}

template <typename WriteFn>
HistoryStore::Written HistoryStore::Write(WriteFn write) {
  Written written;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Opened opened = Open(written.status);
    if (opened == Opened::Ready) {
      written.status = write(written.batch);
      if (written.status.ok()) return written;
      opened = MeansGarbled(written.status) ? Opened::Broken : Opened::Failed;
    }
    if (std::string aside; opened == Opened::Broken && attempt == 0 && PutAside(aside)) {
      written.aside = std::move(aside);
      continue;
    }
    return written;
  }
  return written;
}

HistoryStore::Written HistoryStore::AddRename(std::span<const PlannedStep> steps,
                                              const std::string& temporary,
                                              const RecordedVolume& volume,
                                              std::span<const Identity> copied) {
  return Write([&](std::int64_t& id) -> sql::Status {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return transaction.begun();
    if (sql::Status s = InsertBatch(db_, BatchKind::Rename, steps.size(), temporary, volume); !s)
      return s;
    const std::int64_t added = db_.LastInsertId();

    sql::Statement step;
    if (sql::Status s = step.Prepare(db_,
                                     "INSERT INTO step(batch, seq, path, new_path, dev, ino, "
                                     "length, target_dev, target_ino, target_length, modified, "
                                     "tail) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                                     "?12)");
        !s)
      return s;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      step.Bind(1, added).Bind(2, static_cast<std::int64_t>(i));
      step.BindBlob(3, steps[i].path).BindBlob(4, steps[i].newPath);
      BindIdentity(step, 5, steps[i].file);
      BindIdentity(step, 8, steps[i].target);
      BindContent(step, 11, steps[i].file);
      if (sql::Status s = step.Run(); !s) return s;
    }
    if (sql::Status s = KnowByContent(db_, added, copied); !s) return s;
    return CommitAdded(db_, transaction, added, id);
  });
}

HistoryStore::Written HistoryStore::AddTagChange(BatchKind kind, const PlannedStep& step,
                                                 std::optional<std::string_view> oldTail,
                                                 std::string_view newEnd,
                                                 const RecordedVolume& volume,
                                                 const StoredTagHead* head) {
  return Write([&](std::int64_t& id) -> sql::Status {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return transaction.begun();
    if (sql::Status s = InsertBatch(db_, kind, 1, {}, volume); !s) return s;
    sql::Kept kept;
    const std::int64_t added = db_.LastInsertId();
    if (sql::Status s = kept.Prepare(db_,
                                     "INSERT INTO step(batch, seq, path, new_path, dev, ino, "
                                     "length, old_tail, new_end, modified) "
                                     "VALUES(?1, 0, ?2, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        !s)
      return s;
    sql::Statement& statement = *kept;
    statement.Bind(1, added).BindBlob(2, step.path);
    BindIdentity(statement, 3, step.file);
    if (oldTail)
      statement.BindBlob(6, *oldTail);
    else
      statement.BindNull(6);
    statement.BindBlob(7, newEnd);
    BindNumber(statement, 8, step.file.modified, step.file.modified != 0);
    if (sql::Status s = statement.Run(); !s) return s;
    if (head != nullptr)
      if (sql::Status s = InsertTagHead(db_, added, *head); !s) return s;
    return CommitAdded(db_, transaction, added, id);
  });
}

sql::Status HistoryStore::PlannedFile(std::int64_t batch, std::size_t seq, std::string& native,
                                      Identity& file) {
  native.clear();
  file = {};
  if (batch == 0 || !db_.isOpen()) return {};
  sql::Statement query;
  bool row = false;
  static constexpr const char* columns = "path, dev, ino, length, modified, tail";
  const std::string sql = std::string("SELECT ") + columns + " FROM step WHERE batch=?1 AND seq=?2";
  if (sql::Status s = query.Prepare(db_, sql.c_str()); !s) return s;
  if (sql::Status s = query.Bind(1, batch).Bind(2, static_cast<std::int64_t>(seq)).Step(row);
      !s || !row)
    return s;
  native = query.Blob(ColumnOf(columns, "path"));
  file = ReadIdentity(query, ColumnOf(columns, "dev"));
  ReadContent(query, ColumnOf(columns, "modified"), file);
  return {};
}

sql::Status HistoryStore::SetTarget(std::int64_t batch, std::size_t seq, const Identity& target,
                                    const Identity& file) {
  if (batch == 0 || !db_.isOpen()) return {};
  sql::Transaction transaction(db_);
  if (!transaction.begun()) return transaction.begun();
  sql::Statement update;
  if (sql::Status s = update.Prepare(db_,
                                     "UPDATE step SET target_dev=?1, target_ino=?2, "
                                     "target_length=?3, target_modified=?6, target_tail=?7, "
                                     "tail=coalesce(?8, tail) WHERE batch=?4 AND seq=?5");
      !s)
    return s;
  BindIdentity(update, 1, target);
  BindContent(update, 6, target);
  BindText(update, 8, file.known ? std::string_view(file.tail) : std::string_view());
  update.Bind(4, batch).Bind(5, static_cast<std::int64_t>(seq));
  if (sql::Status s = update.Run(); !s) return s;
  if (sql::Status s = KnowByContent(db_, batch, std::span(&file, 1)); !s) return s;
  return transaction.Commit();
}

sql::Status HistoryStore::AddPlaceholder(std::int64_t batch, const std::string& native,
                                         std::int64_t made) {
  if (batch == 0 || !db_.isOpen()) return {SQLITE_MISUSE, "no batch"};
  sql::Statement insert;
  if (sql::Status s =
          insert.Prepare(db_, "INSERT INTO placeholder(batch, path, made) VALUES(?1, ?2, ?3)");
      !s)
    return s;
  return insert.Bind(1, batch).BindBlob(2, native).Bind(3, made).Run();
}

sql::Status HistoryStore::FinishRename(std::int64_t batch,
                                       const std::function<bool(StepOutcome&)>& next, int changed) {
  if (batch == 0 || !db_.isOpen()) return {};
  sql::Transaction transaction(db_);
  if (!transaction.begun()) return transaction.begun();
  sql::Statement update;
  if (sql::Status s =
          update.Prepare(db_,
                         "UPDATE step SET outcome=?1, place=?2, placed_dev=?3, placed_ino=?4, "
                         "replaced=?5, replaced_path=?6, replaced_dev=?7, replaced_ino=?8, "
                         "replaced_length=?9, placed_length=?12, placed_modified=?13, "
                         "placed_tail=?14, replaced_modified=?15, replaced_tail=?16 "
                         "WHERE batch=?10 AND seq=?11");
      !s)
    return s;
  for (StepOutcome o; next(o); o = StepOutcome{}) {
    update.Bind(1, static_cast<std::int64_t>(o.outcome));
    BindText(update, 2, o.place);
    BindIdentity(update, 3, o.placed, false);
    update.Bind(5, static_cast<std::int64_t>(o.replaced));
    BindText(update, 6, o.replacedPath);
    BindIdentity(update, 7, o.replacedFile);
    BindNumber(update, 12, o.placed.length, o.placed.known);
    BindContent(update, 13, o.placed);
    BindContent(update, 15, o.replacedFile);
    update.Bind(10, batch).Bind(11, static_cast<std::int64_t>(o.seq));
    if (sql::Status s = update.Run(); !s) return s;
  }
  const char* const ends[] = {"DELETE FROM step WHERE batch=?1",
                              "DELETE FROM placeholder WHERE batch=?1",
                              "DELETE FROM batch WHERE id=?1"};
  sql::Statement statement;
  if (changed == 0) {
    for (const char* end : ends) {
      if (sql::Status s = statement.Prepare(db_, end); !s) return s;
      if (sql::Status s = statement.Bind(1, batch).Run(); !s) return s;
    }
  } else {
    if (sql::Status s = statement.Prepare(db_, "UPDATE batch SET state=1, files=?2 WHERE id=?1");
        !s)
      return s;
    if (sql::Status s = statement.Bind(1, batch).Bind(2, changed).Run(); !s) return s;
  }
  if (sql::Status s = transaction.Commit(); !s) return s;
  Checkpoint();
  if (changed > 0) TellUndoable(true);
  return {};
}

void HistoryStore::MarkFinished(std::int64_t batch) {
  if (batch == 0 || !db_.isOpen()) return;
  sql::Kept statement;
  if (!statement.Prepare(db_, "UPDATE batch SET state=1 WHERE id=?1") ||
      !statement->Bind(1, batch).Run())
    return;
  Checkpoint();
  TellUndoable(true);
}

void HistoryStore::MarkUndone(std::int64_t batch) {
  if (batch == 0 || !db_.isOpen()) return;
  sql::Transaction transaction(db_);
  sql::Kept statement;
  if (transaction.begun() && statement.Prepare(db_, "UPDATE batch SET state=2 WHERE id=?1") &&
      statement->Bind(1, batch).Run()) {
    ReleaseUndo(batch);
    if (transaction.Commit()) Checkpoint();
  }
  TellUndoableFromStore();
}

void HistoryStore::MarkStepsUndone(std::int64_t batch, std::span<const std::size_t> seqs) {
  if (batch == 0 || !db_.isOpen()) return;
  sql::Transaction transaction(db_);
  sql::Statement update;
  if (!transaction.begun() ||
      !update.Prepare(db_, "UPDATE step SET undone=1 WHERE batch=?1 AND seq=?2"))
    return;
  for (const std::size_t seq : seqs)
    if (!update.Bind(1, batch).Bind(2, static_cast<std::int64_t>(seq)).Run()) return;
  ReleaseUndo(batch);
  if (transaction.Commit()) Checkpoint();
}

void HistoryStore::Drop(std::int64_t batch) {
  if (batch == 0 || !db_.isOpen()) return;
  sql::Transaction transaction(db_);
  sql::Kept statement;
  if (!transaction.begun() || !statement.Prepare(db_, "DELETE FROM step WHERE batch=?1") ||
      !statement->Bind(1, batch).Run() ||
      !statement.Prepare(db_, "DELETE FROM batch WHERE id=?1") || !statement->Bind(1, batch).Run())
    return;
  if (statement.Prepare(db_, "DELETE FROM tag_head WHERE batch=?1"))
    (void)statement->Bind(1, batch).Run();
  (void)transaction.Commit();
}

// The log is folded into the store only once it has grown past a megabyte
// (some thousands of files' steps): folding it after every batch would put
// a second sync on every command. Closing the store folds the rest.
void HistoryStore::Checkpoint() {
  constexpr std::int64_t FoldFrom = 1 << 20;
  if (NativeStatus(path_ + "-wal").length > FoldFrom) (void)db_.Checkpoint();
}

bool HistoryStore::MayUndo() {
  TellUndoableFromStore();
  return undoable_.value_or(true);
}

void HistoryStore::TellUndoableFromStore() {
  if (!db_.isOpen()) {
    // No store, nothing to undo: and none is made for asking.
    if (NativeStatus(path_).kind == FileKind::Missing) return TellUndoable(false);
    sql::Status status;
    if (Open(status) != Opened::Ready) return TellUndoable(true);  // undo itself will tell
  }
  sql::Kept query;
  bool row = false;
  if (!query.Prepare(db_, "SELECT EXISTS(SELECT 1 FROM batch WHERE state != 2)") ||
      !query->Step(row) || !row)
    return TellUndoable(true);  // undo itself will tell what is wrong
  TellUndoable(query->Integer(0) != 0);
}

void HistoryStore::TellUndoable(bool undoable) {
  if (undoable_ == undoable) return;
  undoable_ = undoable;
  if (listener_) listener_(undoable);
}

HistoryStore::Loaded HistoryStore::LoadNewest(StoredBatch& batch, sql::Status& status,
                                              std::string& aside) {
  Opened opened = Open(status);
  if (opened == Opened::Ready) {
    // A store garbled where no query of ours would look is garbled still.
    sql::Kept query;
    bool row = false;
    status = query.Prepare(db_, "PRAGMA quick_check");
    if (status) status = query->Step(row);
    if (status && (!row || query->Blob(0) != "ok")) status = Garbled("quick_check");
    if (status)
      status = query.Prepare(db_, "SELECT id FROM batch WHERE state != 2 ORDER BY id DESC LIMIT 1");
    if (status) status = query->Step(row);
    if (status && !row) {
      TellUndoable(false);
      return Loaded::Nothing;
    }
    if (status) status = LoadBatch(query->Integer(0), batch);
    // A run still going on in another window is not taken back under it;
    // one whose process died (a crash) is, from what is on disk.
    if (status && !batch.finished && batch.owner.pid != ThisProcess().pid &&
        StillRunning(batch.owner))
      return Loaded::Busy;
    if (status) return Loaded::Ready;
    opened = MeansTransient(status) ? Opened::Failed : Opened::Broken;
  }
  if (std::string putAt; opened == Opened::Broken && PutAside(putAt)) {
    aside = std::move(putAt);
    return Loaded::PutAside;
  }
  return Loaded::Unreadable;
}

}  // namespace selvane
