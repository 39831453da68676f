#pragma once
// The list of files: up to 1024 records, one allocation each, in list order.
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/filelist/FileEntry.h"

namespace selvane {

class UserPrompts;
class FileOps;

inline constexpr int MaxEntries = 1024;

struct EntryTable {
  std::array<std::unique_ptr<FileEntry>, MaxEntries> entries;
  int entryCount = 0;

  FileEntry& operator[](int i) { return *entries[static_cast<std::size_t>(i)]; }
  const FileEntry& operator[](int i) const { return *entries[static_cast<std::size_t>(i)]; }
};

enum class AddResult { Added, Duplicate, TableFull, PathTooLong, OutOfMemory, NoCp932Form };

// Appends a file at the end of the table and names it by `rule` (CP932).
// A relative path is made absolute against the current folder first; when
// that folder has no CP932 form the path is refused (NoCp932Form): an entry
// always names its file by an absolute path.
// A byte-identical path is refused silently; a failed allocation tells the
// user "動的メモリの確保ができませんでした。" through ui.ShowError. A full
// table and a path over 1023 bytes are refused and reported by the result;
// AddBatch turns those into one message per batch.
AddResult AddEntry(EntryTable& table, const char* path, std::string_view rule, UserPrompts& ui);

// One batch of additions (a dialog choice, a drop, the command line): the
// refusals that deserve a word are collected and told once, at Finish().
// The table must not change otherwise while a batch adds to it.
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
  std::vector<std::string> full_, tooLong_, unconvertible_;  // UTF-8 texts
  // The listed paths (views into the records, which the batch leaves in
  // place), made at the first addition; and the current folder.
  std::unordered_set<std::string_view> listed_;
  bool indexed_ = false;
  std::string cwd_;
};

// List editing. They never touch files on disk.
void SwapEntries(EntryTable& table, int a, int b);
void DeleteEntry(EntryTable& table, int index);
void ClearEntries(EntryTable& table);
// The order of an exchange sort on the full path (unsigned bytes, a prefix
// smaller, equal paths never swapped with each other).
void SortEntries(EntryTable& table);

}  // namespace selvane
