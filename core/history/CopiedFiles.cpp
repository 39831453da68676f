#include "core/history/CopiedFiles.h"

#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "core/history/StoreColumns.h"

namespace selvane {

sql::Status KnowByContent(sql::Database& db, std::int64_t batch, std::span<const Identity> files) {
  if (files.empty()) return {};
  const auto key = [](std::uint64_t device, std::uint64_t inode) {
    return std::to_string(device) + ':' + std::to_string(inode);
  };
  std::unordered_map<std::string, const Identity*> copied;
  for (const Identity& file : files)
    if (file.known && !file.tail.empty()) copied.emplace(key(file.device, file.inode), &file);
  sql::Statement query;
  if (sql::Status s = query.Prepare(
          db,
          "SELECT batch, seq, coalesce(placed_dev, dev), coalesce(placed_ino, ino) FROM step "
          "WHERE batch IN (SELECT id FROM batch WHERE kind=1 AND state!=2 AND id!=?1) "
          "AND placed_tail IS NULL AND coalesce(placed_ino, ino) IS NOT NULL");
      !s)
    return s;
  query.Bind(1, batch);
  std::vector<std::tuple<std::int64_t, std::int64_t, const Identity*>> learners;
  for (bool row = false;;) {
    if (sql::Status s = query.Step(row); !s) return s;
    if (!row) break;
    const auto found = copied.find(key(static_cast<std::uint64_t>(query.Integer(2)),
                                       static_cast<std::uint64_t>(query.Integer(3))));
    if (found != copied.end())
      learners.emplace_back(query.Integer(0), query.Integer(1), found->second);
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
