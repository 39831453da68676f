// Who is taking a batch back: an undo in progress is owned as a running
// rename is, so that another live window is never offered the same batch.
#include <sqlite3.h>

#include <string>

#include "core/history/Store.h"
#include "core/history/StoreLayout.h"
#include "core/platform/Process.h"

namespace selvane {

HistoryStore::Claim HistoryStore::ClaimUndo(std::int64_t batch, sql::Status& status) {
  if (batch == 0 || !db_.isOpen()) {
    status = {SQLITE_MISUSE, "no batch"};
    return Claim::Failed;
  }
  // A claim holds only while its process runs, and a power cut ends every
  // one of them: it needs no sync of its own.
  const sql::UnsyncedCommits unsynced(db_);
  sql::Transaction transaction(db_);
  status = transaction.begun();
  // Claims left by processes killed before a batch was trimmed away.
  if (status) status = db_.Run("DELETE FROM undo_owner WHERE batch NOT IN (SELECT id FROM batch)");
  sql::Kept statement;
  bool row = false;
  static constexpr const char* columns = "pid, start";
  const std::string sql = std::string("SELECT ") + columns + " FROM undo_owner WHERE batch=?1";
  if (status) status = statement.Prepare(db_, sql.c_str());
  if (status) status = statement->Bind(1, batch).Step(row);
  if (!status) return Claim::Failed;
  const ProcessMark me = ThisProcess();
  if (row) {
    const ProcessMark owner{statement->Integer(layout::ColumnOf(columns, "pid")),
                            statement->Integer(layout::ColumnOf(columns, "start"))};
    if ((owner.pid != me.pid || owner.started != me.started) && StillRunning(owner))
      return Claim::Busy;
  }
  status = statement.Prepare(db_, "INSERT OR REPLACE INTO undo_owner VALUES(?1, ?2, ?3)");
  if (status) status = statement->Bind(1, batch).Bind(2, me.pid).Bind(3, me.started).Run();
  if (status) status = transaction.Commit();
  return status ? Claim::Owned : Claim::Failed;
}

// Only this process's own claim.
void HistoryStore::ReleaseUndo(std::int64_t batch) {
  if (batch == 0 || !db_.isOpen()) return;
  const ProcessMark me = ThisProcess();
  sql::Kept statement;
  if (statement.Prepare(db_, "DELETE FROM undo_owner WHERE batch=?1 AND pid=?2 AND start=?3"))
    (void)statement->Bind(1, batch).Bind(2, me.pid).Bind(3, me.started).Run();
}

}  // namespace selvane
