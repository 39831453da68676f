#pragma once
// The list of files: one record per file, one allocation each, in list
// order. The table grows as files come in; a whole collection fits.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/filelist/FileEntry.h"

namespace selvane {

class UserPrompts;
class FileOps;

// The table as the program was first laid out held this many; it holds as
// many as memory allows now.
inline constexpr int DesignedEntries = 1024;

struct EntryTable {
  // Slots 0 to entryCount - 1, always exactly that many.
  std::vector<std::unique_ptr<FileEntry>> entries;
  int entryCount = 0;
  // What every naming of these files reads (the window's "ID3v2 で補う").
  TagSources tagSources = TagSources::Id3v1;

  FileEntry& operator[](int i) { return *entries[static_cast<std::size_t>(i)]; }
  const FileEntry& operator[](int i) const { return *entries[static_cast<std::size_t>(i)]; }
  // Puts the record at the end. False, the record dropped, when there is no
  // memory for one more slot.
  bool Append(std::unique_ptr<FileEntry> entry);
};

enum class AddResult { Added, Duplicate, PathTooLong, OutOfMemory, NoCp932Form };

// Appends a file at the end of the table and names it by `rule` (CP932).
// A relative path is made absolute against the current folder first; when
// that folder has no CP932 form the path is refused (NoCp932Form): an entry
// always names its file by an absolute path.
// A byte-identical path is refused silently; a failed allocation tells the
// user "動的メモリの確保ができませんでした。" through ui.ShowError. A path over
// 1023 bytes is refused and reported by the result; AddBatch turns such
// refusals into one message per batch.
AddResult AddEntry(EntryTable& table, const char* path, std::string_view rule, UserPrompts& ui);

// One batch of additions (a dialog choice, a drop, the command line): the
// refusals that deserve a word are collected and told once, at Finish().
// The duplicate test looks the path up in a set, so a batch of n files into
// a table of m costs n + m, not n times m. The table must not change
// otherwise while a batch adds to it.
class AddBatch {
 public:
  AddBatch(EntryTable& table, UserPrompts& ui) : table_(table), ui_(ui) {}
  AddResult Add(const char* path, std::string_view rule);
  // A native path that has no CP932 form (UTF-8; made absolute here).
  void RefuseUnconvertible(std::string_view nativeUtf8Path);
  // Shows one message for everything refused (through RefuseUtf8, so that
  // every name is shown as it is on disk); does nothing when all went in.
  void Finish();

 private:
  EntryTable& table_;
  UserPrompts& ui_;
  std::vector<std::string> tooLong_, unconvertible_;  // UTF-8 texts
  // The listed paths (views into the records, which the batch leaves in
  // place), made at the first addition; and the current folder.
  std::unordered_set<std::string_view> listed_;
  bool indexed_ = false;
  std::string cwd_;
};

// List editing. They never touch files on disk, and none costs more than
// n log n for n entries.
void SwapEntries(EntryTable& table, int a, int b);
void DeleteEntry(EntryTable& table, int index);
void ClearEntries(EntryTable& table);
// Sorts by the full path (unsigned bytes, a prefix smaller). Distinct paths
// end in the one order a sort can give them; two entries holding one path
// (after a run that replaced a file) keep the order an exchange sort would
// give them up to 1024 entries, and their order as it was beyond.
void SortEntries(EntryTable& table);

}  // namespace selvane
