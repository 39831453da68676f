#pragma once
// The list of files: one record per file, one allocation each, in list
// order. The table grows as files come in; a whole collection fits.
#include <memory>
#include <vector>

#include "core/filelist/FileEntry.h"

namespace selvane {

// A list of up to this many is small: its sort keeps rows that hold one path
// in the order they have always had (below). The table itself holds as many
// as memory allows.
inline constexpr int SmallListEntries = 1024;

struct EntryTable {
  // Slots 0 to entryCount - 1, always exactly that many.
  std::vector<std::unique_ptr<FileEntry>> entries;
  int entryCount = 0;
  // What every naming of these files reads (the window's "ID3v2 も使う").
  TagSources tagSources = TagSources::Id3v1;

  FileEntry& operator[](int i) { return *entries[static_cast<std::size_t>(i)]; }
  const FileEntry& operator[](int i) const { return *entries[static_cast<std::size_t>(i)]; }
  // Puts the record at the end. False, the record dropped, when there is no
  // memory for one more slot.
  bool Append(std::unique_ptr<FileEntry> entry);
};

// List editing. They never touch files on disk, and none costs more than
// n log n for n entries.
void SwapEntries(EntryTable& table, int a, int b);
void DeleteEntry(EntryTable& table, int index);
void ClearEntries(EntryTable& table);
// Sorts by the full path (unsigned bytes, a prefix smaller). Distinct paths
// end in the one order a sort can give them; two entries holding one path
// (after a run that replaced a file) keep, in a small list, the order the
// list's pairwise exchange has always given them, and their order as it was
// beyond.
void SortEntries(EntryTable& table);

}  // namespace selvane
