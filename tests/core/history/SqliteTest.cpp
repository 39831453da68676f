// The SQLite statement wrapper: a value that cannot be bound stops the
// statement rather than writing NULL in its place.
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

}  // namespace
}  // namespace selvane
