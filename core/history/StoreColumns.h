#pragma once
// How the store's rows hold what undo needs: identities (device and inode
// numbers keep their bits in SQLite's signed integers), the content that
// stands in for them on media that do not keep them, the medium, paths.
#include <string>
#include <string_view>

#include "core/history/Sqlite.h"
#include "core/history/StoredBatch.h"

namespace selvane {

void BindIdentity(sql::Statement& statement, int first, const Identity& identity,
                  bool withLength = true);
Identity ReadIdentity(const sql::Statement& statement, int first, bool withLength = true);
void BindContent(sql::Statement& statement, int first, const Identity& identity);
void ReadContent(const sql::Statement& statement, int first, Identity& identity);
// NULL for an empty text, or for a number that is not known.
void BindText(sql::Statement& statement, int index, std::string_view bytes);
void BindNumber(sql::Statement& statement, int index, std::int64_t value, bool known);
void BindVolume(sql::Statement& statement, int first, const RecordedVolume& volume);
// A stored (native) path as CP932; `native`, when given, keeps the bytes
// as stored, for the disk and for comparing.
bool ReadPath(const sql::Statement& statement, int column, std::string& cp932,
              std::string* native = nullptr);

}  // namespace selvane
