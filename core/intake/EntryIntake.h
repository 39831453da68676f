#pragma once
// The one road by which files come into the list: each path made absolute,
// refused when it cannot be listed faithfully, and named by the rule as it
// comes in.
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/platform/FileOps.h"
#include "core/platform/ReadAhead.h"

namespace selvane {

class UserPrompts;

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

// The tags of the command line's files from `first` on, read on a second
// thread (while the window is built) under the paths their entries will
// hold: AddBatch::NameTheRest then names them from it.
std::unique_ptr<TailsReadAhead> ReadAheadOfArguments(std::vector<std::string> natives,
                                                     std::size_t first);

// One batch of additions (a dialog choice, a drop, the command line): the
// refusals that deserve a word are collected and told once, at Finish().
// The duplicate test looks the path up in a set, so a batch of n files into
// a table of m costs n + m, not n times m. The table must not change
// otherwise while a batch adds to it.
class AddBatch {
 public:
  AddBatch(EntryTable& table, UserPrompts& ui)
      : table_(table), ui_(ui), knowsAll_(table.entryCount == 0) {}
  AddResult Add(const char* path, std::string_view rule);
  // From now on Add lists each file without naming it: NameTheRest names
  // all of them at once, reading their tags on two threads over many
  // files (`progress`, when given, hears how far it is) through `ops`.
  // Until then those rows keep their names.
  void NameLater();
  void NameTheRest(std::string_view rule, UserPrompts* progress = nullptr,
                   FileOps& ops = SystemFileOps());
  // What each listed file was as the batch read its tag, row by row, when
  // the batch began on an empty table and read every row; else empty.
  const std::vector<FileStatus>& Statuses();
  // A native path that has no CP932 form (UTF-8; made absolute here).
  void RefuseUnconvertible(std::string_view nativeUtf8Path);
  // Shows one message for everything refused, every name as it is on disk
  // (Cp932Showing); does nothing when all went in.
  void Finish();

 private:
  EntryTable& table_;
  UserPrompts& ui_;
  std::vector<std::string> tooLong_, unconvertible_;  // UTF-8 texts
  // The listed paths (views into the records, which the batch leaves in
  // place), made at the first addition, in an arena given back whole; and
  // the current folder.
  std::pmr::monotonic_buffer_resource arena_;
  std::pmr::unordered_set<std::string_view> listed_{&arena_};
  bool indexed_ = false;
  std::string cwd_;
  std::vector<FileStatus> read_;
  bool knowsAll_;       // every row so far was read by this batch
  int namedFrom_ = -1;  // the first row NameTheRest names; -1: Add names each
};

}  // namespace selvane
