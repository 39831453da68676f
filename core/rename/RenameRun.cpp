#include "core/rename/RenameRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

// The step at which a file stopped, for the closing report.
enum class Step {
  Move,
  ToTemporary,
  DeleteTarget,
  FromTemporary,
  TargetNotAFile,  // the new name is held by a folder, a pipe, ...
  Replaced,        // an earlier row of this run replaced this file
};

struct Failure {
  std::string path;     // the file's path before the attempt
  std::string newPath;  // where it should have gone
  std::string where;    // where it is now, when that is neither of the two
  Step step;
  int error;  // errno, or for TargetNotAFile EISDIR / NotRegularFileError
};

// Shown at most this many files in the closing report; a box taller than
// the screen helps nobody, and the lists show the rest.
constexpr std::size_t ReportedFiles = 20;

// The fixed texts in CP932, converted once.
struct Texts {
  std::string before = Cp932("変換前：");
  std::string after = Cp932("\n変換後：");
  std::string forbidden = Cp932("変換後のファイル名に使用できない文字 ") +
                          std::string(ForbiddenNameChars) + Cp932(" が含まれています");
  std::string leavesFolder =
      Cp932("変換後のファイル名に「..」などが含まれていて、元のフォルダの外を指します");
  std::string hidden = Cp932(
      "変換後のファイル名が「.」で始まっています（隠しファイルになり、表示されなくなります）");
  std::string noFileName = Cp932(
      "変換後のファイル名に、ファイル名にできない文字（シフトJISでないタグの文字）が含まれて"
      "います");
  std::string editAgain = Cp932("\n\nタグ情報を編集し直して下さい");
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
  std::string folderInTheWay = Cp932("変換後の名前のフォルダが既にあります");
  std::string otherInTheWay =
      Cp932("変換後の名前で、通常のファイルではないもの（パイプ、デバイスなど）が既にあります");
  std::string replaced = Cp932(
      "この実行で前の行のファイルに上書きされたため、リネームしていません（いまこの名前にあるのは"
      "前の行のファイルです）");
  std::string nowAt = Cp932("\n  現在の場所：");
  std::string moreBefore = Cp932("\nほか ");
  std::string moreAfter = Cp932(" 件のファイルもリネームできませんでした。");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
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

// The part that the naming put behind the file's directory; when the new
// path does not start with that directory, all of it counts as added.
struct Added {
  std::string_view text;
  bool bareName;  // nothing in front of it: a separator first makes it absolute
};

Added AddedPart(const PathSplit& old, std::string_view newPath) {
  const bool samePrefix = newPath.substr(0, old.prefix.size()) == old.prefix;
  if (!samePrefix) return {newPath, true};
  return {newPath.substr(old.prefix.size()), old.prefix.empty()};
}

// Calls `visit` with each part of `added` between separators (trail bytes
// are never separators) and whether it is the last; stops when it says so.
template <typename Visit>
void ForEachPart(std::string_view added, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0;;) {
    const bool end = i == added.size();
    const std::size_t length = end ? 1 : CharLength(added, i);
    if (end || (length == 1 && (added[i] == '\\' || added[i] == '/'))) {
      if (!visit(added.substr(start, i - start), i, end) || end) return;
      start = i + 1;
    }
    i += length;
  }
}

// True when the added part would lead out of the file's directory: a "."
// or ".." part, or a leading separator that makes a bare name absolute. A
// subdirectory ("AC/DC") stays allowed.
bool LeavesItsFolder(const Added& added) {
  bool leaves = false;
  ForEachPart(added.text, [&](std::string_view part, std::size_t at, bool end) {
    if (part == "." || part == ".." || (at == 0 && !end && added.bareName)) leaves = true;
    return !leaves;
  });
  return leaves;
}

bool HidesIt(const Added& added, std::string_view oldName) {
  bool hides = false;
  ForEachPart(added.text, [&](std::string_view part, std::size_t, bool end) {
    const bool dotted = !part.empty() && part.front() == '.';
    hides = dotted && !(end && !oldName.empty() && oldName.front() == '.');
    return !hides;
  });
  return hides;
}

std::string SkipMessage(std::string_view oldName, std::string_view newName, NameRefusal refusal) {
  const Texts& t = Text();
  std::string text;
  text.reserve(256);
  text.append(t.before).append(oldName).append(t.after).append(newName);
  text.append("\n\n").append(RefusalReason(refusal)).append(t.editAgain);
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
        text.append(ErrorText(f.error));
        break;
      case Step::ToTemporary:
        text.append(t.toTemporary).append(ErrorText(f.error));
        break;
      case Step::DeleteTarget:
        text.append(t.deleteTarget).append(ErrorText(f.error));
        break;
      case Step::FromTemporary:
        text.append(t.fromTemporary).append(ErrorText(f.error));
        break;
      case Step::TargetNotAFile:
        text.append(f.error == EISDIR ? t.folderInTheWay : t.otherInTheWay);
        break;
      case Step::Replaced:
        text.append(t.replaced);
        break;
    }
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

enum class Replacement { Failed, Done, MetItself };

// The road after "Yes" to the overwrite question: out of the way under the
// temporary name, the agreed file deleted, then into its place.
Replacement ReplaceTarget(FileEntry& entry, FileOps& ops, std::vector<Failure>& failures) {
  FileResult result = ops.Move(entry.path, TemporaryName);
  if (!result) {
    // Nothing has changed yet, so nothing may be deleted.
    failures.push_back({entry.path, entry.newPath, {}, Step::ToTemporary, result.error});
    return Replacement::Failed;
  }
  // A file that met itself in the existence test is no longer there: the
  // delete finds nothing, which is no failure.
  result = ops.Delete(entry.newPath);
  const bool metItself = result.error == ENOENT;
  if (!result && !metItself) {
    ReturnFromTemporary(
        entry, ops, {entry.path, entry.newPath, {}, Step::DeleteTarget, result.error}, failures);
    return Replacement::Failed;
  }
  result = ops.Move(TemporaryName, entry.newPath);
  if (!result) {
    ReturnFromTemporary(
        entry, ops, {entry.path, entry.newPath, {}, Step::FromTemporary, result.error}, failures);
    return Replacement::Failed;
  }
  return metItself ? Replacement::MetItself : Replacement::Done;
}

}  // namespace

NameRefusal CheckNewName(std::string_view path, std::string_view newPath) {
  const PathSplit old = SplitForRename(path);
  if (!FindForbiddenChars(SplitForRename(newPath).name).empty()) return NameRefusal::ForbiddenChars;
  const Added added = AddedPart(old, newPath);
  if (LeavesItsFolder(added)) return NameRefusal::LeavesFolder;
  if (HidesIt(added, old.name)) return NameRefusal::Hidden;
  std::string native;
  if (!Cp932PathToNative(newPath, native)) return NameRefusal::NoFileName;
  return NameRefusal::None;
}

std::string RefusalReason(NameRefusal refusal) {
  const Texts& t = Text();
  switch (refusal) {
    case NameRefusal::ForbiddenChars:
      return t.forbidden;
    case NameRefusal::LeavesFolder:
      return t.leavesFolder;
    case NameRefusal::Hidden:
      return t.hidden;
    case NameRefusal::NoFileName:
      return t.noFileName;
    case NameRefusal::None:
      break;
  }
  return {};
}

std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops) {
  std::vector<RowOutlook> rows(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  // Names that earlier rows will take, names they will give up, and files
  // they will ask to replace.
  std::unordered_set<std::string_view> taken, vacated, replacing;
  for (int i = 0; i < table.entryCount; ++i) {
    const FileEntry& entry = table[i];
    RowOutlook& row = rows[static_cast<std::size_t>(i)];
    const std::string_view path = entry.path, newPath = entry.newPath;
    if (newPath.empty() || newPath == path) {
      row.outlook = Outlook::Unchanged;
      continue;
    }
    if (replacing.count(path) != 0) {
      row.outlook = Outlook::MayBeReplaced;
      continue;
    }
    row.refusal = CheckNewName(path, newPath);
    if (row.refusal != NameRefusal::None) {
      row.outlook = Outlook::Refused;
      continue;
    }
    if (taken.count(newPath) != 0) {
      row.outlook = Outlook::AsksEarlierRow;
    } else if (vacated.count(newPath) == 0) {
      const FileKind kind = ops.Status(entry.newPath).kind;
      row.outlook = kind == FileKind::Missing   ? Outlook::Moves
                    : kind == FileKind::Regular ? Outlook::AsksExisting
                                                : Outlook::TargetNotAFile;
      if (row.outlook == Outlook::TargetNotAFile) continue;
      if (row.outlook == Outlook::AsksExisting) replacing.insert(newPath);
    }
    taken.insert(newPath);
    vacated.insert(path);
  }
  return rows;
}

std::string OutlookText(const RowOutlook& row) {
  switch (row.outlook) {
    case Outlook::Refused:
      return Cp932("リネームされません：") + RefusalReason(row.refusal);
    case Outlook::TargetNotAFile:
      return Cp932(
          "リネームされません：変換後の名前のフォルダ（または通常のファイルでないもの）が"
          "既にあります");
    case Outlook::AsksExisting:
      return Cp932("同名のファイルが既に存在します（リネーム時に上書きの確認があります）");
    case Outlook::AsksEarlierRow:
      return Cp932("前の行と同じ変換後の名前です（リネーム時に上書きの確認があります）");
    case Outlook::MayBeReplaced:
      return Cp932(
          "前の行のリネームで、このファイルを上書きするか確認があります（上書きすると"
          "この行はリネームされません）");
    case Outlook::Moves:
    case Outlook::Unchanged:
      break;
  }
  return {};
}

void RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui) {
  if (table.entryCount <= 0) return;
  const Texts& t = Text();
  std::vector<Failure> failures;
  // The files that took the place of another one in this run. A later
  // entry whose path now names one of them no longer has a file of its own.
  std::vector<FileStatus> replacers;

  for (int i = 0; i < table.entryCount; ++i) {
    FileEntry& entry = table[i];
    ui.SetStatus(entry.path);
    if (entry.newPath[0] == '\0') continue;

    if (!replacers.empty()) {
      const FileStatus own = ops.Status(entry.path);
      bool replaced = false;
      for (const FileStatus& replacer : replacers) replaced = replaced || own.SameFileAs(replacer);
      if (replaced) {
        failures.push_back({entry.path, entry.newPath, {}, Step::Replaced, 0});
        continue;
      }
    }

    const std::string_view newPath = entry.newPath;
    if (const NameRefusal refusal = CheckNewName(entry.path, newPath);
        refusal != NameRefusal::None) {
      const bool wholeAddedPart =
          refusal == NameRefusal::LeavesFolder || refusal == NameRefusal::Hidden;
      const std::string shown =
          wholeAddedPart ? std::string(AddedPart(SplitForRename(entry.path), newPath).text)
                         : SplitForRename(newPath).name;
      ui.Refuse(SkipMessage(SplitForRename(entry.path).name, shown, refusal), t.skipCaption);
      continue;
    }

    const FileStatus target = ops.Status(entry.newPath);
    if (target.kind == FileKind::Regular) {
      if (!ui.Ask(OverwriteQuestion(entry.path, newPath), t.overwriteCaption)) continue;
      const Replacement done = ReplaceTarget(entry, ops, failures);
      if (done == Replacement::Failed) continue;
      if (done == Replacement::Done) replacers.push_back(ops.Status(entry.newPath));
    } else if (target.kind != FileKind::Missing) {
      // Only a regular file is asked about; a folder or a pipe of that name
      // cannot be replaced, and the move would fail on it anyway. Nothing to
      // do for a pipe or a folder whose name stays as it is.
      if (newPath != std::string_view(entry.path))
        failures.push_back({entry.path,
                            entry.newPath,
                            {},
                            Step::TargetNotAFile,
                            target.kind == FileKind::Folder ? EISDIR : NotRegularFileError});
      continue;
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
