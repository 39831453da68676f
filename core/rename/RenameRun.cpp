#include "core/rename/RenameRun.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

// The step at which a file stopped, for the closing report.
enum class Step { Move, ToTemporary, DeleteTarget, FromTemporary };

struct Failure {
  std::string path;     // the file's path before the attempt
  std::string newPath;  // where it should have gone
  std::string where;    // where it is now, when that is neither of the two
  Step step;
  int error;
};

// Shown at most this many files in the closing report; a box taller than
// the screen helps nobody, and the lists show the rest.
constexpr std::size_t ReportedFiles = 20;

// The fixed texts in CP932, converted once.
struct Texts {
  std::string before = Cp932("変換前：");
  std::string after = Cp932("\n変換後：");
  std::string forbidden = Cp932("\n\n変換後のファイル名に使用できない文字 ");
  std::string editAgain = Cp932(" が含まれています\n\nタグ情報を編集し直して下さい");
  std::string skipCaption = Cp932("リネーム作業をスキップします");
  std::string exists = Cp932("\n\n同名のファイルが既に存在します\n上書きしますか？");
  std::string overwriteCaption = Cp932("上書き確認");
  std::string finished = Cp932("リネーム終了");
  std::string failedHead = Cp932("次のファイルはリネームできませんでした。\n");
  std::string failedCaption = Cp932("リネームできなかったファイルがあります");
  std::string arrow = Cp932("\n  → ");
  std::string toTemporary = Cp932("一時ファイル SelvaneBk.tmp へ移動できません：");
  std::string deleteTarget = Cp932("上書きするファイルを削除できません：");
  std::string fromTemporary = Cp932("一時ファイルから移動できません：");
  std::string nowAt = Cp932("\n  現在の場所：");
  std::string moreBefore = Cp932("\nほか ");
  std::string moreAfter = Cp932(" 件のファイルもリネームできませんでした。");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

// strerror_r comes in two shapes; take the text from either.
[[maybe_unused]] const char* PickText(int rc, const char* buffer) {
  return rc == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* PickText(const char* text, const char*) { return text; }

std::string ReasonText(int error) {
  char buffer[256] = {};
  const char* text = PickText(strerror_r(error, buffer, sizeof buffer), buffer);
  std::string out;
  if (text == nullptr || !NativeToCp932(text, out)) out = "errno " + std::to_string(error);
  return out;
}

struct PathSplit {
  std::string prefix;  // drive and directory, as the naming put them in front
  std::string name;    // name and extension
};

PathSplit SplitForRename(std::string_view path) {
  const PathParts parts = SplitPath(path);
  PathSplit split;
  if (parts.flags & HasDrive) split.prefix = parts.drive;
  if (parts.flags & HasDirectory) split.prefix += parts.directory;
  split.name = parts.name + parts.extension;
  return split;
}

// True when the part that the naming added behind the file's directory
// would lead out of that directory: a "." or ".." component, or a leading
// separator that makes a bare name absolute. A subdirectory ("AC/DC") stays
// allowed. Trail bytes are never separators.
bool LeavesItsFolder(std::string_view added, bool bareName) {
  std::size_t start = 0;
  for (std::size_t i = 0;;) {
    const bool end = i == added.size();
    const std::size_t length = end ? 1 : CharLength(added, i);
    if (end || (length == 1 && (added[i] == '\\' || added[i] == '/'))) {
      const std::string_view part = added.substr(start, i - start);
      if (part == "." || part == "..") return true;
      if (i == 0 && !end && bareName) return true;
      if (end) return false;
      start = i + 1;
    }
    i += length;
  }
}

std::string SkipMessage(std::string_view oldName, std::string_view newName) {
  const Texts& t = Text();
  std::string text;
  text.reserve(256);
  text.append(t.before).append(oldName).append(t.after).append(newName);
  text.append(t.forbidden).append(ForbiddenNameChars).append(t.editAgain);
  return text;
}

std::string OverwriteQuestion(std::string_view path, std::string_view newPath) {
  const Texts& t = Text();
  std::string text;
  text.append(t.before).append(path).append(t.after).append(newPath).append(t.exists);
  return text;
}

std::string FailureReport(const std::vector<Failure>& failures) {
  const Texts& t = Text();
  std::string text = t.failedHead;
  const std::size_t shown = failures.size() < ReportedFiles ? failures.size() : ReportedFiles;
  for (std::size_t i = 0; i < shown; ++i) {
    const Failure& f = failures[i];
    text.append("\n").append(f.path).append(t.arrow).append(f.newPath).append("\n  ");
    switch (f.step) {
      case Step::Move:
        break;
      case Step::ToTemporary:
        text.append(t.toTemporary);
        break;
      case Step::DeleteTarget:
        text.append(t.deleteTarget);
        break;
      case Step::FromTemporary:
        text.append(t.fromTemporary);
        break;
    }
    text.append(ReasonText(f.error));
    if (!f.where.empty()) text.append(t.nowAt).append(f.where);
    text.append("\n");
  }
  if (failures.size() > shown)
    text.append(t.moreBefore).append(std::to_string(failures.size() - shown)).append(t.moreAfter);
  return text;
}

// After a failed delete or last move the file lies under the temporary
// name. It goes back to its old name; failing that, to its new one (the
// move never replaces); only if both are refused does it stay, and the
// entry then names that place so the list still finds it.
void ReturnFromTemporary(FileEntry& entry, FileOps& ops, Failure failure,
                         std::vector<Failure>& failures) {
  if (ops.Move(TemporaryName, entry.path)) {
    failures.push_back(std::move(failure));
    return;
  }
  if (ops.Move(TemporaryName, entry.newPath)) {
    CopyField(entry.path, entry.newPath);
    return;
  }
  std::string where;
  if (!CurrentDirectory(where)) where.clear();
  where += TemporaryName;
  if (where.size() > MaxPathBytes) where = TemporaryName;
  CopyField(entry.path, where);
  failure.where = std::move(where);
  failures.push_back(std::move(failure));
}

// The road after "Yes" to the overwrite question: out of the way under the
// temporary name, the agreed file deleted, then into its place. True when
// the file now lies at newPath.
bool ReplaceTarget(FileEntry& entry, FileOps& ops, std::vector<Failure>& failures) {
  FileResult result = ops.Move(entry.path, TemporaryName);
  if (!result) {
    // Nothing has changed yet, so nothing may be deleted.
    failures.push_back({entry.path, entry.newPath, {}, Step::ToTemporary, result.error});
    return false;
  }
  // A file that met itself in the existence test is no longer there: the
  // delete finds nothing, which is no failure.
  result = ops.Delete(entry.newPath);
  if (!result && result.error != ENOENT) {
    ReturnFromTemporary(
        entry, ops, {entry.path, entry.newPath, {}, Step::DeleteTarget, result.error}, failures);
    return false;
  }
  result = ops.Move(TemporaryName, entry.newPath);
  if (!result) {
    ReturnFromTemporary(
        entry, ops, {entry.path, entry.newPath, {}, Step::FromTemporary, result.error}, failures);
    return false;
  }
  return true;
}

}  // namespace

void RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui) {
  if (table.entryCount <= 0) return;
  const Texts& t = Text();
  std::vector<Failure> failures;

  for (int i = 0; i < table.entryCount; ++i) {
    FileEntry& entry = table[i];
    ui.SetStatus(entry.path);
    if (entry.newPath[0] == '\0') continue;

    const std::string_view newPath = entry.newPath;
    const PathSplit oldSplit = SplitForRename(entry.path);
    const std::string newName = SplitForRename(newPath).name;
    if (!FindForbiddenChars(newName).empty()) {
      ui.Refuse(SkipMessage(oldSplit.name, newName), t.skipCaption);
      continue;
    }
    // The naming put the new name behind the old prefix; if it did not,
    // the whole new path counts as added.
    const bool samePrefix = newPath.substr(0, oldSplit.prefix.size()) == oldSplit.prefix;
    const std::string_view added = samePrefix ? newPath.substr(oldSplit.prefix.size()) : newPath;
    if (LeavesItsFolder(added, !samePrefix || oldSplit.prefix.empty())) {
      ui.Refuse(SkipMessage(oldSplit.name, added), t.skipCaption);
      continue;
    }

    if (ops.Exists(entry.newPath)) {
      if (!ui.Ask(OverwriteQuestion(entry.path, newPath), t.overwriteCaption)) continue;
      if (!ReplaceTarget(entry, ops, failures)) continue;
    } else if (const FileResult result = ops.Move(entry.path, entry.newPath); !result) {
      // The move never replaces, so a target that appeared after the test
      // lands here too, with nothing lost.
      failures.push_back({entry.path, entry.newPath, {}, Step::Move, result.error});
      continue;
    }
    CopyField(entry.path, entry.newPath);
  }

  if (!failures.empty()) ui.Refuse(FailureReport(failures), t.failedCaption);
  ui.SetStatus(t.finished);
}

}  // namespace selvane
