#include "core/history/StoreColumns.h"

#include "core/platform/Cp932.h"

namespace selvane {

// Device and inode numbers are unsigned; SQLite keeps their bits.
void BindIdentity(sql::Statement& statement, int first, const Identity& identity, bool withLength) {
  if (!identity.known) {
    statement.BindNull(first).BindNull(first + 1);
    if (withLength) statement.BindNull(first + 2);
    return;
  }
  statement.Bind(first, static_cast<std::int64_t>(identity.device))
      .Bind(first + 1, static_cast<std::int64_t>(identity.inode));
  if (withLength) statement.Bind(first + 2, identity.length);
}

Identity ReadIdentity(const sql::Statement& statement, int first, bool withLength) {
  if (statement.IsNull(first) || statement.IsNull(first + 1)) return {};
  Identity identity{true,
                    static_cast<std::uint64_t>(statement.Integer(first)),
                    static_cast<std::uint64_t>(statement.Integer(first + 1)),
                    0,
                    0,
                    {}};
  if (withLength) identity.length = statement.Integer(first + 2);
  return identity;
}

// Modification time and last bytes, for media that do not keep inode numbers.
void BindContent(sql::Statement& statement, int first, const Identity& identity) {
  BindNumber(statement, first, identity.modified, identity.known && identity.modified != 0);
  BindText(statement, first + 1,
           identity.known ? std::string_view(identity.tail) : std::string_view());
}

void ReadContent(const sql::Statement& statement, int first, Identity& identity) {
  if (!identity.known) return;
  identity.modified = statement.IsNull(first) ? 0 : statement.Integer(first);
  identity.tail =
      statement.IsNull(first + 1) ? std::string() : std::string(statement.Blob(first + 1));
}

void BindNumber(sql::Statement& statement, int index, std::int64_t value, bool known) {
  if (known)
    statement.Bind(index, value);
  else
    statement.BindNull(index);
}

void BindText(sql::Statement& statement, int index, std::string_view bytes) {
  if (bytes.empty())
    statement.BindNull(index);
  else
    statement.BindBlob(index, bytes);
}

// The medium's five columns, from `first` on.
void BindVolume(sql::Statement& statement, int first, const RecordedVolume& volume) {
  BindText(statement, first, volume.uuid);
  BindText(statement, first + 1, volume.label);
  BindText(statement, first + 2, volume.mountPoint);
  statement.Bind(first + 3, static_cast<std::int64_t>(volume.device))
      .Bind(first + 4, volume.keepsInodes ? 1 : 0);
}

bool ReadPath(const sql::Statement& statement, int column, std::string& cp932, std::string* keep) {
  cp932.clear();
  if (keep != nullptr) keep->clear();
  if (statement.IsNull(column)) return true;
  const std::string_view native = statement.Blob(column);
  if (keep != nullptr) keep->assign(native);
  return native.empty() || NativePathToCp932(native, cp932);
}

}  // namespace selvane
