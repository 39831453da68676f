#pragma once
// A thin owner of SQLite's C handles: each handle is released on every way
// out, and every call gives its outcome as a value.
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace selvane::sql {

struct [[nodiscard]] Status {
  int code = 0;         // 0 (SQLITE_OK) or SQLite's extended result code
  std::string message;  // SQLite's English text, for the developer
  bool ok() const { return code == 0; }
  explicit operator bool() const { return ok(); }
  int primary() const { return code & 0xFF; }
};

class Statement;

// Keeps the statements prepared on it, so that closing finalises every one
// of them first: sqlite3_close then really closes, and no statement is left
// pointing at a closed connection.
class Database {
 public:
  Database() = default;
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens the database file at the native path, creating it when missing.
  Status Open(const std::string& path);
  // Finalises the statements still prepared on it, then closes.
  void Close();
  bool isOpen() const { return db_ != nullptr; }
  // Runs statements that give no rows.
  Status Execute(const char* sql);
  std::int64_t LastInsertId() const;
  // Copies the write-ahead log into the database as far as no reader
  // holds it back.
  Status Checkpoint();
  sqlite3* handle() const { return db_; }

 private:
  friend class Statement;
  sqlite3* db_ = nullptr;
  Statement* statements_ = nullptr;  // the newest prepared, linked to the older
};

class Statement {
 public:
  Statement() = default;
  ~Statement() { Finalize(); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Status Prepare(Database& db, const char* sql);
  void Finalize();

  // Parameters count from 1. A failed bind is kept and reported by the next
  // Step or Run, so a chain of binds needs no checks between them.
  Statement& Bind(int index, std::int64_t value);
  Statement& BindBlob(int index, std::string_view bytes);  // copied
  Statement& BindNull(int index);

  // `row` is true while a row is ready to be read.
  Status Step(bool& row);
  // Steps a statement that gives no rows to its end, then resets it.
  Status Run();
  void Reset();

  bool IsNull(int column) const;
  std::int64_t Integer(int column) const;
  // The number, or `none` for NULL.
  std::int64_t IntegerOr(int column, std::int64_t none) const {
    return IsNull(column) ? none : Integer(column);
  }
  std::string_view Blob(int column) const;  // valid until the next step

 private:
  Status Error(int code) const;
  sqlite3_stmt* stmt_ = nullptr;
  sqlite3* db_ = nullptr;
  Database* owner_ = nullptr;
  Statement *previous_ = nullptr, *next_ = nullptr;
  int bindError_ = 0;
};

// BEGIN IMMEDIATE at construction; rolled back at destruction unless
// committed.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  const Status& begun() const { return begun_; }
  Status Commit();

 private:
  Database& db_;
  Status begun_;
  bool open_ = false;
};

}  // namespace selvane::sql
