#pragma once
// A thin owner of SQLite's C handles: each handle is released on every way
// out, and every call gives its outcome as a value.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
  Database();
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens the database file at the native path, creating it when missing.
  Status Open(const std::string& path);
  // Finalises the statements still prepared on it, then closes.
  void Close();
  bool isOpen() const { return db_ != nullptr; }
  // Runs statements that give no rows.
  Status Execute(const char* sql);
  // Runs a statement that gives no rows, kept prepared (see Kept).
  Status Run(const char* sql);
  std::int64_t LastInsertId() const;
  // Copies the write-ahead log into the database as far as no reader
  // holds it back.
  Status Checkpoint();
  sqlite3* handle() const { return db_; }

 private:
  friend class Statement;
  friend class Kept;
  struct KeptEntry;
  sqlite3* db_ = nullptr;
  Statement* statements_ = nullptr;  // the newest prepared, linked to the older
  // Found by the text a caller passes, with no string made for the look.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::unique_ptr<KeptEntry>, TextHash, std::equal_to<>> kept_;
  // Kept statements still lent when the database closed: their borrowers
  // reset them later, so they live on, finalised, as long as the database.
  std::vector<std::unique_ptr<KeptEntry>> closedLent_;
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

// A statement prepared on its first use and kept by the database until it
// closes, lent for one use at a time: compiling a statement costs about as
// much as running it, and every command runs the same few. Reset when the
// loan ends, so no read stays open behind the caller's back; a statement
// already lent (a query inside a query of the same text) is prepared anew.
class Kept {
 public:
  Kept() = default;
  ~Kept() { Release(); }
  Kept(const Kept&) = delete;
  Kept& operator=(const Kept&) = delete;

  Status Prepare(Database& db, std::string_view sql);

  Statement& operator*() const { return *statement_; }
  Statement* operator->() const { return statement_; }
  operator Statement&() const { return *statement_; }  // NOLINT: lent as itself

 private:
  void Release();
  Statement* statement_ = nullptr;
  bool* lent_ = nullptr;
  std::unique_ptr<Statement> own_;
};

// While it lives, commits are not synced: the log keeps them whole and in
// order, and a later synced commit syncs them too, but a power cut may lose
// the last ones. For records that matter only while the program runs, or
// that the disk itself tells again. Gives the connection back synced (FULL).
class UnsyncedCommits {
 public:
  explicit UnsyncedCommits(Database& db) : db_(db) { (void)db_.Run("PRAGMA synchronous=NORMAL"); }
  ~UnsyncedCommits() { (void)db_.Run("PRAGMA synchronous=FULL"); }
  UnsyncedCommits(const UnsyncedCommits&) = delete;
  UnsyncedCommits& operator=(const UnsyncedCommits&) = delete;

 private:
  Database& db_;
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
