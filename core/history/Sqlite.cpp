#include "core/history/Sqlite.h"

#include <sqlite3.h>

namespace selvane::sql {
namespace {

Status ErrorOf(sqlite3* db, int code) {
  if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return {};
  Status status;
  // The connection's extended code is more telling than the primary one a
  // call returns; it belongs to the same failure when the primaries agree.
  const int extended = db != nullptr ? sqlite3_extended_errcode(db) : code;
  status.code = (extended & 0xFF) == (code & 0xFF) ? extended : code;
  status.message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return status;
}

}  // namespace

struct Database::KeptEntry {
  Statement statement;
  bool lent = false;
};

Database::Database() = default;

Database::~Database() {
  Close();
  closedLent_.clear();
}

Status Database::Open(const std::string& path) {
  Close();
  const int code = sqlite3_open_v2(
      path.c_str(), &db_,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      nullptr);
  if (code == SQLITE_OK) return {};
  Status status = ErrorOf(db_, code);
  Close();
  return status;
}

void Database::Close() {
  for (auto& [sql, entry] : kept_)
    if (entry->lent) closedLent_.push_back(std::move(entry));
  kept_.clear();
  while (statements_ != nullptr) statements_->Finalize();
  if (db_ == nullptr) return;
  // Every statement is finalised, so this cannot be refused as busy.
  sqlite3_close(db_);
  db_ = nullptr;
}

Status Database::Execute(const char* sql) {
  if (db_ == nullptr) return {SQLITE_MISUSE, "no database"};
  return ErrorOf(db_, sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

Status Database::Run(const char* sql) {
  Kept statement;
  if (Status s = statement.Prepare(*this, sql); !s) return s;
  return statement->Run();
}

Status Kept::Prepare(Database& db, std::string_view sql) {
  Release();
  if (db.db_ == nullptr) return {SQLITE_MISUSE, "no database"};
  auto found = db.kept_.find(sql);
  if (found == db.kept_.end()) {
    std::string text(sql);
    auto entry = std::make_unique<Database::KeptEntry>();
    if (Status s = entry->statement.Prepare(db, text.c_str()); !s) return s;
    found = db.kept_.emplace(std::move(text), std::move(entry)).first;
  }
  if (found->second->lent) {
    own_ = std::make_unique<Statement>();
    if (Status s = own_->Prepare(db, found->first.c_str()); !s) {
      own_.reset();
      return s;
    }
    statement_ = own_.get();
    return {};
  }
  statement_ = &found->second->statement;
  lent_ = &found->second->lent;
  *lent_ = true;
  return {};
}

void Kept::Release() {
  if (lent_ != nullptr) {
    statement_->Reset();
    *lent_ = false;
  }
  own_.reset();
  statement_ = nullptr;
  lent_ = nullptr;
}

std::int64_t Database::LastInsertId() const {
  return db_ != nullptr ? sqlite3_last_insert_rowid(db_) : 0;
}

Status Database::Checkpoint() {
  if (db_ == nullptr) return {SQLITE_MISUSE, "no database"};
  // The log is also cut to nothing: a large log left behind would be
  // deleted when the store closes, which for a run over a whole collection
  // takes longer than the rest of leaving the program.
  return ErrorOf(
      db_, sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr));
}

Status Statement::Prepare(Database& db, const char* sql) {
  Finalize();
  db_ = db.handle();
  if (db_ == nullptr) return {SQLITE_MISUSE, "no database"};
  owner_ = &db;
  next_ = db.statements_;
  if (next_ != nullptr) next_->previous_ = this;
  db.statements_ = this;
  return ErrorOf(db_, sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr));
}

void Statement::Finalize() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  bindError_ = 0;
  if (owner_ != nullptr) {
    (previous_ != nullptr ? previous_->next_ : owner_->statements_) = next_;
    if (next_ != nullptr) next_->previous_ = previous_;
  }
  owner_ = nullptr;
  previous_ = next_ = nullptr;
  db_ = nullptr;
}

Statement& Statement::Bind(int index, std::int64_t value) {
  const int code = stmt_ != nullptr ? sqlite3_bind_int64(stmt_, index, value) : SQLITE_MISUSE;
  if (code != SQLITE_OK && bindError_ == 0) bindError_ = code;
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob is still a blob, not NULL.
  const int code = stmt_ != nullptr
                       ? sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(),
                                             bytes.size(), SQLITE_TRANSIENT)
                       : SQLITE_MISUSE;
  if (code != SQLITE_OK && bindError_ == 0) bindError_ = code;
  return *this;
}

Statement& Statement::BindNull(int index) {
  const int code = stmt_ != nullptr ? sqlite3_bind_null(stmt_, index) : SQLITE_MISUSE;
  if (code != SQLITE_OK && bindError_ == 0) bindError_ = code;
  return *this;
}

Status Statement::Error(int code) const {
  Status status = ErrorOf(db_, code);
  if (status.ok()) status = {code, sqlite3_errstr(code)};
  return status;
}

Status Statement::Step(bool& row) {
  row = false;
  if (stmt_ == nullptr) return {SQLITE_MISUSE, "no statement"};
  if (bindError_ != 0) {
    const int code = bindError_;
    bindError_ = 0;
    return Error(code);
  }
  const int code = sqlite3_step(stmt_);
  if (code == SQLITE_ROW) {
    row = true;
    return {};
  }
  if (code == SQLITE_DONE) return {};
  return Error(code);
}

Status Statement::Run() {
  bool row = false;
  Status status;
  do {
    status = Step(row);
  } while (status.ok() && row);
  Reset();
  return status;
}

void Statement::Reset() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  bindError_ = 0;
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t Statement::Integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string_view Statement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (data == nullptr || size <= 0) return {};
  return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

Transaction::Transaction(Database& db) : db_(db) {
  begun_ = db_.Run("BEGIN IMMEDIATE");
  open_ = begun_.ok();
}

Transaction::~Transaction() {
  if (open_) (void)db_.Run("ROLLBACK");
}

Status Transaction::Commit() {
  if (!open_) return begun_.ok() ? Status{SQLITE_MISUSE, "not in a transaction"} : begun_;
  Status status = db_.Run("COMMIT");
  // A failed COMMIT may leave the transaction open; the destructor's
  // rollback then ends it.
  open_ = !status.ok() && sqlite3_get_autocommit(db_.handle()) == 0;
  return status;
}

}  // namespace selvane::sql
