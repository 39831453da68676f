#include "core/rename/RenameRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/filelist/SplitPath.h"
#include "core/history/History.h"
#include "core/platform/Cp932.h"
#include "core/platform/Trash.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

// The step at which a file stopped, for the closing report.
enum class Step {
  Move,
  ToTemporary,
  DeleteTarget,
  FromTemporary,
  CannotMove,  // decided before any step; the error says why
  Replaced,    // an earlier row of this run replaced this file
};

struct Failure {
  std::string path;     // the file's path before the attempt
  std::string newPath;  // where it should have gone
  std::string where;    // where it is now, when that is neither of the two
  Step step;
  int error;  // errno, or for CannotMove the decision's reason
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
  std::string controlChars = Cp932(
      "変換後のファイル名に制御文字（改行、タブ、エスケープなど）が含まれています（^J などと表示"
      "しています）");
  std::string leavesFolder =
      Cp932("変換後のファイル名に「..」などが含まれていて、元のフォルダの外を指します");
  std::string hidden = Cp932(
      "変換後のファイル名が「.」で始まっています（隠しファイルになり、表示されなくなります）");
  std::string noFileName = Cp932(
      "変換後のファイル名に、ファイル名にできない文字（シフトJISでないタグの文字）が含まれて"
      "います");
  std::string linkToTarget = Cp932(
      "変換前のファイルは、変換後の名前のファイルを指すリンクです（上書きすると、リンク先の"
      "ファイルそのものが失われます）");
  std::string editAgain = Cp932("\n\nタグ情報を編集し直して下さい");
  std::string skipCaption = Cp932("リネーム作業をスキップします");
  std::string exists = Cp932("\n\n同名のファイルが既に存在します\n上書きしますか？");
  std::string overwriteCaption = Cp932("上書き確認");
  std::string finished = Cp932("リネーム終了");
  std::string deletedBefore = Cp932("リネーム終了（ゴミ箱に移せなかったため、上書きしたファイル ");
  std::string deletedAfter = Cp932(" 個を削除しました）");
  std::string renaming = Cp932("リネーム");
  std::string notStarted = Cp932("リネームを中止しました");
  std::string failedHead = Cp932("次のファイルはリネームできませんでした。\n");
  std::string failedCaption = Cp932("リネームできなかったファイルがあります");
  std::string arrow = Cp932("\n  → ");
  std::string toTemporary = Cp932("一時ファイル SelvaneBk.tmp へ移動できません：");
  std::string deleteTarget = Cp932("上書きするファイルを削除できません：");
  std::string fromTemporary = Cp932("一時ファイルから移動できません：");
  std::string folderInTheWay = Cp932("変換後の名前のフォルダが既にあります");
  std::string otherInTheWay = Cp932(
      "変換後の名前で、通常のファイルではないもの（パイプ、デバイス、リンク切れのリンクなど）が既に"
      "あります");
  std::string fileGone = Cp932("ファイルが見つかりません（移動または削除されています）");
  std::string noTargetFolder = Cp932("変換後の名前が指すフォルダがありません");
  std::string intoItself = Cp932("フォルダをそのフォルダの中へは移動できません");
  std::string replaced = Cp932(
      "この実行で前の行のファイルに上書きされたため、リネームしていません（いまこの名前にあるのは"
      "前の行のファイルです）");
  std::string nowAt = Cp932("\n  現在の場所：");
  std::string moreBefore = Cp932("\nほか ");
  std::string moreAfter = Cp932(" 件のファイルもリネームできませんでした。");
  std::string willNotMove = Cp932("リネームされません：");
  std::string asksExisting =
      Cp932("同名のファイルが既に存在します（リネーム時に上書きの確認があります）");
  std::string asksEarlierRow =
      Cp932("前の行と同じ変換後の名前です（リネーム時に上書きの確認があります）");
  std::string meetsItself = Cp932(
      "変換後の名前が今の名前と同じです（リネーム時に上書きの確認があります。「いいえ」で"
      "そのままになります）");
  std::string mayBeReplaced = Cp932(
      "前の行のリネームで、このファイルを上書きするか確認があります（上書きすると"
      "この行はリネームされません）");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

// Why a row cannot move, as the closing report and the marks say it.
const std::string& CannotMoveText(int error) {
  const Texts& t = Text();
  switch (error) {
    case EISDIR:
      return t.folderInTheWay;
    case ENOENT:
      return t.fileGone;
    case NoTargetFolderError:
      return t.noTargetFolder;
    case EINVAL:
      return t.intoItself;
    default:
      return t.otherInTheWay;
  }
}

bool IsControlByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

// A name for a message or a mark: a control byte becomes its caret form
// (^J for a newline, ^[ for ESC, ^? for DEL), which a box can show on one
// line. Control bytes are never trail bytes, so no character is split.
std::string Visible(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    if (IsControlByte(c)) {
      out += '^';
      out += static_cast<char>(static_cast<unsigned char>(c) ^ 0x40);
    } else {
      out += c;
    }
  }
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

// The folder part of a path: everything before its last separator (a
// trail byte is never one), or empty.
std::string_view FolderOf(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharLength(path, i))
    if (CharLength(path, i) == 1 && (path[i] == '\\' || path[i] == '/')) last = i;
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last);
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
  text.append(t.before).append(Visible(oldName)).append(t.after).append(Visible(newName));
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
    text.append("\n").append(Visible(f.path)).append(t.arrow).append(Visible(f.newPath));
    text.append("\n  ");
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
      case Step::CannotMove:
        text.append(CannotMoveText(f.error));
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
// temporary name, the agreed file into the trash (deleted only when no
// trash takes it), then into its place. A file whose new name is its own
// name has nothing to replace once it is away: it goes straight back.
// `record` (when the run is recorded) learns what became of the agreed
// file; `deleted` counts the deletions that a trash would have spared.
Replacement ReplaceTarget(FileEntry& entry, bool ownName, FileOps& ops, Trash* trash,
                          RenameRowResult* record, int& deleted, std::vector<Failure>& failures,
                          int& error) {
  FileResult result = ops.Move(entry.path, TemporaryName);
  if (!result) {
    // Nothing has changed yet, so nothing may be deleted.
    error = result.error;
    failures.push_back({entry.path, entry.newPath, {}, Step::ToTemporary, result.error});
    return Replacement::Failed;
  }
  // A file that met itself in the existence test under another spelling is
  // no longer there: the trash and the delete find nothing, which is no
  // failure.
  TrashedFile trashed;
  bool metItself = ownName, inTrash = false;
  if (trash != nullptr && !metItself) {
    result = trash->MoveToTrash(entry.newPath, trashed);
    inTrash = result.ok();
    metItself = result.error == ENOENT;
  }
  if (!inTrash && !metItself) {
    const FileStatus target = record != nullptr ? ops.Status(entry.newPath) : FileStatus{};
    result = ops.Delete(entry.newPath);
    metItself = result.error == ENOENT;
    if (!result && !metItself) {
      error = result.error;
      ReturnFromTemporary(
          entry, ops, {entry.path, entry.newPath, {}, Step::DeleteTarget, result.error}, failures);
      return Replacement::Failed;
    }
    if (result) {
      if (trash != nullptr) ++deleted;
      if (record != nullptr) {
        record->replaced = ReplacedFate::Deleted;
        record->trashed.file = target;
      }
    }
  }
  result = ops.Move(TemporaryName, entry.newPath);
  if (!result) {
    error = result.error;
    ReturnFromTemporary(
        entry, ops, {entry.path, entry.newPath, {}, Step::FromTemporary, result.error}, failures);
    // Nothing was replaced after all: the agreed file comes back out of the
    // trash when its name is still free.
    if (inTrash && trash->Restore(trashed.nativePath, entry.newPath)) inTrash = false;
  }
  if (inTrash && record != nullptr) {
    record->replaced = ReplacedFate::Trashed;
    record->trashed = std::move(trashed);
  }
  if (!result) return Replacement::Failed;
  return metItself ? Replacement::MetItself : Replacement::Done;
}

// A link that leads to the bytes of `target` without being a name of them:
// once `target` is deleted, the link leads nowhere and the bytes are gone.
bool LeadsThroughLink(const FileStatus& listed, const FileStatus& target) {
  return listed.link && target.SameFileAs(listed) && !target.SameEntryAs(listed);
}

// What each row's path held before anything moved.
std::vector<FileStatus> Origins(const EntryTable& table, FileOps& ops) {
  std::vector<FileStatus> origins(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  for (int i = 0; i < table.entryCount; ++i)
    if (table[i].newPath[0] != '\0') origins[static_cast<std::size_t>(i)] = ops.Status(table[i].path);
  return origins;
}

// The disk as the forecast expects the earlier rows to leave it: names the
// rows vacate and take over the real disk, which is never changed. A link
// is followed through those names, so a link whose target an earlier row
// moves is seen as the run will see it. (Names inside a folder that a row
// renames are not followed into its new name: the run moves such folders
// only when they are listed themselves.) The rows' own paths are looked at
// once, before the first row; every name is a view into the table, which
// the forecast leaves as it is.
class PlannedDisk final : public FileOps {
 public:
  PlannedDisk(FileOps& real, const EntryTable& table, const std::vector<FileStatus>& origins)
      : real_(real) {
    known_.reserve(origins.size());
    for (std::size_t i = 0; i < origins.size(); ++i)
      known_.emplace(table[static_cast<int>(i)].path, &origins[i]);
  }

  // The row's file moves from `from` to `to`.
  void Moved(std::string_view from, std::string_view to) {
    const FileStatus entry = Entry(from);
    names_[from] = FileStatus{};
    names_[to] = entry;
  }
  bool Planned(std::string_view name) const {
    const auto it = names_.find(name);
    return it != names_.end() && it->second.kind != FileKind::Missing;
  }

  FileStatus Status(const char* path) override {
    bool touched = false;
    return Resolve(path, 0, touched);
  }
  FileResult Length(const char*, std::int64_t&) override { return {EROFS}; }
  FileResult ReadTail(const char*, unsigned char*, std::int64_t&) override { return {EROFS}; }
  FileResult ReadAt(const char*, std::int64_t, void*, std::size_t) override { return {EROFS}; }
  FileResult Truncate(const char*, std::int64_t) override { return {EROFS}; }
  FileResult Append(const char*, const void*, std::size_t) override { return {EROFS}; }
  FileResult WriteAt(const char*, std::int64_t, const void*, std::size_t) override {
    return {EROFS};
  }
  FileResult Delete(const char*) override { return {EROFS}; }
  FileResult Move(const char*, const char*) override { return {EROFS}; }

 private:
  // A name's own entry as planned, as it was before the first row, or as
  // the real disk has it.
  FileStatus Entry(std::string_view name, bool* planned = nullptr) const {
    if (const auto it = names_.find(name); it != names_.end()) {
      if (planned != nullptr) *planned = true;
      return it->second;
    }
    if (const auto it = known_.find(name); it != known_.end()) return *it->second;
    return real_.Status(std::string(name).c_str());
  }

  // Where `name` leads, links followed through the planned names. Only a
  // chain that meets a planned name is followed here; any other link keeps
  // what the real disk says of it.
  FileStatus Resolve(std::string_view name, int depth, bool& touched) const {
    bool planned = false;
    FileStatus own = Entry(name, &planned);
    touched = touched || planned;
    if (own.kind == FileKind::Missing || !own.link || own.linkText.empty() || depth > 16)
      return own;
    bool chainTouched = planned;
    const FileStatus leads = Resolve(LinkTarget(name, own.linkText), depth + 1, chainTouched);
    touched = touched || chainTouched;
    if (!chainTouched) return own;
    if (leads.kind == FileKind::Missing) {
      own.kind = FileKind::Other;  // a link that now leads nowhere
      own.device = own.nameDevice;
      own.inode = own.nameInode;
      own.length = 0;
    } else {
      own.kind = leads.kind;
      own.device = leads.device;
      own.inode = leads.inode;
      own.length = leads.length;
    }
    return own;
  }

  // A link's text read from the folder that holds it, "." and ".." parts
  // taken away as a path walk would.
  static std::string LinkTarget(std::string_view link, const std::string& text) {
    const std::string joined =
        text.front() == '/' ? text : std::string(FolderOf(link)) + "/" + text;
    std::vector<std::string_view> parts;
    ForEachPart(joined, [&](std::string_view part, std::size_t, bool) {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      return true;
    });
    std::string out;
    for (const std::string_view part : parts) out.append("/").append(part);
    return out.empty() ? "/" : out;
  }

  FileOps& real_;
  std::unordered_map<std::string_view, FileStatus> names_;  // kind Missing: vacated
  std::unordered_map<std::string_view, const FileStatus*> known_;
};

// The origins given, when they are one per row, else looked at now.
const std::vector<FileStatus>& OriginsToUse(const EntryTable& table, FileOps& ops,
                                            const std::vector<FileStatus>* given,
                                            std::vector<FileStatus>& own) {
  if (given != nullptr && given->size() == static_cast<std::size_t>(table.entryCount))
    return *given;
  own = Origins(table, ops);
  return own;
}

}  // namespace

NameRefusal CheckNewName(std::string_view path, std::string_view newPath) {
  const PathSplit old = SplitForRename(path);
  if (!FindForbiddenChars(SplitForRename(newPath).name).empty()) return NameRefusal::ForbiddenChars;
  const Added added = AddedPart(old, newPath);
  for (const char c : added.text)
    if (IsControlByte(c)) return NameRefusal::ControlChars;
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
    case NameRefusal::ControlChars:
      return t.controlChars;
    case NameRefusal::LeavesFolder:
      return t.leavesFolder;
    case NameRefusal::Hidden:
      return t.hidden;
    case NameRefusal::NoFileName:
      return t.noFileName;
    case NameRefusal::LinkToTarget:
      return t.linkToTarget;
    case NameRefusal::None:
      break;
  }
  return {};
}

RowDecision DecideRow(const FileEntry& entry, const FileStatus& origin, FileOps& disk,
                      const RunSoFar& soFar) {
  RowDecision d;
  const std::string_view path = entry.path, newPath = entry.newPath;
  if (newPath.empty()) return d;

  const FileStatus own = disk.Status(entry.path);
  for (const FileStatus& replacer : soFar.replacers) {
    if (own.SameFileAs(replacer)) {
      d.fate = RowFate::NotCarriedOn;
      return d;
    }
  }
  d.refusal = CheckNewName(path, newPath);
  if (d.refusal != NameRefusal::None) {
    d.fate = RowFate::Refused;
    return d;
  }
  d.meetsItself = newPath == path;
  auto cannotMove = [&d](int error) {
    d.fate = RowFate::CannotMove;
    d.error = error;
    return d;
  };
  if (own.kind == FileKind::Missing) return cannotMove(ENOENT);

  const FileStatus target = d.meetsItself ? own : disk.Status(entry.newPath);
  switch (target.kind) {
    case FileKind::Missing: {
      // A name that leads into another folder moves only into one that is there.
      const std::string_view folder = FolderOf(newPath);
      if (folder != FolderOf(path) && !folder.empty() &&
          disk.Status(std::string(folder).c_str()).kind != FileKind::Folder)
        return cannotMove(NoTargetFolderError);
      if (own.kind == FileKind::Folder && newPath.size() > path.size() &&
          newPath.substr(0, path.size()) == path && newPath[path.size()] == '/')
        return cannotMove(EINVAL);
      d.fate = RowFate::Moves;
      return d;
    }
    case FileKind::Regular:
      // The run never deletes the last name of the bytes it moves: a link
      // to the file of its new name is not put in that file's place.
      if (LeadsThroughLink(origin, target) || LeadsThroughLink(own, target)) {
        d.fate = RowFate::Refused;
        d.refusal = NameRefusal::LinkToTarget;
        return d;
      }
      d.fate = RowFate::Asks;
      return d;
    case FileKind::Folder:
    case FileKind::Other:
      // Only a regular file is asked about; a folder or a pipe of that name
      // cannot be replaced. One that keeps its own name is left alone.
      if (d.meetsItself) return d;
      return cannotMove(target.kind == FileKind::Folder ? EISDIR : NotRegularFileError);
  }
  return d;
}

std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops,
                                       const std::vector<FileStatus>* origins) {
  std::vector<RowOutlook> rows(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  std::vector<FileStatus> own;
  const std::vector<FileStatus>& start = OriginsToUse(table, ops, origins, own);
  PlannedDisk disk(ops, table, start);
  RunSoFar soFar;
  for (int i = 0; i < table.entryCount; ++i) {
    const FileEntry& entry = table[i];
    RowOutlook& row = rows[static_cast<std::size_t>(i)];
    const RowDecision d = DecideRow(entry, start[static_cast<std::size_t>(i)], disk, soFar);
    row.refusal = d.refusal;
    row.error = d.error;
    switch (d.fate) {
      case RowFate::LeftAlone:
        row.outlook = Outlook::Unchanged;
        break;
      case RowFate::Refused:
        row.outlook = Outlook::Refused;
        break;
      case RowFate::CannotMove:
        row.outlook = Outlook::CannotMove;
        break;
      case RowFate::NotCarriedOn:
        row.outlook = Outlook::MayBeReplaced;
        break;
      case RowFate::Moves:
        row.outlook = Outlook::Moves;
        disk.Moved(entry.path, entry.newPath);
        break;
      case RowFate::Asks:
        // The forecast takes every answer to be Yes.
        if (d.meetsItself) {
          row.outlook = Outlook::MeetsItself;
          break;
        }
        row.outlook = disk.Planned(entry.newPath) ? Outlook::AsksEarlierRow : Outlook::AsksExisting;
        disk.Moved(entry.path, entry.newPath);
        soFar.replacers.push_back(disk.Status(entry.newPath));
        break;
    }
  }
  return rows;
}

std::string OutlookText(const RowOutlook& row) {
  const Texts& t = Text();
  switch (row.outlook) {
    case Outlook::Refused:
      return t.willNotMove + RefusalReason(row.refusal);
    case Outlook::CannotMove:
      return t.willNotMove + CannotMoveText(row.error);
    case Outlook::AsksExisting:
      return t.asksExisting;
    case Outlook::AsksEarlierRow:
      return t.asksEarlierRow;
    case Outlook::MeetsItself:
      return t.meetsItself;
    case Outlook::MayBeReplaced:
      return t.mayBeReplaced;
    case Outlook::Moves:
    case Outlook::Unchanged:
      break;
  }
  return {};
}

// A row whose file simply moves to a free name is the common case: the move
// itself, which never replaces, is its test. Only a move that fails (the
// name taken, a folder missing, the file gone) or a row that meets itself
// looks at the disk for the full decision, which the forecast shares.
std::vector<RunRow> RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui,
                              const RunServices& services) {
  std::vector<RunRow> rows(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  if (table.entryCount <= 0) return rows;
  const Texts& t = Text();
  std::vector<Failure> failures;
  std::vector<FileStatus> own;
  const std::vector<FileStatus>& start = OriginsToUse(table, ops, services.origins, own);

  // The batch is written down before the first change on disk, one step per
  // row with a new name, from the statuses the rows' files already gave. A
  // file a row may replace is looked at only when that row comes to it.
  std::vector<RenameRowResult> records;
  std::vector<std::size_t> recordOf(rows.size(), 0);
  if (services.history != nullptr) {
    std::vector<RenamePlanRow> plan;
    plan.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const FileEntry& entry = table[static_cast<int>(i)];
      if (entry.newPath[0] == '\0') continue;
      recordOf[i] = plan.size();
      plan.push_back({entry.path, entry.newPath, start[i], {}});
    }
    const RecordResult recorded = services.history->BeginRename(plan, TemporaryName);
    if (!GoOnAfterRecording(recorded, ui, t.renaming)) {
      ui.SetStatus(t.notStarted);
      return rows;
    }
    if (recorded.recorded) records.resize(plan.size());
  }
  RunSoFar soFar;
  int deleted = 0;

  for (int i = 0; i < table.entryCount; ++i) {
    FileEntry& entry = table[i];
    RunRow& row = rows[static_cast<std::size_t>(i)];
    if (table.entryCount > ProgressFrom)
      ui.Progress(i + 1, table.entryCount);
    else
      ui.SetStatus(entry.path);
    if (entry.newPath[0] == '\0') continue;
    const std::size_t step = recordOf[static_cast<std::size_t>(i)];
    RenameRowResult* record = records.empty() ? nullptr : &records[step];

    int moveError = 0;
    const bool mayMove = soFar.replacers.empty() &&
                         std::string_view(entry.newPath) != std::string_view(entry.path) &&
                         CheckNewName(entry.path, entry.newPath) == NameRefusal::None;
    if (mayMove) {
      const FileResult moved = ops.Move(entry.path, entry.newPath);
      if (moved) {
        row.moved = true;
        row.decision.fate = RowFate::Moves;
        if (record != nullptr) record->outcome = RowOutcome::Moved;
        CopyField(entry.path, entry.newPath);
        continue;
      }
      moveError = moved.error;
    }
    row.decision = DecideRow(entry, start[static_cast<std::size_t>(i)], ops, soFar);
    const RowDecision& d = row.decision;
    switch (d.fate) {
      case RowFate::LeftAlone:
        continue;
      case RowFate::NotCarriedOn:
        failures.push_back({entry.path, entry.newPath, {}, Step::Replaced, 0});
        continue;
      case RowFate::CannotMove:
        failures.push_back({entry.path, entry.newPath, {}, Step::CannotMove, d.error});
        continue;
      case RowFate::Refused: {
        const bool wholeAddedPart = d.refusal == NameRefusal::LeavesFolder ||
                                    d.refusal == NameRefusal::Hidden ||
                                    d.refusal == NameRefusal::ControlChars;
        const std::string shown =
            wholeAddedPart ? std::string(AddedPart(SplitForRename(entry.path), entry.newPath).text)
                           : SplitForRename(entry.newPath).name;
        ui.Refuse(SkipMessage(SplitForRename(entry.path).name, shown, d.refusal), t.skipCaption);
        continue;
      }
      case RowFate::Asks: {
        row.asked = true;
        if (!ui.Ask(OverwriteQuestion(entry.path, entry.newPath), t.overwriteCaption)) continue;
        row.answeredYes = true;
        const std::size_t failed = failures.size();
        if (record != nullptr && !d.meetsItself)
          services.history->RecordReplacing(step, ops.Status(entry.newPath));
        const Replacement done = ReplaceTarget(entry, d.meetsItself, ops, services.trash, record,
                                               deleted, failures, row.error);
        if (done == Replacement::Failed) {
          if (record != nullptr) {
            // Back under its own name, or where the way back ended.
            record->outcome = RowOutcome::Failed;
            if (!d.meetsItself && std::strcmp(entry.path, entry.newPath) == 0)
              record->outcome = RowOutcome::Moved;
            else if (failures.size() > failed)
              record->where = failures.back().where;
          }
          continue;
        }
        if (done == Replacement::Done) soFar.replacers.push_back(ops.Status(entry.newPath));
        break;
      }
      case RowFate::Moves: {
        // Nothing in the way, yet the move failed (rights, a full disk), or
        // the row was not tried above: try (again) and tell what failed. The
        // move never replaces, so nothing is lost either way.
        const FileResult result =
            mayMove ? FileResult{moveError} : ops.Move(entry.path, entry.newPath);
        if (!result) {
          row.error = result.error;
          if (record != nullptr) record->outcome = RowOutcome::Failed;
          failures.push_back({entry.path, entry.newPath, {}, Step::Move, result.error});
          continue;
        }
        break;
      }
    }
    row.moved = true;
    // A file put back under its own name changed nothing to take back.
    if (record != nullptr && !d.meetsItself) record->outcome = RowOutcome::Moved;
    CopyField(entry.path, entry.newPath);
  }

  if (!records.empty()) services.history->FinishRename(records, ops);
  if (!failures.empty()) ui.Refuse(FailureReport(failures), t.failedCaption);
  ui.SetStatus(deleted == 0 ? t.finished
                            : t.deletedBefore + std::to_string(deleted) + t.deletedAfter);
  return rows;
}

}  // namespace selvane
