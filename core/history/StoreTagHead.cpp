#include "core/history/StoreTagHead.h"

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>

#include "core/history/StoreColumns.h"
#include "core/history/StoreLayout.h"
#include "core/platform/Cp932.h"

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
  sql::Kept kept;
  if (sql::Status s = kept.Prepare(db,
                                   "INSERT OR REPLACE INTO tag_head(batch, old_block, new_size, "
                                   "new_sums, beside, recorded) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
      !s)
    return s;
  sql::Statement& insert = *kept;
  insert.Bind(1, batch).BindBlob(2, head.oldBlock).Bind(3, head.newSize).BindBlob(4, head.newSums);
  BindText(insert, 5, head.beside);
  return insert.Bind(6, head.recorded).Run();
}

sql::Status LoadTagHead(sql::Database& db, std::int64_t batch, StoredTagHead& head) {
  head = {};
  sql::Kept query;
  static constexpr const char* columns = "old_block, new_size, new_sums, beside, recorded";
  const std::string sql = std::string("SELECT ") + columns + " FROM tag_head WHERE batch=?1";
  bool row = false;
  // A store the table could not be added to holds no batch with a head.
  if (!query.Prepare(db, sql.c_str())) return {};
  if (sql::Status s = query->Bind(1, batch).Step(row); !s || !row) return s;
  using layout::ColumnOf;
  head.present = true;
  head.oldBlock = query->Blob(ColumnOf(columns, "old_block"));
  head.newSize = query->Integer(ColumnOf(columns, "new_size"));
  head.newSums = query->Blob(ColumnOf(columns, "new_sums"));
  head.recorded = query->Integer(ColumnOf(columns, "recorded"));
  if (!ReadPath(query, ColumnOf(columns, "beside"), head.besideCp932, &head.beside) ||
      head.newSize < 0 ||
      head.newSums.size() !=
          (static_cast<std::size_t>(head.newSize) + TagHeadChunk - 1) / TagHeadChunk * 4)
    return {SQLITE_CORRUPT, "tag head"};
  return {};
}

}  // namespace selvane
