#include "core/rename/NamingRule.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>

#include "core/UserPrompts.h"
#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"
#include "core/rename/Id3v2Names.h"
#include "core/tags/Id3v1Tag.h"

namespace selvane {
namespace {

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// SplitPath keeps a name and an extension to 255 bytes each. A path it
// cannot give back whole would be named from a cut-off name, so such a file
// keeps its name.
bool SplitsWhole(const PathParts& parts, std::string_view path) {
  return parts.drive.size() + parts.directory.size() + parts.name.size() + parts.extension.size() ==
         path.size();
}

// The rule as far as its first NUL.
std::string_view RuleText(std::string_view rule) { return rule.substr(0, rule.find('\0')); }

}  // namespace

bool ReplaceToken(std::string& work, std::string_view token, std::string_view value) {
  if (token.empty()) return false;
  const std::size_t at = work.find(token);
  if (at == std::string::npos) return false;
  work.replace(at, token.size(), value);
  return true;
}

void ReadRuleValues(std::string_view rule, FileEntry& entry, NameValues& values, FileOps& ops,
                    FileStatus* status, TagSources sources, std::string_view native) {
  if (!RuleText(rule).empty()) values.Read(entry, sources, ops, status, native);
}

void ExpandRule(std::string_view rule, FileEntry& entry, int position, NameValues& values) {
  rule = RuleText(rule);
  const std::string_view path = entry.path;
  const auto keepName = [&] { CopyField(entry.newPath, path); };

  if (rule.empty()) {
    entry.id3v2 = {};
    keepName();
    return;
  }
  const bool tagged = values.Tagged();

  const PathParts parts = SplitPath(path);
  if (rule.size() > WorkTextLimit || !SplitsWhole(parts, path)) {
    keepName();
    return;
  }

  std::string work(rule);
  bool replaced = false;
  if (tagged) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", position);
    // A value is looked for only when its token is there to take it.
    const auto replace = [&](std::string_view token, TagField field) {
      return work.find(token) != std::string::npos && ReplaceToken(work, token, values.Get(field));
    };
    const bool title = replace("$T", TagField::Title);
    const bool artist = replace("$A", TagField::Artist);
    const bool album = replace("$L", TagField::Album);
    NoteUsedFields(entry.id3v2, title, artist, album);
    if (title || artist || album) replaced = true;
    if (ReplaceToken(work, "$R", number)) replaced = true;
  }
  if (ReplaceToken(work, "$F", parts.name)) replaced = true;

  // Too long a name is never cut: a cut name could end in half a word or
  // lose its extension, so the file keeps the name it has.
  std::string newPath;
  if (parts.flags & HasDrive) newPath += parts.drive;
  if (parts.flags & HasDirectory) newPath += parts.directory;
  if (!replaced || work.size() > WorkTextLimit || newPath.size() + work.size() > MaxPathBytes) {
    keepName();
    return;
  }
  newPath += work;
  CopyField(entry.newPath, newPath);
}

void ExpandRule(std::string_view rule, FileEntry& entry, int position, FileOps& ops,
                FileStatus* status, TagSources sources) {
  NameValues values;
  ReadRuleValues(rule, entry, values, ops, status, sources);
  ExpandRule(rule, entry, position, values);
}

void ExpandAll(std::string_view rule, EntryTable& table, FileOps& ops,
               std::vector<FileStatus>* statuses, UserPrompts* progress, int from) {
  const int n = table.entryCount;
  from = std::clamp(from, 0, std::max(n, 0));
  const int rows = n - from;
  const bool reads = !rule.empty() && rule.front() != '\0';
  if (statuses != nullptr) {
    statuses->clear();
    if (reads) statuses->resize(static_cast<std::size_t>(rows));
  }
  // Each row's path is made native once, for all the reads of its tags,
  // where the file system takes it so; `native` is the thread's own.
  const bool makesNative = reads && ops.TakesNativePaths();
  const auto expand = [&](int i, std::string& native) {
    FileStatus* status =
        reads && statuses != nullptr ? &(*statuses)[static_cast<std::size_t>(i - from)] : nullptr;
    FileEntry& entry = table[i];
    if (!makesNative || !Cp932PathToNative(entry.path, native)) native.clear();
    NameValues values;
    ReadRuleValues(rule, entry, values, ops, status, table.tagSources, native);
    ExpandRule(rule, entry, i + 1, values);
  };
  // Reading a tag is mostly waiting on the system: over many files a second
  // thread reads too. The rows are handed out a run at a time, so that a
  // thread that starts late, or is slowed by other work, leaves its share
  // to the other. Each row is named by one thread only; only the next run
  // and the count of rows done are shared.
  constexpr int Run = 32;
  const bool two = reads && rows >= TwoThreadsFrom && ops.ReadsFromTwoThreads();
  std::atomic<int> next{from}, done{0};
  std::atomic<bool> stop{false};
  const auto nameRuns = [&](bool counting) {
    std::string native;
    for (;;) {
      const int first = next.fetch_add(Run, std::memory_order_relaxed);
      if (first >= n) return;
      const int last = std::min(first + Run, n);
      for (int i = first; i < last; ++i) {
        if (stop.load(std::memory_order_relaxed)) return;
        if (counting) progress->Progress(done.load(std::memory_order_relaxed) + 1, rows);
        expand(i, native);
        done.fetch_add(1, std::memory_order_relaxed);
      }
    }
  };
  std::exception_ptr secondFailed;
  std::thread second;
  if (two) {
    second = std::thread([&] {
      try {
        nameRuns(false);
      } catch (...) {
        secondFailed = std::current_exception();
        stop.store(true, std::memory_order_relaxed);
      }
    });
  }
  const bool counting = progress != nullptr && n > ProgressFrom;
  // The second thread is waited for whatever happens here.
  std::exception_ptr firstFailed;
  try {
    nameRuns(counting);
  } catch (...) {
    firstFailed = std::current_exception();
    stop.store(true, std::memory_order_relaxed);
  }
  if (second.joinable()) second.join();
  if (firstFailed) std::rethrow_exception(firstFailed);
  if (secondFailed) std::rethrow_exception(secondFailed);
  if (counting && two) progress->Progress(rows, rows);
}

std::string_view FindForbiddenChars(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (CharLength(text, i) == 1 && ForbiddenNameChars.find(text[i]) != std::string_view::npos)
      return ForbiddenNameChars;
  }
  return {};
}

const std::array<const char*, 6> PresetRules = {
    "$T.mp3", "$T($A).mp3", "($A)$T.mp3", "($R)$T.mp3", "$R.$T($A／$L).mp3", "$F.EXT",
};

}  // namespace selvane
