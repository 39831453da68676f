#include "core/rename/RenameRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
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
#include "core/rename/Id3v2Names.h"
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
  std::string emptyName =
      Cp932("変換後のファイル名が空です（名前が「/」などの区切りで終わっています）");
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
  std::string linkLeavesFolder = Cp932(
      "リンクは別のフォルダへは移しません（リンクの指す先が変わったり、たどれなくなったり"
      "します）");
  std::string holdsListedRows = Cp932(
      "このフォルダの中のファイルもリストにあるため、フォルダはリネームしません（中のファイルの"
      "行が、ファイルを見失います）");
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
    case HoldsListedRowsError:
      return t.holdsListedRows;
    case LinkLeavesFolderError:
      return t.linkLeavesFolder;
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

// The same split as views, without copying (the names are taken whole).
struct ViewSplit {
  std::string_view prefix, name;
};

ViewSplit SplitView(std::string_view path) {
  const std::size_t driveEnd =
      path.size() >= 2 && CharLength(path, 0) == 1 && path[1] == ':' ? 2 : 0;
  std::size_t start = driveEnd;
  for (std::size_t i = driveEnd; i < path.size(); i += CharLength(path, i))
    if (CharLength(path, i) == 1 && (path[i] == '\\' || path[i] == '/')) start = i + 1;
  const std::string_view name = path.substr(start);
  if (name == "." || name == "..") return {path, {}};
  return {path.substr(0, start), name};
}

// The part that the naming put behind the file's directory; when the new
// path does not start with that directory, all of it counts as added.
struct Added {
  std::string_view text;
  bool bareName;  // nothing in front of it: a separator first makes it absolute
};

Added AddedPart(std::string_view oldPrefix, std::string_view newPath) {
  const bool samePrefix = newPath.substr(0, oldPrefix.size()) == oldPrefix;
  if (!samePrefix) return {newPath, true};
  return {newPath.substr(oldPrefix.size()), oldPrefix.empty()};
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

// The spelling of a name that the file system resolves the same way: '\'
// and '/' are one separator, and doubled separators or "/./" parts are
// one. A name written plainly (nearly every name) is its own key.
std::string_view NameKey(std::string_view name, std::string& storage) {
  bool plain = true;
  for (std::size_t i = 0; i < name.size() && plain; i += CharLength(name, i)) {
    if (CharLength(name, i) != 1) continue;
    if (name[i] == '\\') plain = false;
    if (name[i] == '/' && i + 1 < name.size() &&
        (name[i + 1] == '/' || (name[i + 1] == '.' && i + 2 < name.size() && name[i + 2] == '/')))
      plain = false;
  }
  if (plain) return name;
  storage.clear();
  for (std::size_t i = 0; i < name.size(); i += CharLength(name, i)) {
    const std::size_t n = CharLength(name, i);
    const bool separator = n == 1 && (name[i] == '/' || name[i] == '\\');
    if (separator) {
      if (!storage.empty() && storage.back() == '/') continue;
      // "/./" reads as "/".
      if (storage.size() >= 2 && storage.back() == '.' && storage[storage.size() - 2] == '/') {
        storage.pop_back();
        continue;
      }
      storage += '/';
    } else {
      storage.append(name.substr(i, n));
    }
  }
  return storage;
}

bool SameName(std::string_view a, std::string_view b) {
  std::string aStorage, bStorage;
  return NameKey(a, aStorage) == NameKey(b, bStorage);
}

// True when `name` lies inside `folder` (as the file system spells them).
bool LiesInside(std::string_view name, std::string_view folder) {
  std::string nameStorage, folderStorage;
  const std::string_view to = NameKey(name, nameStorage), from = NameKey(folder, folderStorage);
  return to.size() > from.size() && to.substr(0, from.size()) == from && to[from.size()] == '/';
}

// For each row: a folder (as it was at the start) that other listed rows
// lie in, or are to be moved into, by name or through a link, or a listed
// link their names pass through. Renaming it would leave their entries
// naming nothing. Only a table with a folder row costs a look at the rows'
// folders, each folder once.
std::vector<char> FoldersHoldingRows(const EntryTable& table,
                                     const std::vector<FileStatus>& origins, FileOps& ops) {
  std::vector<char> holds;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<std::size_t>> folderRows;
  bool anyLink = false;
  for (std::size_t i = 0; i < origins.size(); ++i) {
    if (origins[i].kind == FileKind::Folder)
      folderRows[{origins[i].device, origins[i].inode}].push_back(i);
    anyLink = anyLink || origins[i].link;
  }
  if (folderRows.empty() && !anyLink) return holds;
  holds.assign(origins.size(), 0);
  // A listed link that other rows' names pass through, whatever it leads to
  // now (a folder an earlier row puts there, say).
  if (anyLink) {
    std::vector<std::string> names;
    std::string storage;
    for (int j = 0; j < table.entryCount; ++j)
      for (const char* name : {table[j].path, table[j].newPath})
        names.emplace_back(NameKey(name, storage));
    std::sort(names.begin(), names.end());
    for (std::size_t i = 0; i < origins.size(); ++i) {
      if (!origins[i].link) continue;
      const std::string inside =
          std::string(NameKey(table[static_cast<int>(i)].path, storage)) + "/";
      const auto next = std::lower_bound(names.begin(), names.end(), inside);
      holds[i] = next != names.end() && next->compare(0, inside.size(), inside) == 0;
    }
  }
  if (folderRows.empty()) return holds;
  std::unordered_map<std::string, FileStatus> seen;
  for (int j = 0; j < table.entryCount; ++j) {
    for (const std::string_view name :
         {std::string_view(table[j].path), std::string_view(table[j].newPath)}) {
      for (std::string_view folder = FolderOf(name); !folder.empty(); folder = FolderOf(folder)) {
        auto it = seen.find(std::string(folder));
        if (it == seen.end())
          it = seen.emplace(std::string(folder), ops.Status(std::string(folder).c_str())).first;
        if (it->second.kind != FileKind::Folder) continue;
        const auto rows = folderRows.find({it->second.device, it->second.inode});
        if (rows == folderRows.end()) continue;
        for (const std::size_t i : rows->second)
          if (i != static_cast<std::size_t>(j)) holds[i] = 1;
      }
    }
  }
  return holds;
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
    origins[static_cast<std::size_t>(i)] = ops.Status(table[i].path);
  return origins;
}

// The disk as the forecast expects the earlier rows to leave it: names the
// rows vacate and take over the real disk, which is never changed. A name
// is walked part by part as the system walks it, through the planned names
// and links (a link's ".." counts from where the link leads, not from its
// text), so a link whose target an earlier row moves is seen as the run
// will see it; a folder a row moves carries what lies in it. The rows' own
// paths are looked at once, before the first row (or taken from a refresh
// that has just read them); every folder on the way once at most.
class PlannedDisk final : public FileOps {
 public:
  explicit PlannedDisk(FileOps& real) : real_(real) {}

  // The row about to be decided: its path held `origin` before the first
  // row, which stands for it until a planned name says otherwise.
  void Current(const char* path, const FileStatus& origin) {
    currentPath_ = path;
    currentOrigin_ = &origin;
  }

  // The row's file moves from `from` to `to`. The plan keeps both names
  // where they lie, through any link on the way.
  void Moved(std::string_view from, std::string_view to) {
    Place moved;
    std::string storage;
    const std::string_view plain = NameKey(from, storage);
    if (PlainFolder(FolderOf(plain))) {
      if (const auto it = names_.find(plain); it != names_.end()) {
        moved.status = it->second.status;
        moved.real = it->second.real;
      } else {
        moved.status = Real(from, false);
        moved.real = std::string(plain);
      }
    } else {
      bool touched = false;
      int links = 0;
      moved = Walk(from, false, links, touched);
    }
    if (moved.status.kind == FileKind::Missing) moved.real = std::string(from);
    const std::string fromKey = Located(from), toKey = Located(to);
    if (moved.status.kind == FileKind::Folder || moved.status.link) plain_.clear();
    names_[fromKey] = PlannedEntry{};
    names_[toKey] = PlannedEntry{moved.status, std::move(moved.real)};
  }
  bool Planned(std::string_view name) {
    if (names_.empty()) return false;
    const auto it = names_.find(Located(name));
    return it != names_.end() && it->second.status.kind != FileKind::Missing;
  }

  FileStatus Status(const char* path) override {
    if (names_.empty()) return Real(path, false);
    // Nearly always the name lies in a folder that nothing planned and no
    // link touches, and is no link itself: it is where it is written.
    std::string storage;
    const std::string_view plain = NameKey(path, storage);
    if (PlainFolder(FolderOf(plain))) {
      if (const auto it = names_.find(plain); it != names_.end()) {
        if (!it->second.status.link) return it->second.status;
      } else if (FileStatus real = Real(path, false); !real.link) {
        return real;
      }
    }
    bool touched = false;
    int links = 0;
    Place place = Walk(path, true, links, touched);
    return touched ? std::move(place.status) : Real(path, false);
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
  struct PlannedEntry {
    FileStatus status;  // kind Missing: vacated
    std::string real;   // where the entry lies on the real disk
  };
  // Where a walk ended: what is there, and its name in the plan and on the
  // real disk (they differ under a folder a row moves).
  struct Place {
    FileStatus status;
    std::string at, real;
    bool dangling = false;  // a link that leads nowhere (status: its own identity)
  };

  static constexpr int MaxLinks = 40;  // as many as the system follows in one name

  // A folder that is where it is written: walked through the plan, it met
  // no planned name and no link. Kept until a folder or a link moves.
  bool PlainFolder(std::string_view folder) {
    if (folder.empty()) return false;
    if (const auto it = plain_.find(folder); it != plain_.end()) return it->second;
    bool touched = false;
    int links = 0;
    const Place place = Walk(folder, true, links, touched, true);
    const bool plain = !touched && place.status.kind == FileKind::Folder && place.at == folder;
    plain_.emplace(std::string(folder), plain);
    return plain;
  }

  // Where a name lies in the plan: its folder walked through the plan and
  // its links, then its own last part (or the name as written, when its
  // folder is not there).
  std::string Located(std::string_view name) {
    std::string storage;
    const std::string_view plain = NameKey(name, storage);
    const std::string_view folder = FolderOf(plain);
    if (folder.empty() || PlainFolder(folder)) return std::string(plain);
    bool touched = false;
    int links = 0;
    const Place place = Walk(folder, true, links, touched, true);
    if (place.status.kind != FileKind::Folder || place.at.empty()) return std::string(plain);
    return place.at + std::string(plain.substr(folder.size()));
  }

  // The real disk's answer: the current row's path as it was before the
  // first row, a folder on the way as it was looked at once, anything else
  // now.
  FileStatus Real(std::string_view name, bool folderOnTheWay) {
    if (currentOrigin_ != nullptr && name.data() == currentPath_) return *currentOrigin_;
    if (!folderOnTheWay) return real_.Status(std::string(name).c_str());
    const auto it = folders_.find(name);
    if (it != folders_.end()) return it->second;
    return folders_.emplace(std::string(name), real_.Status(std::string(name).c_str()))
        .first->second;
  }

  // The entry at `at` (the plan's name) whose real name is `real`.
  PlannedEntry EntryAt(const std::string& at, const std::string& real, bool folderOnTheWay,
                       bool& touched) {
    for (const std::string* name : {&at, &real}) {
      const auto it = names_.find(*name);
      if (it != names_.end()) {
        touched = true;
        return it->second;
      }
      if (at == real) break;
    }
    return PlannedEntry{Real(real, folderOnTheWay), real};
  }

  static std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }

  // Walks `path` part by part; `follow` follows a link in the last part too;
  // `folder` tells that the path is a folder (looked at once, like the
  // folders on the way).
  Place Walk(std::string_view path, bool follow, int& links, bool& touched, bool folder = false) {
    Place none;
    if (path.empty() || (path.front() != '/' && path.front() != '\\')) {
      none.status = Real(path, false);  // a name of no folder of ours: as it is
      return none;
    }
    std::vector<std::string_view> parts;
    ForEachPart(path, [&parts](std::string_view part, std::size_t, bool) {
      if (!part.empty() && part != ".") parts.push_back(part);
      return true;
    });
    std::string at, real;
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const std::string_view part = parts[k];
      if (part == "..") {
        at = Parent(at);
        real = Parent(real);
        continue;
      }
      const bool last = k + 1 == parts.size();
      std::string candidate = at + "/" + std::string(part);
      PlannedEntry entry =
          EntryAt(candidate, real + "/" + std::string(part), !last || folder, touched);
      if (entry.status.kind == FileKind::Missing) return none;
      if (entry.status.link && (!last || follow) && !entry.status.linkText.empty()) {
        Place leads;
        const bool loops = ++links > MaxLinks;
        if (!loops) {
          const std::string& text = entry.status.linkText;
          leads = Walk(text.front() == '/' ? text : at + "/" + text, true, links, touched);
        }
        if (!last) {
          if (loops || leads.status.kind != FileKind::Folder) return none;
          at = std::move(leads.at);
          real = std::move(leads.real);
          continue;
        }
        // Followed, the name stands where the link leads.
        const bool nowhere = loops || leads.dangling || leads.status.kind == FileKind::Missing;
        Place place{std::move(entry.status), nowhere ? std::move(candidate) : std::move(leads.at),
                    nowhere ? std::move(entry.real) : std::move(leads.real)};
        FileStatus& own = place.status;
        if (nowhere) {
          place.dangling = true;
          own.kind = FileKind::Other;  // a link that leads nowhere
          own.device = own.nameDevice;
          own.inode = own.nameInode;
          own.length = 0;
        } else {
          own.kind = leads.status.kind;
          own.device = leads.status.device;
          own.inode = leads.status.inode;
          own.length = leads.status.length;
        }
        return place;
      }
      if (!last) {
        if (entry.status.kind != FileKind::Folder) return none;
        at = std::move(candidate);
        real = std::move(entry.real);
        continue;
      }
      return Place{std::move(entry.status), std::move(candidate), std::move(entry.real)};
    }
    none.status = Real("/", true);  // the root itself
    return none;
  }

  FileOps& real_;
  // Keyed by strings, looked up by views.
  struct ByText {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  template <typename Value>
  using ByName = std::unordered_map<std::string, Value, ByText, std::equal_to<>>;
  ByName<PlannedEntry> names_;  // by where they lie
  ByName<bool> plain_;
  const char* currentPath_ = nullptr;
  const FileStatus* currentOrigin_ = nullptr;
  ByName<FileStatus> folders_;
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
  if (const NameRefusal refusal = CheckNames(path, newPath); refusal != NameRefusal::None)
    return refusal;
  std::string native;
  if (!Cp932PathToNative(newPath, native)) return NameRefusal::NoFileName;
  return NameRefusal::None;
}

NameRefusal CheckNames(std::string_view path, std::string_view newPath) {
  const ViewSplit old = SplitView(path), now = SplitView(newPath);
  if (!FindForbiddenChars(now.name).empty()) return NameRefusal::ForbiddenChars;
  const Added added = AddedPart(old.prefix, newPath);
  for (const char c : added.text)
    if (IsControlByte(c)) return NameRefusal::ControlChars;
  if (LeavesItsFolder(added)) return NameRefusal::LeavesFolder;
  if (HidesIt(added, old.name)) return NameRefusal::Hidden;
  if (now.name.empty()) return NameRefusal::EmptyName;
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
    case NameRefusal::EmptyName:
      return t.emptyName;
    case NameRefusal::NoFileName:
      return t.noFileName;
    case NameRefusal::LinkToTarget:
      return t.linkToTarget;
    case NameRefusal::NoCp932Form:
      return Id3v2RefusalText();
    case NameRefusal::None:
      break;
  }
  return {};
}

RowDecision DecideRow(const FileEntry& entry, const FileStatus& origin, FileOps& disk,
                      const RunSoFar& soFar, bool holdsListedRows) {
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
  if (d.refusal == NameRefusal::NoFileName && NeedsMissingCharacter(entry))
    d.refusal = NameRefusal::NoCp932Form;
  if (d.refusal != NameRefusal::None) {
    d.fate = RowFate::Refused;
    return d;
  }
  std::string pathStorage, newStorage;
  d.meetsItself = NameKey(newPath, newStorage) == NameKey(path, pathStorage);
  auto cannotMove = [&d](int error) {
    d.fate = RowFate::CannotMove;
    d.error = error;
    return d;
  };
  // The row's own file is gone: missing, or something an earlier row (or
  // someone else) put at its name since the run started. That is not this
  // row's file to move on.
  if (own.kind == FileKind::Missing || !own.SameEntryAs(origin)) return cannotMove(ENOENT);
  if (holdsListedRows && !d.meetsItself) return cannotMove(HoldsListedRowsError);
  // A link read from another folder leads elsewhere, or (when the new name
  // is reached through the link itself) nowhere: a link stays in its folder.
  if ((own.link || origin.link) && !SameName(FolderOf(newPath), FolderOf(path)))
    return cannotMove(LinkLeavesFolderError);

  const FileStatus target = d.meetsItself ? own : disk.Status(entry.newPath);
  switch (target.kind) {
    case FileKind::Missing: {
      // A name that leads into another folder moves only into one that is there.
      const std::string_view folder = FolderOf(newPath);
      if (folder != FolderOf(path) && !folder.empty() &&
          disk.Status(std::string(folder).c_str()).kind != FileKind::Folder)
        return cannotMove(NoTargetFolderError);
      // A folder (or a link to one) goes nowhere inside itself.
      if (own.kind == FileKind::Folder && LiesInside(newPath, path)) return cannotMove(EINVAL);
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
  const std::vector<char> holds = FoldersHoldingRows(table, start, ops);
  PlannedDisk disk(ops);
  RunSoFar soFar;
  for (int i = 0; i < table.entryCount; ++i) {
    const FileEntry& entry = table[i];
    RowOutlook& row = rows[static_cast<std::size_t>(i)];
    disk.Current(entry.path, start[static_cast<std::size_t>(i)]);
    const RowDecision d = DecideRow(entry, start[static_cast<std::size_t>(i)], disk, soFar,
                                    !holds.empty() && holds[static_cast<std::size_t>(i)] != 0);
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
  const std::vector<char> holds = FoldersHoldingRows(table, start, ops);

  // The batch is written down before the first change on disk, one step per
  // row with a new name, from the statuses the rows' files already gave. A
  // file a row may replace is looked at only when that row comes to it.
  std::vector<RenamePlanRow> plan;
  std::vector<RenameRowResult> records;
  std::vector<std::size_t> recordOf(rows.size(), 0);
  if (services.history != nullptr) {
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

  // Where earlier rows moved files to: a row whose path is one of them no
  // longer holds its own file. Places are told apart by the identity of the
  // folder and the name in it (so that another spelling or a link on the
  // way is the same place); each folder is looked at once, again after a
  // folder or a link has moved, and only for a row whose name is among the
  // names moved into.
  std::unordered_multimap<std::string_view, std::string_view> movedInto;  // name -> new path
  std::unordered_map<std::string, FileStatus> folders;
  const auto located = [&](std::string_view name) {
    std::string storage;
    const std::string_view plain = NameKey(name, storage);
    const std::string folder(FolderOf(plain));
    auto it = folders.find(folder);
    if (it == folders.end()) it = folders.emplace(folder, ops.Status(folder.c_str())).first;
    const FileStatus& where = it->second;
    if (where.kind != FileKind::Folder) return std::string(plain);
    std::string key(reinterpret_cast<const char*>(&where.device), sizeof where.device);
    key.append(reinterpret_cast<const char*>(&where.inode), sizeof where.inode);
    key.append(plain.substr(folder.size()));
    return key;
  };
  const auto arrived = [&](int row) {
    const FileStatus& origin = start[static_cast<std::size_t>(row)];
    if (origin.kind == FileKind::Folder || origin.link) folders.clear();
    movedInto.emplace(SplitView(table[row].newPath).name, table[row].newPath);
  };
  const auto takenMeanwhile = [&](std::string_view path) {
    const auto [first, last] = movedInto.equal_range(SplitView(path).name);
    if (first == last) return false;
    const std::string here = located(path);
    for (auto it = first; it != last; ++it)
      if (located(it->second) == here) return true;
    return false;
  };

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

    const bool holdsRows = !holds.empty() && holds[static_cast<std::size_t>(i)] != 0;
    int moveError = 0;
    std::string storage;
    const bool mayMove =
        soFar.replacers.empty() && !holdsRows && !SameName(entry.newPath, entry.path) &&
        !LiesInside(entry.newPath, entry.path) &&
        !(start[static_cast<std::size_t>(i)].link &&
          !SameName(FolderOf(entry.newPath), FolderOf(entry.path))) &&
        !takenMeanwhile(entry.path) && CheckNames(entry.path, entry.newPath) == NameRefusal::None;
    if (mayMove) {
      const FileResult moved = ops.Move(entry.path, entry.newPath);
      if (moved) {
        row.moved = true;
        row.decision.fate = RowFate::Moves;
        if (record != nullptr) record->outcome = RowOutcome::Moved;
        arrived(i);
        CopyField(entry.path, entry.newPath);
        continue;
      }
      moveError = moved.error;
    }
    row.decision = DecideRow(entry, start[static_cast<std::size_t>(i)], ops, soFar, holdsRows);
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
            wholeAddedPart
                ? std::string(AddedPart(SplitView(entry.path).prefix, entry.newPath).text)
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
        if (done == Replacement::Done) arrived(i);
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
        arrived(i);
        break;
      }
    }
    row.moved = true;
    // A file put back under its own name changed nothing to take back.
    if (record != nullptr && !d.meetsItself) record->outcome = RowOutcome::Moved;
    CopyField(entry.path, entry.newPath);
  }

  if (!records.empty()) services.history->FinishRename(plan, records, ops);
  if (!failures.empty()) ui.Refuse(FailureReport(failures), t.failedCaption);
  ui.SetStatus(deleted == 0 ? t.finished
                            : t.deletedBefore + std::to_string(deleted) + t.deletedAfter);
  return rows;
}

}  // namespace selvane
