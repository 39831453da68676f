// The SQLite statement wrapper: a value that cannot be bound stops the
// statement rather than writing NULL in its place; a kept statement reads
// what another connection wrote since its last loan, and two loans of one
// text never share a statement.
#include <gtest/gtest.h>

#include <functional>

#include "core/history/Sqlite.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// A value that cannot be bound (a parameter number the statement lacks)
// stops the statement: nothing is written with NULL in its place.
TEST(SqliteStatementTest, AValueThatCannotBeBoundStopsTheStatement) {
  TempFolder folder;
  sql::Database db;
  ASSERT_TRUE(db.Open(folder / "binds.sqlite3"));
  ASSERT_TRUE(db.Execute("CREATE TABLE t(a, b)"));
  const std::function<void(sql::Statement&)> binds[] = {
      [](sql::Statement& s) { s.Bind(3, 7); },
      [](sql::Statement& s) { s.BindBlob(3, "bytes"); },
      [](sql::Statement& s) { s.BindNull(3); },
  };
  for (const auto& bind : binds) {
    sql::Statement insert;
    ASSERT_TRUE(insert.Prepare(db, "INSERT INTO t VALUES(?1, ?2)"));
    insert.Bind(1, 1).Bind(2, 2);
    bind(insert);
    EXPECT_FALSE(insert.Run().ok());
  }
  sql::Statement count;
  bool row = false;
  ASSERT_TRUE(count.Prepare(db, "SELECT count(*) FROM t"));
  ASSERT_TRUE(count.Step(row));
  ASSERT_TRUE(row);
  EXPECT_EQ(count.Integer(0), 0);
}

std::int64_t Count(sql::Database& db) {
  sql::Kept count;
  bool row = false;
  if (!count.Prepare(db, "SELECT count(*) FROM t") || !count->Step(row) || !row) return -1;
  return count->Integer(0);
}

// Another window's store connection writes between two looks of this one:
// the second look sees it (a loan left unreset would keep the old snapshot,
// or give no row at all). A query inside a query of the same text gets a
// statement of its own; and a loan still out when the database closes (the
// store put aside) ends without touching freed memory.
TEST(SqliteKeptTest, LoansSeeOtherWritersAndNeverShareAStatement) {
  TempFolder folder;
  sql::Database mine, other;
  ASSERT_TRUE(mine.Open(folder / "kept.sqlite3"));
  ASSERT_TRUE(mine.Execute("PRAGMA journal_mode=WAL; CREATE TABLE t(a)"));
  ASSERT_TRUE(other.Open(folder / "kept.sqlite3"));
  EXPECT_EQ(Count(mine), 0);
  ASSERT_TRUE(other.Execute("INSERT INTO t VALUES(1)"));
  EXPECT_EQ(Count(mine), 1);

  sql::Kept outer;
  bool row = false;
  ASSERT_TRUE(outer.Prepare(mine, "SELECT count(*) FROM t"));
  ASSERT_TRUE(outer->Step(row));
  ASSERT_TRUE(row);
  EXPECT_EQ(Count(mine), 1);
  EXPECT_EQ(outer->Integer(0), 1);

  mine.Close();
}

}  // namespace
}  // namespace selvane
