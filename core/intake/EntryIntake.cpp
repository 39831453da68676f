#include "core/intake/EntryIntake.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "core/UserPrompts.h"
#include "core/filelist/PathNames.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

std::string_view PathOf(const FileEntry& entry) { return entry.path; }

constexpr std::size_t ShownNameBytes = 80;

// A UTF-8 name for a message, cut to a length a box can show (never inside
// a character).
std::string Shortened(std::string_view name) {
  if (name.size() <= ShownNameBytes) return std::string(name);
  std::size_t cut = ShownNameBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut)) + "…";
}

// The last component of a CP932 path in UTF-8, so that a refusal names the
// file and not its whole folder; '\' is only a separator outside a pair.
std::string ShortName(std::string_view cp932Path) {
  const std::size_t start = LastPartStart(cp932Path);
  const std::string_view name = start < cp932Path.size() ? cp932Path.substr(start) : cp932Path;
  std::string utf8;
  if (!Cp932ToNative(name, utf8)) utf8.assign(name);
  return Shortened(utf8);
}

// A native path without a CP932 form, shown as it is on disk from its first
// component that has none: "Sigur Rós/01.mp3" when the folder is at fault,
// the name alone when it is.
std::string ShowableName(std::string_view nativePath) {
  std::size_t from = 0, start = 0;
  std::string ignored;
  for (std::size_t i = 0; i <= nativePath.size(); ++i) {
    if (i < nativePath.size() && nativePath[i] != '/') continue;
    if (!NativePathToCp932(nativePath.substr(start, i - start), ignored)) {
      from = start;
      break;
    }
    start = i + 1;
  }
  return Shortened(nativePath.substr(from));
}

// A relative path resolved against the current folder, once, as it comes
// in: the open dialog moves the current folder later, and the entry must
// go on naming the file it named. Its "." parts go; ".." parts stay, since
// a link on the way gives them their meaning. An absolute path is kept as
// given (no normalising: the duplicate test compares bytes). False when
// the current folder cannot be read or has no CP932 form.
// `cwd` keeps the current folder between calls of one batch ("" at first).
bool Absolute(std::string_view path, std::string& cwd, std::string& out) {
  if (path.empty() || IsSeparatorAt(path, 0)) {
    out.assign(path);
    return true;
  }
  if (cwd.empty() && !CurrentDirectory(cwd)) {
    cwd.clear();
    return false;
  }
  out = cwd;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); i += i < path.size() ? CharLength(path, i) : 1) {
    if (i < path.size() && !IsSeparatorAt(path, i)) continue;
    const std::string_view part = path.substr(start, i - start);
    if (part != "." && !(part.empty() && i < path.size()))
      out.append(path.substr(start, i < path.size() ? i + 1 - start : i - start));
    start = i + 1;
  }
  return true;
}

// The native form of a relative CP932 path in a current folder that has no
// CP932 form, for the refusal.
std::string NativeAbsolute(std::string_view cp932Path) {
  std::string native, cwd;
  if (!Cp932PathToNative(cp932Path, native)) native.assign(cp932Path);
  if (!native.empty() && native[0] != '/' && NativeCurrentDirectory(cwd)) native = cwd + native;
  return native;
}

// Appends the absolute path that no entry holds yet. Without a rule the
// entry keeps its name until it is named.
AddResult Append(EntryTable& table, std::string_view given, const std::string_view* rule,
                 UserPrompts& ui, FileStatus* read = nullptr) {
  // A longer path does not fit the record; cutting it would name another file.
  if (given.size() > MaxPathBytes) return AddResult::PathTooLong;

  std::unique_ptr<FileEntry> entry(new (std::nothrow) FileEntry{});
  if (entry) {
    try {
      CopyField(entry->path, given);
      if (rule != nullptr)
        ExpandRule(*rule, *entry, table.entryCount + 1, SystemFileOps(), read, table.tagSources);
      else
        CopyField(entry->newPath, given);
    } catch (const std::bad_alloc&) {
      entry.reset();
    }
  }
  if (!entry || !table.Append(std::move(entry))) {
    ui.ShowError(Cp932("動的メモリの確保ができませんでした。"));
    return AddResult::OutOfMemory;
  }
  return AddResult::Added;
}

}  // namespace

AddResult AddEntry(EntryTable& table, const char* path, std::string_view rule, UserPrompts& ui) {
  std::string cwd, absolute;
  if (!Absolute(path != nullptr ? std::string_view(path) : "", cwd, absolute))
    return AddResult::NoCp932Form;
  for (int i = 0; i < table.entryCount; ++i)
    if (std::strcmp(table[i].path, absolute.c_str()) == 0) return AddResult::Duplicate;
  return Append(table, absolute, &rule, ui);
}

std::unique_ptr<TailsReadAhead> ReadAheadOfArguments(std::vector<std::string> natives,
                                                     std::size_t first) {
  return std::make_unique<TailsReadAhead>(
      SystemFileOps(), std::move(natives), first,
      [cwd = std::string()](const std::string& native, std::string& key) mutable {
        std::string given;
        return NativePathToCp932(native, given) && Absolute(given, cwd, key);
      });
}

// The duplicate test of a batch looks the path up in a set of the listed
// paths rather than comparing it with every entry: 1024 files at once would
// otherwise take half a million comparisons.
AddResult AddBatch::Add(const char* path, std::string_view rule) {
  const std::string_view given = path != nullptr ? std::string_view(path) : "";
  std::string absolute;
  if (!Absolute(given, cwd_, absolute)) {
    RefuseUnconvertible(NativeAbsolute(given));
    return AddResult::NoCp932Form;
  }
  if (!indexed_) {
    for (int i = 0; i < table_.entryCount; ++i) listed_.insert(PathOf(table_[i]));
    indexed_ = true;
  }
  // What each file was as its tag was read is kept while the batch has
  // read every row of the table, for the forecast that follows.
  knowsAll_ = knowsAll_ && !rule.empty() && rule.front() != '\0';
  AddResult result = AddResult::Duplicate;
  if (listed_.count(absolute) == 0) {
    FileStatus status;
    const bool now = namedFrom_ < 0;
    result =
        Append(table_, absolute, now ? &rule : nullptr, ui_, now && knowsAll_ ? &status : nullptr);
    if (result == AddResult::Added) {
      listed_.insert(PathOf(table_[table_.entryCount - 1]));
      if (now && knowsAll_) read_.push_back(std::move(status));
    }
  }
  if (result == AddResult::PathTooLong) tooLong_.push_back(ShortName(absolute));
  return result;
}

void AddBatch::NameLater() {
  if (namedFrom_ < 0) namedFrom_ = table_.entryCount;
}

void AddBatch::NameTheRest(std::string_view rule, UserPrompts* progress, FileOps& ops) {
  if (namedFrom_ < 0) return;
  const int from = std::exchange(namedFrom_, -1);
  std::vector<FileStatus> read;
  try {
    ExpandAll(rule, table_, ops, knowsAll_ ? &read : nullptr, progress, from);
  } catch (const std::bad_alloc&) {
    // The rows not named yet keep their names; they are listed all the same.
    knowsAll_ = false;
    ui_.ShowError(Cp932("動的メモリの確保ができませんでした。"));
    return;
  }
  if (knowsAll_) read_.insert(read_.end(), read.begin(), read.end());
}

const std::vector<FileStatus>& AddBatch::Statuses() {
  if (!knowsAll_ || read_.size() != static_cast<std::size_t>(table_.entryCount)) read_.clear();
  return read_;
}

void AddBatch::RefuseUnconvertible(std::string_view nativeUtf8Path) {
  std::string path(nativeUtf8Path), cwd;
  if (!path.empty() && path[0] != '/' && NativeCurrentDirectory(cwd)) path = cwd + path;
  unconvertible_.push_back(ShowableName(path));
}

void AddBatch::Finish() {
  const std::vector<std::string>* groups[] = {&tooLong_, &unconvertible_};
  const char* headings[] = {
      "パスが長すぎます（1023 バイトまでです）",
      "名前に扱えない文字（シフトJISにない文字や「\\」）が含まれています",
  };
  int nonEmpty = 0;
  for (const auto* group : groups) nonEmpty += group->empty() ? 0 : 1;
  if (nonEmpty == 0) return;

  // About twenty names in all keep the box on the screen.
  const std::size_t perGroup = std::max<std::size_t>(5, 20 / static_cast<std::size_t>(nonEmpty));
  std::string text = "次のファイルはリストに追加できませんでした。\n";
  for (std::size_t g = 0; g < std::size(groups); ++g) {
    const std::vector<std::string>& names = *groups[g];
    if (names.empty()) continue;
    text += std::string("\n■ ") + headings[g] + "\n";
    const std::size_t shown = std::min(perGroup, names.size());
    for (std::size_t i = 0; i < shown; ++i) text += "    " + names[i] + "\n";
    if (shown < names.size()) text += "    ほか " + std::to_string(names.size() - shown) + " 件\n";
  }
  text.pop_back();
  ui_.Refuse(Cp932Showing(text), "Selvane");
  tooLong_.clear();
  unconvertible_.clear();
}

}  // namespace selvane
