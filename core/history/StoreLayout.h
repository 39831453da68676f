#pragma once
// The store's layout: the tables as SQLite keeps them, and what the second
// layout added to the first (a store of the first is brought up to date).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace selvane::layout {

inline constexpr std::int64_t SchemaVersion = 2;
// Keeps the newest 100 batches, undone or not.
inline constexpr const char* BatchBeyondKept =
    "SELECT 1 FROM batch ORDER BY id DESC LIMIT 1 OFFSET 100";
inline constexpr const char* TrimBatches =
    "DELETE FROM step WHERE batch IN (SELECT id FROM batch ORDER BY id DESC LIMIT -1 OFFSET 100);"
    "DELETE FROM batch WHERE id IN (SELECT id FROM batch ORDER BY id DESC LIMIT -1 OFFSET 100);"
    "DELETE FROM placeholder WHERE batch NOT IN (SELECT id FROM batch);"
    "DELETE FROM tag_head WHERE batch NOT IN (SELECT id FROM batch)";
enum BatchState { Planned = 0, Finished = 1, Undone = 2 };

// The layout, with notes for whoever opens the file by hand.
inline constexpr const char* Schema = R"(
CREATE TABLE batch(
  id INTEGER PRIMARY KEY,
  kind INTEGER NOT NULL,   -- 1 rename, 2 tag update, 3 tag removal
  made INTEGER NOT NULL,   -- seconds since 1970 (UTC)
  temporary BLOB,          -- the rename's temporary file
  state INTEGER NOT NULL,  -- 0 planned, 1 finished, 2 undone
  files INTEGER NOT NULL
);
-- Paths are native bytes. dev, ino, length: the file before the batch;
-- target_*: what held new_path just before the step replaced it (NULL: not
-- known to be taken); placed_*: the file where the run left it; replaced_*:
-- the file an overwrite replaced, and where it went.
CREATE TABLE step(
  batch INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  path BLOB NOT NULL,
  new_path BLOB NOT NULL,
  dev INTEGER, ino INTEGER, length INTEGER,
  target_dev INTEGER, target_ino INTEGER, target_length INTEGER,
  old_tail BLOB,           -- the trailer a tag change found (NULL: none)
  new_end BLOB,            -- what a tag change leaves at the end of the file
  outcome INTEGER,         -- NULL unknown, 0 not moved, 1 moved, 2 failed
  place BLOB,
  placed_dev INTEGER, placed_ino INTEGER,
  replaced INTEGER,        -- 0 none, 1 into the trash, 2 deleted
  replaced_path BLOB,
  replaced_dev INTEGER, replaced_ino INTEGER, replaced_length INTEGER,
  PRIMARY KEY(batch, seq)
) WITHOUT ROWID;
)";

// What the second layout adds: who runs a batch (process id and start, so
// that a batch still running elsewhere is never taken back), the medium it
// worked on, the files' modification times (ns) and last bytes, and the
// steps an undo cut short already took back.
inline constexpr const char* SecondLayout = R"(
ALTER TABLE batch ADD COLUMN owner_pid INTEGER;
ALTER TABLE batch ADD COLUMN owner_start INTEGER;
ALTER TABLE batch ADD COLUMN vol_uuid BLOB;
ALTER TABLE batch ADD COLUMN vol_label BLOB;
ALTER TABLE batch ADD COLUMN vol_mount BLOB;
ALTER TABLE batch ADD COLUMN vol_dev INTEGER;
ALTER TABLE batch ADD COLUMN vol_keeps INTEGER;
ALTER TABLE step ADD COLUMN modified INTEGER;
ALTER TABLE step ADD COLUMN tail BLOB;
ALTER TABLE step ADD COLUMN placed_length INTEGER;
ALTER TABLE step ADD COLUMN placed_modified INTEGER;
ALTER TABLE step ADD COLUMN placed_tail BLOB;
ALTER TABLE step ADD COLUMN replaced_modified INTEGER;
ALTER TABLE step ADD COLUMN replaced_tail BLOB;
ALTER TABLE step ADD COLUMN undone INTEGER;
ALTER TABLE step ADD COLUMN target_modified INTEGER;
ALTER TABLE step ADD COLUMN target_tail BLOB;
-- Empty files a move made to reserve a name on a medium without a
-- no-replace rename: path (native) and when it was written down.
CREATE TABLE placeholder(batch INTEGER NOT NULL, path BLOB NOT NULL, made INTEGER NOT NULL);
PRAGMA user_version = 2;
)";

// Which process is taking a batch back, so that no other live process is
// offered it meanwhile. Added to a store of the second layout when it is
// opened: an earlier program reads such a store as before.
inline constexpr const char* UndoOwnerTable =
    "CREATE TABLE IF NOT EXISTS undo_owner(batch INTEGER PRIMARY KEY, pid INTEGER NOT NULL, "
    "start INTEGER NOT NULL)";

// The columns a load reads, in the order of its SELECT; each is read back
// by name (StepColumn("outcome")), so a list and its readers cannot drift.
inline constexpr const char* StepColumns =
    "path, new_path, dev, ino, length, target_dev, target_ino, target_length, old_tail, new_end, "
    "outcome, place, placed_dev, placed_ino, replaced, replaced_path, replaced_dev, replaced_ino, "
    "replaced_length, modified, tail, placed_length, placed_modified, placed_tail, "
    "replaced_modified, replaced_tail, undone, target_modified, target_tail";
inline constexpr const char* BatchColumns =
    "kind, made, temporary, state, files, owner_pid, owner_start, vol_uuid, vol_label, vol_mount, "
    "vol_dev, vol_keeps";

// The position of `name` in a SELECT list such as "batch, coalesce(a, b) AS
// device": a column, or an expression by its alias. A name that is not in
// the list does not compile.
consteval int ColumnOf(std::string_view columns, std::string_view name) {
  int index = 0, depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= columns.size(); ++i) {
    const char c = i < columns.size() ? columns[i] : ',';
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (c != ',' || depth != 0) continue;
    std::string_view column = columns.substr(start, i - start);
    if (const std::size_t as = column.rfind(" AS "); as != std::string_view::npos)
      column.remove_prefix(as + 4);
    while (!column.empty() && column.front() == ' ') column.remove_prefix(1);
    while (!column.empty() && column.back() == ' ') column.remove_suffix(1);
    if (column == name) return index;
    ++index;
    start = i + 1;
  }
  throw "no such column in the list";
}
consteval int StepColumn(std::string_view name) { return ColumnOf(StepColumns, name); }
consteval int BatchColumn(std::string_view name) { return ColumnOf(BatchColumns, name); }

}  // namespace selvane::layout
