#include "core/history/History.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/history/StoredBatch.h"
#include "core/platform/Cp932.h"

namespace selvane {
namespace {

constexpr std::int64_t SchemaVersion = 1;
// Keeps the newest 100 batches, undone or not.
const char* const TrimBatches =
    "DELETE FROM step WHERE batch IN (SELECT id FROM batch ORDER BY id DESC LIMIT -1 OFFSET 100);"
    "DELETE FROM batch WHERE id IN (SELECT id FROM batch ORDER BY id DESC LIMIT -1 OFFSET 100)";
enum BatchState { Planned = 0, Finished = 1, Undone = 2 };

// The layout, with notes for whoever opens the file by hand.
const char* const Schema = R"(
CREATE TABLE batch(
  id INTEGER PRIMARY KEY,
  kind INTEGER NOT NULL,   -- 1 rename, 2 tag update, 3 tag removal
  made INTEGER NOT NULL,   -- seconds since 1970 (UTC)
  temporary BLOB,          -- the rename's temporary file
  state INTEGER NOT NULL,  -- 0 planned, 1 finished, 2 undone
  files INTEGER NOT NULL
);
-- Paths are native bytes. dev, ino, length: the file before the batch;
-- target_*: what held new_path just before the step replaced it (NULL: not
-- known to be taken); placed_*: the file where the run left it; replaced_*:
-- the file an overwrite replaced, and where it went.
CREATE TABLE step(
  batch INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  path BLOB NOT NULL,
  new_path BLOB NOT NULL,
  dev INTEGER, ino INTEGER, length INTEGER,
  target_dev INTEGER, target_ino INTEGER, target_length INTEGER,
  old_tail BLOB,           -- the trailer a tag change found (NULL: none)
  new_end BLOB,            -- what a tag change leaves at the end of the file
  outcome INTEGER,         -- NULL unknown, 0 not moved, 1 moved, 2 failed
  place BLOB,
  placed_dev INTEGER, placed_ino INTEGER,
  replaced INTEGER,        -- 0 none, 1 into the trash, 2 deleted
  replaced_path BLOB,
  replaced_dev INTEGER, replaced_ino INTEGER, replaced_length INTEGER,
  PRIMARY KEY(batch, seq)
) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

const char* const StepColumns =
    "path, new_path, dev, ino, length, target_dev, target_ino, target_length, old_tail, new_end, "
    "outcome, place, placed_dev, placed_ino, replaced, replaced_path, replaced_dev, replaced_ino, "
    "replaced_length";

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return slash == 0 ? "/" : ".";
  return path.substr(0, slash);
}

bool MakeFolders(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (folder.empty() || folder == "/" || folder == ".") return false;
  if (!MakeFolders(Parent(folder))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

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

// For the user's messages: the native path in CP932, as far as it goes.
std::string ShownPath(const std::string& native) {
  std::string cp932;
  if (NativePathToCp932(native, cp932) || NativeToCp932(native, cp932)) return cp932;
  return native;
}

std::string ReasonOf(const sql::Status& status) {
  switch (status.primary()) {
    case SQLITE_FULL:
      return Cp932("ディスクに空きがありません");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Cp932("書き込めません");
    case SQLITE_CANTOPEN:
      return Cp932("開けません");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Cp932("ほかのプログラムが使っています");
    case SQLITE_IOERR:
      return Cp932("読み書きのエラーです");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return Cp932("壊れています");
    default:
      return Cp932("SQLite のエラー ") + std::to_string(status.code);
  }
}

std::string Unreadable(const std::string& store, const std::string& detail) {
  return Cp932("操作の履歴を読み取れないため、元に戻せません。\n\n履歴：") + ShownPath(store) +
         "\n" + detail + Cp932("\n\nファイルは何も変更していません。");
}

Identity NameIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.nameDevice, status.nameInode, status.length};
}

Identity FileIdentity(const FileStatus& status) {
  if (status.kind == FileKind::Missing) return {};
  return {true, status.device, status.inode, status.length};
}

// Device and inode numbers are unsigned; SQLite keeps their bits.
void BindIdentity(sql::Statement& statement, int first, const Identity& identity,
                  bool withLength = true) {
  if (!identity.known) {
    statement.BindNull(first).BindNull(first + 1);
    if (withLength) statement.BindNull(first + 2);
    return;
  }
  statement.Bind(first, static_cast<std::int64_t>(identity.device))
      .Bind(first + 1, static_cast<std::int64_t>(identity.inode));
  if (withLength) statement.Bind(first + 2, identity.length);
}

Identity ReadIdentity(const sql::Statement& statement, int first, bool withLength = true) {
  if (statement.IsNull(first) || statement.IsNull(first + 1)) return {};
  Identity identity{true, static_cast<std::uint64_t>(statement.Integer(first)),
                    static_cast<std::uint64_t>(statement.Integer(first + 1)), 0};
  if (withLength) identity.length = statement.Integer(first + 2);
  return identity;
}

bool ReadPath(const sql::Statement& statement, int column, std::string& cp932) {
  cp932.clear();
  if (statement.IsNull(column)) return true;
  const std::string_view native = statement.Blob(column);
  return native.empty() || NativePathToCp932(native, cp932);
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

bool EndsInTrailer(const unsigned char* tail, std::int64_t length) {
  return length >= static_cast<std::int64_t>(TrailerSize) && std::memcmp(tail, "TAG", 3) == 0;
}

FileResult PlanTagChange(const char* path, FileOps& ops, TagChangePlan& plan) {
  plan = TagChangePlan{};
  plan.path = path;
  plan.file = ops.Status(path);
  if (plan.file.kind == FileKind::Missing) return FileResult{ENOENT};
  if (plan.file.kind != FileKind::Regular)
    return FileResult{plan.file.kind == FileKind::Folder ? EISDIR : NotRegularFileError};
  std::int64_t length = 0;
  if (FileResult read = ops.ReadTail(path, plan.oldTail.data(), length); !read) return read;
  plan.file.length = length;
  plan.hadTrailer = EndsInTrailer(plan.oldTail.data(), length);
  if (!plan.hadTrailer) plan.oldTail.fill(0);
  return {};
}

}  // namespace

std::string DefaultHistoryPath() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    std::string homeFolder = home != nullptr && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
      struct passwd entry {};
      struct passwd* found = nullptr;
      char buffer[4096];
      if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 &&
          found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        homeFolder = found->pw_dir;
    }
    if (homeFolder.empty()) return {};
    base = homeFolder + "/.local/state";
  }
  return base + "/selvane/history.sqlite3";
}

FileResult PlanTagUpdate(const char* path, const Trailer& trailer, FileOps& ops,
                         TagChangePlan& plan) {
  if (FileResult read = PlanTagChange(path, ops, plan); !read) return read;
  plan.newEnd.assign(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  return {};
}

FileResult PlanTagRemoval(const char* path, FileOps& ops, TagChangePlan& plan) {
  if (FileResult read = PlanTagChange(path, ops, plan); !read) return read;
  if (!plan.hadTrailer) return FileResult{NoTrailerError};
  plan.removes = true;
  const std::int64_t rest = plan.file.length - static_cast<std::int64_t>(TrailerSize);
  const std::int64_t kept = rest < 128 ? rest : 128;
  plan.newEnd.assign(static_cast<std::size_t>(kept), '\0');
  if (kept > 0) return ops.ReadAt(path, rest - kept, plan.newEnd.data(), plan.newEnd.size());
  return {};
}

bool GoOnAfterRecording(const RecordResult& result, UserPrompts& ui, std::string_view change) {
  if (!result.notice.empty()) ui.Refuse(result.notice, Cp932("操作の履歴"));
  if (result.recorded) return true;
  return ui.Ask(result.error + Cp932("\n\nこの") + std::string(change) +
                    Cp932("は元に戻せなくなります。続けますか？"),
                Cp932("確認"));
}

History::History(std::string storePath) : path_(std::move(storePath)) {}

History::~History() = default;

History::Opened History::Open(sql::Status& status) {
  status = {};
  if (db_.isOpen()) return Opened::Ready;
  if (path_.empty()) {
    status = {SQLITE_CANTOPEN, "no home folder"};
    return Opened::Failed;
  }
  if (!MakeFolders(Parent(path_))) {
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

  // Another program's database, or a newer layout: not ours to write, and
  // not even to switch to WAL.
  const bool empty = version == 0 && tables == 0;
  if (!empty && version != SchemaVersion) return fail(Garbled("unknown layout"));
  // WAL: a reader never waits for the writer, and one sync per commit.
  // Checkpoints are run after a batch, never in the middle of one.
  if (sql::Status s = db_.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                                  "PRAGMA wal_autocheckpoint=0");
      !s)
    return fail(std::move(s));
  if (empty) {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return fail(transaction.begun());
    if (sql::Status s = db_.Execute(Schema); !s) return fail(std::move(s));
    if (sql::Status s = transaction.Commit(); !s) return fail(std::move(s));
  }
  // A store whose tables lack a column cannot be written either.
  const std::string probe = std::string("SELECT ") + StepColumns + " FROM step LIMIT 0";
  if (sql::Status s = query.Prepare(db_, probe.c_str()); !s)
    return fail(MeansTransient(s) ? s : Garbled("unknown layout"));
  if (sql::Status s =
          query.Prepare(db_, "SELECT id, kind, made, temporary, state, files FROM batch LIMIT 0");
      !s)
    return fail(MeansTransient(s) ? s : Garbled("unknown layout"));
  return Opened::Ready;
}

// Renames the store and its companions (a write-ahead log left behind would
// be replayed into a new store of the same name) to one free name.
bool History::PutAside(std::string& aside) {
  db_.Close();
  openBatch_ = 0;
  offered_.reset();
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
  return true;
}

template <typename Write>
RecordResult History::Record(Write write) {
  RecordResult result;
  for (int attempt = 0; attempt < 2; ++attempt) {
    sql::Status status;
    Opened opened = Open(status);
    if (opened == Opened::Ready) {
      status = write();
      if (status.ok()) {
        result.recorded = true;
        return result;
      }
      opened = MeansGarbled(status) ? Opened::Broken : Opened::Failed;
    }
    std::string aside;
    if (opened == Opened::Broken && attempt == 0 && PutAside(aside)) {
      result.notice =
          Cp932("操作の履歴が壊れていたため、次の名前で残して新しい履歴を始めました：\n") +
          ShownPath(aside);
      continue;
    }
    result.error = Cp932("操作の履歴に記録できません（") + ReasonOf(status) +
                   Cp932("）。\n履歴：") + ShownPath(path_);
    return result;
  }
  return result;
}

RecordResult History::BeginRename(std::span<const RenamePlanRow> rows,
                                  std::string_view temporaryPath) {
  openBatch_ = 0;
  openRows_.clear();
  if (rows.empty()) return RecordResult{true, {}, {}};

  // Native forms first, outside the transaction. A row whose names have
  // none cannot move; it keeps its place with an unknown identity.
  std::vector<NativeRow> native(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    NativeRow& n = native[i];
    if (!Cp932PathToNative(rows[i].path, n.path) ||
        !Cp932PathToNative(rows[i].newPath, n.newPath)) {
      n.path.clear();
      n.newPath.clear();
      continue;
    }
    n.file = NameIdentity(rows[i].file);
    n.target = NameIdentity(rows[i].target);
  }
  const std::string temporary = NativeAbsolute(temporaryPath);

  RecordResult result = Record([&]() -> sql::Status {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return transaction.begun();
    sql::Statement batch;
    if (sql::Status s = batch.Prepare(db_,
                                      "INSERT INTO batch(kind, made, temporary, state, files) "
                                      "VALUES(?1, ?2, ?3, 0, ?4)");
        !s)
      return s;
    batch.Bind(1, static_cast<std::int64_t>(BatchKind::Rename))
        .Bind(2, static_cast<std::int64_t>(std::time(nullptr)))
        .Bind(4, static_cast<std::int64_t>(rows.size()));
    if (temporary.empty())
      batch.BindNull(3);
    else
      batch.BindBlob(3, temporary);
    if (sql::Status s = batch.Run(); !s) return s;
    const std::int64_t id = db_.LastInsertId();

    sql::Statement step;
    if (sql::Status s = step.Prepare(db_,
                                     "INSERT INTO step(batch, seq, path, new_path, dev, ino, "
                                     "length, target_dev, target_ino, target_length) "
                                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        !s)
      return s;
    for (std::size_t i = 0; i < native.size(); ++i) {
      step.Bind(1, id).Bind(2, static_cast<std::int64_t>(i));
      step.BindBlob(3, native[i].path).BindBlob(4, native[i].newPath);
      BindIdentity(step, 5, native[i].file);
      BindIdentity(step, 8, native[i].target);
      if (sql::Status s = step.Run(); !s) return s;
    }
    if (sql::Status s = db_.Execute(TrimBatches); !s) return s;
    if (sql::Status s = transaction.Commit(); !s) return s;
    openBatch_ = id;
    return {};
  });
  if (result.recorded) openRows_ = std::move(native);
  return result;
}

void History::RecordReplacing(std::size_t row, const FileStatus& target) {
  if (openBatch_ == 0 || !db_.isOpen()) return;
  // One statement, committed and synced by itself. Should it fail, the
  // outcome still says where the file went; only a crash would lose that.
  sql::Statement update;
  if (!update.Prepare(db_,
                      "UPDATE step SET target_dev=?1, target_ino=?2, target_length=?3 "
                      "WHERE batch=?4 AND seq=?5"))
    return;
  BindIdentity(update, 1, NameIdentity(target));
  update.Bind(4, openBatch_).Bind(5, static_cast<std::int64_t>(row));
  (void)update.Run();
}

void History::FinishRename(std::span<const RenamePlanRow> rows,
                           std::span<const RenameRowResult> results, FileOps& ops) {
  const std::int64_t id = openBatch_;
  openBatch_ = 0;
  const std::vector<NativeRow> planned = std::exchange(openRows_, {});
  if (id == 0 || !db_.isOpen()) return;
  // Whatever fails here leaves the batch as planned; undo then looks at
  // the disk instead of at the outcome.
  sql::Transaction transaction(db_);
  if (!transaction.begun()) return;
  sql::Statement update;
  if (!update.Prepare(db_,
                      "UPDATE step SET outcome=?1, place=?2, placed_dev=?3, placed_ino=?4, "
                      "replaced=?5, replaced_path=?6, replaced_dev=?7, replaced_ino=?8, "
                      "replaced_length=?9 WHERE batch=?10 AND seq=?11"))
    return;
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
    update.Bind(1, static_cast<std::int64_t>(r.outcome));
    const std::string place = NativeAbsolute(r.where);
    if (place.empty())
      update.BindNull(2);
    else
      update.BindBlob(2, place);
    // A move within one folder keeps the file's identity as planned; a move
    // into another folder may cross file systems and give the file a new
    // inode: take it where the file is now.
    const NativeRow& plannedRow = planned[i];
    Identity placed;
    if (r.outcome == RowOutcome::Moved && r.where.empty() && plannedRow.file.known &&
        Parent(plannedRow.path) == Parent(plannedRow.newPath)) {
      placed = {true, plannedRow.file.device, plannedRow.file.inode, 0};
    } else if (r.outcome == RowOutcome::Moved || !r.where.empty()) {
      const std::string now = r.where.empty() ? std::string(rows[i].newPath) : r.where;
      placed = NameIdentity(ops.Status(now.c_str()));
    }
    BindIdentity(update, 3, placed, false);
    update.Bind(5, static_cast<std::int64_t>(r.replaced));
    if (r.replaced == ReplacedFate::Trashed && !r.trashed.nativePath.empty())
      update.BindBlob(6, r.trashed.nativePath);
    else
      update.BindNull(6);
    BindIdentity(update, 7, NameIdentity(r.trashed.file));
    update.Bind(10, id).Bind(11, static_cast<std::int64_t>(i));
    if (!update.Run()) return;
  }
  sql::Statement batch;
  if (changed == 0) {
    if (!batch.Prepare(db_, "DELETE FROM step WHERE batch=?1") || !batch.Bind(1, id).Run()) return;
    if (!batch.Prepare(db_, "DELETE FROM batch WHERE id=?1") || !batch.Bind(1, id).Run()) return;
  } else {
    if (!batch.Prepare(db_, "UPDATE batch SET state=1, files=?2 WHERE id=?1") ||
        !batch.Bind(1, id).Bind(2, changed).Run())
      return;
  }
  if (!transaction.Commit()) return;
  Checkpoint();
}

RecordResult History::BeginTagChange(const TagChangePlan& plan) {
  openBatch_ = 0;
  openRows_.clear();
  std::string native;
  if (!Cp932PathToNative(plan.path, native))
    return RecordResult{false, {}, Cp932("ファイル名にできない文字が含まれています")};
  const Identity file = FileIdentity(plan.file);
  return Record([&]() -> sql::Status {
    sql::Transaction transaction(db_);
    if (!transaction.begun()) return transaction.begun();
    sql::Statement statement;
    if (sql::Status s = statement.Prepare(
            db_, "INSERT INTO batch(kind, made, state, files) VALUES(?1, ?2, 0, 1)");
        !s)
      return s;
    const BatchKind kind = plan.removes ? BatchKind::TagRemoval : BatchKind::TagUpdate;
    statement.Bind(1, static_cast<std::int64_t>(kind))
        .Bind(2, static_cast<std::int64_t>(std::time(nullptr)));
    if (sql::Status s = statement.Run(); !s) return s;
    const std::int64_t id = db_.LastInsertId();
    if (sql::Status s = statement.Prepare(db_,
                                          "INSERT INTO step(batch, seq, path, new_path, dev, ino, "
                                          "length, old_tail, new_end) "
                                          "VALUES(?1, 0, ?2, ?2, ?3, ?4, ?5, ?6, ?7)");
        !s)
      return s;
    statement.Bind(1, id).BindBlob(2, native);
    BindIdentity(statement, 3, file);
    if (plan.hadTrailer)
      statement.BindBlob(
          6, std::string_view(reinterpret_cast<const char*>(plan.oldTail.data()), TrailerSize));
    else
      statement.BindNull(6);
    statement.BindBlob(7, plan.newEnd);
    if (sql::Status s = statement.Run(); !s) return s;
    if (sql::Status s = db_.Execute(TrimBatches); !s) return s;
    if (sql::Status s = transaction.Commit(); !s) return s;
    openBatch_ = id;
    return {};
  });
}

void History::FinishTagChange(bool done) {
  const std::int64_t id = openBatch_;
  openBatch_ = 0;
  if (id == 0 || !db_.isOpen()) return;
  if (!done) {
    DropBatch(id);
    return;
  }
  sql::Statement statement;
  if (statement.Prepare(db_, "UPDATE batch SET state=1 WHERE id=?1") && statement.Bind(1, id).Run())
    Checkpoint();
}

void History::DropBatch(std::int64_t id) {
  sql::Transaction transaction(db_);
  sql::Statement statement;
  if (!transaction.begun() || !statement.Prepare(db_, "DELETE FROM step WHERE batch=?1") ||
      !statement.Bind(1, id).Run() || !statement.Prepare(db_, "DELETE FROM batch WHERE id=?1") ||
      !statement.Bind(1, id).Run())
    return;
  (void)transaction.Commit();
}

// The log is folded into the store only once it has grown past a megabyte
// (some thousands of files' steps): folding it after every batch would put
// a second sync on every command. Closing the store folds the rest.
void History::Checkpoint() {
  constexpr std::int64_t FoldFrom = 1 << 20;
  if (NativeStatus(path_ + "-wal").length > FoldFrom) (void)db_.Checkpoint();
}

bool History::MayUndo() {
  if (!db_.isOpen()) {
    // No store, nothing to undo: and none is made for asking.
    if (NativeStatus(path_).kind == FileKind::Missing) return false;
    sql::Status status;
    if (Open(status) != Opened::Ready) return true;  // the command itself will tell
  }
  sql::Statement query;
  bool row = false;
  if (!query.Prepare(db_, "SELECT EXISTS(SELECT 1 FROM batch WHERE state != 2)") ||
      !query.Step(row) || !row)
    return true;  // the command itself will tell what is wrong
  return query.Integer(0) != 0;
}

sql::Status History::LoadBatch(std::int64_t id, StoredBatch& batch) {
  batch = StoredBatch{};
  batch.id = id;
  sql::Statement query;
  bool row = false;
  if (sql::Status s =
          query.Prepare(db_, "SELECT kind, made, temporary, state, files FROM batch WHERE id=?1");
      !s)
    return s;
  if (sql::Status s = query.Bind(1, id).Step(row); !s || !row) return s.ok() ? Garbled("gone") : s;
  const std::int64_t kind = query.Integer(0), state = query.Integer(3);
  if (kind < 1 || kind > 3 || state < Planned || state > Finished)
    return Garbled("batch out of range");
  batch.kind = static_cast<BatchKind>(kind);
  batch.made = static_cast<std::time_t>(query.Integer(1));
  if (!ReadPath(query, 2, batch.temporary)) return Garbled("temporary path");
  batch.finished = state == Finished;
  batch.files = static_cast<int>(query.Integer(4));

  const std::string sql =
      std::string("SELECT ") + StepColumns + " FROM step WHERE batch=?1 ORDER BY seq";
  if (sql::Status s = query.Prepare(db_, sql.c_str()); !s) return s;
  query.Bind(1, id);
  for (;;) {
    if (sql::Status s = query.Step(row); !s) return s;
    if (!row) break;
    StoredStep step;
    if (!ReadPath(query, 0, step.path) || !ReadPath(query, 1, step.newPath))
      return Garbled("step path");
    step.file = ReadIdentity(query, 2);
    if (step.file.known && (step.path.empty() || step.newPath.empty())) return Garbled("step path");
    step.target = ReadIdentity(query, 5);
    step.hasOldTail = !query.IsNull(8);
    step.oldTail = query.Blob(8);
    step.newEnd = query.Blob(9);
    const bool tags = batch.kind != BatchKind::Rename;
    if ((step.hasOldTail && step.oldTail.size() != TrailerSize) ||
        (tags && (!step.file.known || step.newEnd.size() > TrailerSize ||
                  (batch.kind == BatchKind::TagUpdate && step.newEnd.size() != TrailerSize) ||
                  (batch.kind == BatchKind::TagRemoval && !step.hasOldTail))))
      return Garbled("step tails");
    step.outcomeKnown = !query.IsNull(10);
    const std::int64_t outcome = step.outcomeKnown ? query.Integer(10) : 0;
    const std::int64_t replaced = query.IsNull(14) ? 0 : query.Integer(14);
    if (outcome < 0 || outcome > 2 || replaced < 0 || replaced > 2) return Garbled("outcome");
    // A finished batch writes only the rows that changed something.
    step.outcomeKnown = step.outcomeKnown || batch.finished;
    step.outcome = static_cast<RowOutcome>(outcome);
    if (!ReadPath(query, 11, step.place)) return Garbled("place");
    step.placed = ReadIdentity(query, 12, false);
    step.placed.length = step.file.length;
    step.replaced = static_cast<ReplacedFate>(replaced);
    step.replacedPath = query.Blob(15);
    step.replacedFile = ReadIdentity(query, 16);
    batch.steps.push_back(std::move(step));
  }
  if (batch.steps.empty() || (batch.kind != BatchKind::Rename && batch.steps.size() != 1))
    return Garbled("steps");
  return {};
}

UndoOffer History::OfferUndo() {
  UndoOffer offer;
  offered_.reset();
  sql::Status status;
  Opened opened = Open(status);
  std::int64_t id = 0;
  if (opened == Opened::Ready) {
    // A store garbled where no query of ours would look is garbled still.
    sql::Statement query;
    bool row = false;
    status = query.Prepare(db_, "PRAGMA quick_check");
    if (status) status = query.Step(row);
    if (status && (!row || query.Blob(0) != "ok")) status = Garbled("quick_check");
    if (status)
      status = query.Prepare(db_,
                             "SELECT id FROM batch WHERE state != 2 "
                             "ORDER BY id DESC LIMIT 1");
    if (status) status = query.Step(row);
    if (status && !row) return offer;  // Nothing
    if (status) {
      id = query.Integer(0);
      auto batch = std::make_unique<StoredBatch>();
      status = LoadBatch(id, *batch);
      if (status) offered_ = std::move(batch);
    }
    if (!status) opened = MeansTransient(status) ? Opened::Failed : Opened::Broken;
  }
  if (opened == Opened::Broken) {
    std::string aside;
    if (PutAside(aside)) {
      offer.state = UndoOffer::State::Broken;
      offer.message = Unreadable(path_, Cp932("\n読み取れなかった履歴は次の名前で残し、"
                                              "新しい履歴を始めました：\n") +
                                            ShownPath(aside));
      return offer;
    }
  }
  if (opened != Opened::Ready) {
    offer.state = UndoOffer::State::Unreadable;
    offer.message = Unreadable(path_, ReasonOf(status));
    return offer;
  }
  offer.state = UndoOffer::State::Ready;
  offer.batch = id;
  offer.question =
      UndoQuestion(offered_->kind, offered_->made, offered_->files, std::time(nullptr));
  return offer;
}

UndoResult History::Undo(const UndoOffer& offer, FileOps& ops, Trash& trash) {
  if (offer.state != UndoOffer::State::Ready || !offered_ || offered_->id != offer.batch ||
      !db_.isOpen())
    return UndoResult{{}, {}, Cp932("元に戻せる操作はありません")};
  const std::unique_ptr<StoredBatch> batch = std::move(offered_);
  UndoResult result = UndoBatch(*batch, ops, trash);
  sql::Statement statement;
  if (statement.Prepare(db_, "UPDATE batch SET state=2 WHERE id=?1") &&
      statement.Bind(1, batch->id).Run())
    Checkpoint();
  return result;
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
