#include "core/history/StoreTagHead.h"

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>

#include "core/history/Store.h"
#include "core/history/StoreColumns.h"
#include "core/history/StoreLayout.h"
#include "core/platform/Cp932.h"
#include "core/platform/Process.h"

namespace selvane {

std::string ChunkSums(std::string_view block) {
  std::string sums;
  for (std::size_t at = 0; at < block.size(); at += TagHeadChunk) {
    const std::size_t size = std::min(TagHeadChunk, block.size() - at);
    const uLong sum =
        ::crc32(0L, reinterpret_cast<const Bytef*>(block.data() + at), static_cast<uInt>(size));
    for (int i = 0; i < 4; ++i) sums += static_cast<char>((sum >> (8 * i)) & 0xFF);
  }
  return sums;
}

sql::Status InsertTagHead(sql::Database& db, std::int64_t batch, const StoredTagHead& head) {
  sql::Statement insert;
  if (sql::Status s = insert.Prepare(db,
                                     "INSERT OR REPLACE INTO tag_head(batch, old_block, new_size, "
                                     "new_sums, beside, recorded) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
      !s)
    return s;
  insert.Bind(1, batch).BindBlob(2, head.oldBlock).Bind(3, head.newSize).BindBlob(4, head.newSums);
  BindText(insert, 5, head.beside);
  return insert.Bind(6, head.recorded).Run();
}

sql::Status LoadTagHead(sql::Database& db, std::int64_t batch, StoredTagHead& head) {
  head = {};
  sql::Statement query;
  static constexpr const char* columns = "old_block, new_size, new_sums, beside, recorded";
  const std::string sql = std::string("SELECT ") + columns + " FROM tag_head WHERE batch=?1";
  bool row = false;
  // A store the table could not be added to holds no batch with a head.
  if (!query.Prepare(db, sql.c_str())) return {};
  if (sql::Status s = query.Bind(1, batch).Step(row); !s || !row) return s;
  using layout::ColumnOf;
  head.present = true;
  head.oldBlock = query.Blob(ColumnOf(columns, "old_block"));
  head.newSize = query.Integer(ColumnOf(columns, "new_size"));
  head.newSums = query.Blob(ColumnOf(columns, "new_sums"));
  head.recorded = query.Integer(ColumnOf(columns, "recorded"));
  if (!ReadPath(query, ColumnOf(columns, "beside"), head.besideCp932, &head.beside) ||
      head.newSize < 0 ||
      head.newSums.size() !=
          (static_cast<std::size_t>(head.newSize) + TagHeadChunk - 1) / TagHeadChunk * 4)
    return {SQLITE_CORRUPT, "tag head"};
  return {};
}

namespace {

sql::Status MarkPlaced(sql::Database& db, std::int64_t batch, const Identity& placed) {
  sql::Statement update;
  if (sql::Status s = update.Prepare(db,
                                     "UPDATE step SET placed_dev=?1, placed_ino=?2, "
                                     "placed_length=?3, placed_modified=?4, placed_tail=?5 "
                                     "WHERE batch=?6 AND seq=0");
      !s)
    return s;
  BindIdentity(update, 1, placed, false);
  BindNumber(update, 3, placed.length, placed.known);
  BindContent(update, 4, placed);
  if (sql::Status s = update.Bind(6, batch).Run(); !s) return s;
  if (sql::Status s = update.Prepare(db, "UPDATE batch SET state=1 WHERE id=?1"); !s) return s;
  return update.Bind(1, batch).Run();
}

}  // namespace

// The outcome of a tag update that wrote the head too: where the file is
// now (a grown tag gave it a new entry). Not synced: undo reads the disk
// for what a lost mark would have said, and a sync less is worth it.
void HistoryStore::FinishTagHead(std::int64_t batch, const Identity& placed) {
  if (batch == 0 || !db_.isOpen()) return;
  (void)db_.Execute("PRAGMA synchronous=NORMAL");
  {
    sql::Transaction transaction(db_);
    if (transaction.begun() && MarkPlaced(db_, batch, placed)) (void)transaction.Commit();
  }
  (void)db_.Execute("PRAGMA synchronous=FULL");
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
  sql::Statement query;
  bool row = false;
  if (!query.Prepare(db_, sql.c_str())) return found;
  using layout::ColumnOf;
  while (query.Step(row).ok() && row) {
    const ProcessMark owner{query.IntegerOr(ColumnOf(columns, "b.owner_pid"), 0),
                            query.IntegerOr(ColumnOf(columns, "b.owner_start"), 0)};
    TagLeftover leftover;
    std::string native;
    if (StillRunning(owner) ||
        !ReadPath(query, ColumnOf(columns, "h.beside"), leftover.beside, &native))
      continue;
    leftover.recorded = query.Integer(ColumnOf(columns, "h.recorded"));
    leftover.longest = query.Integer(ColumnOf(columns, "longest"));
    found.push_back(std::move(leftover));
  }
  return found;
}

}  // namespace selvane
