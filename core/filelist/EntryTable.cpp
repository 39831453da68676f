#include "core/filelist/EntryTable.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "core/UserPrompts.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

std::string_view PathOf(const FileEntry& entry) {
  return std::string_view(entry.path, strnlen(entry.path, sizeof entry.path));
}

bool InUse(const EntryTable& table, int index) { return index >= 0 && index < table.entryCount; }

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
  std::size_t start = 0;
  for (std::size_t i = 0; i < cp932Path.size(); i += CharLength(cp932Path, i))
    if (CharLength(cp932Path, i) == 1 && (cp932Path[i] == '\\' || cp932Path[i] == '/'))
      start = i + 1;
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

bool IsSeparator(std::string_view path, std::size_t i) {
  return CharLength(path, i) == 1 && (path[i] == '\\' || path[i] == '/');
}

// A relative path resolved against the current folder, once, as it comes
// in: the open dialog moves the current folder later, and the entry must
// go on naming the file it named. Its "." parts go; ".." parts stay, since
// a link on the way gives them their meaning. An absolute path is kept as
// given (no normalising: the duplicate test compares bytes). False when
// the current folder cannot be read or has no CP932 form.
// `cwd` keeps the current folder between calls of one batch ("" at first).
bool Absolute(std::string_view path, std::string& cwd, std::string& out) {
  if (path.empty() || path[0] == '/' || path[0] == '\\') {
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
    if (i < path.size() && !IsSeparator(path, i)) continue;
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

// Appends the absolute path that no entry holds yet.
AddResult Append(EntryTable& table, std::string_view given, std::string_view rule,
                 UserPrompts& ui) {
  // A longer path does not fit the record; cutting it would name another file.
  if (given.size() > MaxPathBytes) return AddResult::PathTooLong;

  std::unique_ptr<FileEntry> entry(new (std::nothrow) FileEntry{});
  if (entry) {
    CopyField(entry->path, given);
    ExpandRule(rule, *entry, table.entryCount + 1, SystemFileOps(), nullptr, table.tagSources);
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
  return Append(table, absolute, rule, ui);
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
  AddResult result = AddResult::Duplicate;
  if (listed_.count(absolute) == 0) {
    result = Append(table_, absolute, rule, ui_);
    if (result == AddResult::Added) listed_.insert(PathOf(table_[table_.entryCount - 1]));
  }
  if (result == AddResult::PathTooLong) tooLong_.push_back(ShortName(absolute));
  return result;
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
  ui_.RefuseUtf8(text, "Selvane");
  tooLong_.clear();
  unconvertible_.clear();
}

bool EntryTable::Append(std::unique_ptr<FileEntry> entry) {
  try {
    entries.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    return false;
  }
  entryCount = static_cast<int>(entries.size());
  return true;
}

void SwapEntries(EntryTable& table, int a, int b) {
  if (!InUse(table, a) || !InUse(table, b)) return;
  std::swap(table.entries[static_cast<std::size_t>(a)], table.entries[static_cast<std::size_t>(b)]);
}

// Later records move up one slot, by their pointers: a record is never
// copied, and the deleted one is freed.
void DeleteEntry(EntryTable& table, int index) {
  if (!InUse(table, index)) return;
  table.entries.erase(table.entries.begin() + index);
  table.entryCount = static_cast<int>(table.entries.size());
}

void ClearEntries(EntryTable& table) {
  table.entries.clear();
  table.entryCount = 0;
}

void SortEntries(EntryTable& table) {
  const int n = table.entryCount;
  if (n < 2) return;
  const auto byPath = [&](int a, int b) { return std::strcmp(table[a].path, table[b].path) < 0; };
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), byPath);
  // Equal paths share a rank.
  std::vector<int> rank(static_cast<std::size_t>(n));
  int current = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && byPath(order[k - 1], order[k])) ++current;
    rank[static_cast<std::size_t>(order[k])] = current;
  }
  if (current + 1 < n && n <= DesignedEntries) {
    // Twins among at most 1024: the exchange sort replayed on the ranks
    // gives them the order they always had, without comparing strings.
    for (std::size_t i = 0; i + 1 < rank.size(); ++i) {
      for (std::size_t j = i + 1; j < rank.size(); ++j) {
        if (rank[i] > rank[j]) {
          std::swap(rank[i], rank[j]);
          std::swap(table.entries[i], table.entries[j]);
        }
      }
    }
    return;
  }
  std::vector<std::unique_ptr<FileEntry>> sorted;
  sorted.reserve(table.entries.size());
  for (const int i : order) sorted.push_back(std::move(table.entries[static_cast<std::size_t>(i)]));
  table.entries.swap(sorted);
}

}  // namespace selvane
