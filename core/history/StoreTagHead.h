#pragma once
// The store's record of a tag update's ID3v2 block: a table of its own, so
// that a store it is in still reads as before in an earlier program.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/history/Sqlite.h"
#include "core/history/StoredBatch.h"

namespace selvane {

inline constexpr const char* TagHeadTable =
    "CREATE TABLE IF NOT EXISTS tag_head(batch INTEGER PRIMARY KEY, old_block BLOB NOT NULL, "
    "new_size INTEGER NOT NULL, new_sums BLOB NOT NULL, beside BLOB, recorded INTEGER NOT NULL)";

// The CRC-32 of each TagHeadChunk bytes of `block`, 4 bytes each.
std::string ChunkSums(std::string_view block);

sql::Status InsertTagHead(sql::Database& db, std::int64_t batch, const StoredTagHead& head);
// Into batch.head; nothing for a batch without one.
sql::Status LoadTagHead(sql::Database& db, std::int64_t batch, StoredTagHead& head);

}  // namespace selvane
