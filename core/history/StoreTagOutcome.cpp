// The store's side of a tag update that wrote the ID3v2 tag too: its
// outcome, and what killed ones left beside their files.
#include <string>
#include <vector>

#include "core/history/Store.h"
#include "core/history/StoreColumns.h"
#include "core/history/StoreLayout.h"
#include "core/platform/Process.h"

namespace selvane {

namespace {

sql::Status MarkPlaced(sql::Database& db, std::int64_t batch, const Identity& placed) {
  sql::Kept step, state;
  if (sql::Status s = step.Prepare(db,
                                   "UPDATE step SET placed_dev=?1, placed_ino=?2, "
                                   "placed_length=?3, placed_modified=?4, placed_tail=?5 "
                                   "WHERE batch=?6 AND seq=0");
      !s)
    return s;
  BindIdentity(*step, 1, placed, false);
  BindNumber(*step, 3, placed.length, placed.known);
  BindContent(*step, 4, placed);
  if (sql::Status s = step->Bind(6, batch).Run(); !s) return s;
  if (sql::Status s = state.Prepare(db, "UPDATE batch SET state=1 WHERE id=?1"); !s) return s;
  return state->Bind(1, batch).Run();
}

}  // namespace

// The outcome of a tag update that wrote the head too: where the file is
// now (a grown tag gave it a new entry). Not synced: undo reads the disk
// for what a lost mark would have said, and a sync less is worth it.
void HistoryStore::FinishTagHead(std::int64_t batch, const Identity& placed) {
  if (batch == 0 || !db_.isOpen()) return;
  {
    const sql::UnsyncedCommits unsynced(db_);
    sql::Transaction transaction(db_);
    if (transaction.begun() && MarkPlaced(db_, batch, placed)) (void)transaction.Commit();
  }
  Checkpoint();
  TellUndoable(true);
}

std::vector<HistoryStore::TagLeftover> HistoryStore::TagLeftovers() {
  std::vector<TagLeftover> found;
  sql::Status status;
  if (Open(status) != Opened::Ready) return found;
  static constexpr const char* columns =
      "h.beside, h.recorded, s.length - length(h.old_block) + h.new_size + 128 AS longest, "
      "b.owner_pid, b.owner_start";
  const std::string sql = std::string("SELECT ") + columns +
                          " FROM tag_head h JOIN batch b ON b.id = h.batch JOIN step s ON "
                          "s.batch = h.batch WHERE b.state = 0 AND h.beside IS NOT NULL";
  sql::Kept query;
  bool row = false;
  if (!query.Prepare(db_, sql.c_str())) return found;
  using layout::ColumnOf;
  while (query->Step(row).ok() && row) {
    const ProcessMark owner{query->IntegerOr(ColumnOf(columns, "b.owner_pid"), 0),
                            query->IntegerOr(ColumnOf(columns, "b.owner_start"), 0)};
    TagLeftover leftover;
    if (StillRunning(owner) ||
        !ReadPath(query, ColumnOf(columns, "h.beside"), leftover.beside, &leftover.nativeBeside))
      continue;
    leftover.recorded = query->Integer(ColumnOf(columns, "h.recorded"));
    leftover.longest = query->Integer(ColumnOf(columns, "longest"));
    found.push_back(std::move(leftover));
  }
  return found;
}

}  // namespace selvane
