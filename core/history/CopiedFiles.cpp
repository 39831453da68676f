#include "core/history/CopiedFiles.h"

#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "core/history/StoreColumns.h"
#include "core/history/StoreLayout.h"

namespace selvane {

sql::Status KnowByContent(sql::Database& db, std::int64_t batch, std::span<const Identity> files) {
  if (files.empty()) return {};
  std::unordered_multimap<std::uint64_t, const Identity*> copied;  // by inode
  for (const Identity& file : files)
    if (file.known && !file.tail.empty()) copied.emplace(file.inode, &file);
  sql::Statement query;
  static constexpr const char* columns =
      "batch, seq, coalesce(placed_dev, dev) AS device, coalesce(placed_ino, ino) AS inode";
  const std::string sql =
      std::string("SELECT ") + columns +
      " FROM step WHERE batch IN (SELECT id FROM batch WHERE kind=1 AND state!=2 AND id!=?1) "
      "AND placed_tail IS NULL AND coalesce(placed_ino, ino) IS NOT NULL";
  if (sql::Status s = query.Prepare(db, sql.c_str()); !s) return s;
  query.Bind(1, batch);
  std::vector<std::tuple<std::int64_t, std::int64_t, const Identity*>> learners;
  for (bool row = false;;) {
    if (sql::Status s = query.Step(row); !s) return s;
    if (!row) break;
    const auto device =
        static_cast<std::uint64_t>(query.Integer(layout::ColumnOf(columns, "device")));
    const auto inode =
        static_cast<std::uint64_t>(query.Integer(layout::ColumnOf(columns, "inode")));
    const auto [first, last] = copied.equal_range(inode);
    for (auto it = first; it != last; ++it)
      if (it->second->device == device)
        learners.emplace_back(query.Integer(layout::ColumnOf(columns, "batch")),
                              query.Integer(layout::ColumnOf(columns, "seq")), it->second);
  }
  sql::Statement update;
  if (sql::Status s = update.Prepare(db,
                                     "UPDATE step SET placed_dev=?1, placed_ino=?2, "
                                     "placed_length=?3, placed_modified=?4, placed_tail=?5 "
                                     "WHERE batch=?6 AND seq=?7");
      !s)
    return s;
  for (const auto& [learner, seq, file] : learners) {
    BindIdentity(update, 1, *file);
    BindContent(update, 4, *file);
    if (sql::Status s = update.Bind(6, learner).Bind(7, seq).Run(); !s) return s;
  }
  return {};
}

}  // namespace selvane
