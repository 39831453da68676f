#include "core/rename/RowDecision.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/filelist/PathNames.h"
#include "core/platform/Cp932.h"
#include "core/rename/Id3v2Names.h"
#include "core/rename/NamingRule.h"

namespace selvane {
namespace {

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

// A link that leads to the bytes of `target` without being a name of them:
// once `target` is deleted, the link leads nowhere and the bytes are gone.
bool LeadsThroughLink(const FileStatus& listed, const FileStatus& target) {
  return listed.link && target.SameFileAs(listed) && !target.SameEntryAs(listed);
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

NameRefusal CheckMedium(std::string_view newPath, FolderRules& folders) {
  switch (MediumNameRefusal(SplitView(newPath).name, folders.RuleFor(newPath).medium)) {
    case NameRefusalKind::None:
      break;
    case NameRefusalKind::TooLong:
      return NameRefusal::TooLong;
    case NameRefusalKind::TrailingDotOrSpace:
      return NameRefusal::TrailingDotOrSpace;
    case NameRefusalKind::DeviceName:
      return NameRefusal::DeviceName;
  }
  return NameRefusal::None;
}

std::string_view AddedText(std::string_view path, std::string_view newPath) {
  return AddedPart(SplitView(path).prefix, newPath).text;
}

namespace {

using FolderRows = std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<std::size_t>>;

// A listed link that other rows' names pass through, whatever it leads to
// now (a folder an earlier row puts there, say).
void MarkLinksPassedThrough(const EntryTable& table, const std::vector<FileStatus>& origins,
                            std::vector<char>& holds) {
  std::vector<std::string> names;
  std::string storage;
  for (int j = 0; j < table.entryCount; ++j)
    for (const char* name : {table[j].path, table[j].newPath})
      names.emplace_back(NameKey(name, storage));
  std::sort(names.begin(), names.end());
  for (std::size_t i = 0; i < origins.size(); ++i) {
    if (!origins[i].link) continue;
    const std::string inside = std::string(NameKey(table[static_cast<int>(i)].path, storage)) + "/";
    const auto next = std::lower_bound(names.begin(), names.end(), inside);
    holds[i] = next != names.end() && next->compare(0, inside.size(), inside) == 0;
  }
}

// A listed folder that other rows' names lie in, by the identity of each
// folder on their way (each looked at once).
void MarkFoldersLivedIn(const EntryTable& table, const FolderRows& folderRows, DiskLooks& disk,
                        std::vector<char>& holds) {
  std::unordered_map<std::string, FileStatus> seen;
  for (int j = 0; j < table.entryCount; ++j) {
    for (const std::string_view name :
         {std::string_view(table[j].path), std::string_view(table[j].newPath)}) {
      for (std::string_view folder = FolderOf(name); !folder.empty(); folder = FolderOf(folder)) {
        auto it = seen.find(std::string(folder));
        if (it == seen.end())
          it = seen.emplace(std::string(folder), disk.Status(std::string(folder).c_str())).first;
        if (it->second.kind != FileKind::Folder) continue;
        const auto rows = folderRows.find({it->second.device, it->second.inode});
        if (rows == folderRows.end()) continue;
        for (const std::size_t i : rows->second)
          if (i != static_cast<std::size_t>(j)) holds[i] = 1;
      }
    }
  }
}

}  // namespace

std::vector<char> FoldersHoldingRows(const EntryTable& table,
                                     const std::vector<FileStatus>& origins, DiskLooks& disk) {
  std::vector<char> holds;
  FolderRows folderRows;
  bool anyLink = false;
  for (std::size_t i = 0; i < origins.size(); ++i) {
    if (origins[i].kind == FileKind::Folder)
      folderRows[{origins[i].device, origins[i].inode}].push_back(i);
    anyLink = anyLink || origins[i].link;
  }
  if (folderRows.empty() && !anyLink) return holds;
  holds.assign(origins.size(), 0);
  if (anyLink) MarkLinksPassedThrough(table, origins, holds);
  if (!folderRows.empty()) MarkFoldersLivedIn(table, folderRows, disk, holds);
  return holds;
}

std::vector<FileStatus> Origins(const EntryTable& table, DiskLooks& disk) {
  std::vector<FileStatus> origins(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  for (int i = 0; i < table.entryCount; ++i)
    origins[static_cast<std::size_t>(i)] = disk.Status(table[i].path);
  return origins;
}

const std::vector<FileStatus>& OriginsToUse(const EntryTable& table, DiskLooks& disk,
                                            const std::vector<FileStatus>* given,
                                            std::vector<FileStatus>& own) {
  if (given != nullptr && given->size() == static_cast<std::size_t>(table.entryCount))
    return *given;
  own = Origins(table, disk);
  return own;
}

namespace {

// The decision as far as the row's own file tells it; `settled` false
// leaves it to what holds the new name. `own` is what the row's path holds
// now; `checkNames` is how far the names are checked.
struct EarlyDecision {
  RowDecision d;
  bool settled = true;
};

EarlyDecision DecideByOwnFile(const FileEntry& entry, const FileStatus& origin,
                              const FileStatus& own, FolderRules& folders, const RunSoFar& soFar,
                              bool holdsListedRows,
                              NameRefusal (*checkNames)(std::string_view, std::string_view)) {
  const std::string_view path = entry.path, newPath = entry.newPath;
  EarlyDecision early;
  RowDecision& d = early.d;
  for (const FileStatus& replacer : soFar.replacers) {
    if (own.SameFileAs(replacer)) {
      d.fate = RowFate::NotCarriedOn;
      return early;
    }
  }
  d.refusal = checkNames(path, newPath);
  if (d.refusal == NameRefusal::NoFileName && NeedsMissingCharacter(entry))
    d.refusal = NameRefusal::NoCp932Form;
  // A name the file already has is no new name for the medium to refuse.
  const bool sameSpelling = SameName(newPath, path);
  if (d.refusal == NameRefusal::None && !sameSpelling) d.refusal = CheckMedium(newPath, folders);
  if (d.refusal != NameRefusal::None) {
    d.fate = RowFate::Refused;
    return early;
  }
  d.meetsItself = sameSpelling || folders.SameName(newPath, path);
  d.otherCase = d.meetsItself && !sameSpelling;
  d.fate = RowFate::CannotMove;
  // The row's own file is gone: missing, or something an earlier row (or
  // someone else) put at its name since the run started. That is not this
  // row's file to move on.
  if (own.kind == FileKind::Missing || !own.SameEntryAs(origin)) {
    d.error = ENOENT;
  } else if (holdsListedRows && !d.meetsItself) {
    d.error = HoldsListedRowsError;
  } else if ((own.link || origin.link) && !SameName(FolderOf(newPath), FolderOf(path))) {
    // A link read from another folder leads elsewhere, or (when the new name
    // is reached through the link itself) nowhere: a link stays in its folder.
    d.error = LinkLeavesFolderError;
  } else {
    d.fate = RowFate::LeftAlone;
    early.settled = false;
  }
  return early;
}

// A folder (or a link to one) goes nowhere inside itself.
bool IntoItself(const FileStatus& own, std::string_view path, std::string_view newPath) {
  return own.kind == FileKind::Folder && LiesInside(newPath, path);
}

// The rest of the decision: what holds the new name now.
RowDecision DecideByTarget(const FileEntry& entry, const FileStatus& origin, const FileStatus& own,
                           RowDecision d, DiskLooks& disk, std::string_view newNative) {
  const std::string_view path = entry.path, newPath = entry.newPath;
  auto cannotMove = [&d](int error) {
    d.fate = RowFate::CannotMove;
    d.error = error;
    return d;
  };
  const FileStatus target =
      d.meetsItself ? own : disk.Status(PlannedPath{entry.newPath, newNative});
  switch (target.kind) {
    case FileKind::Missing: {
      // A name that leads into another folder moves only into one that is there.
      const std::string_view folder = FolderOf(newPath);
      if (!folder.empty() && !SameName(folder, FolderOf(path)) &&
          disk.Status(std::string(folder).c_str()).kind != FileKind::Folder)
        return cannotMove(NoTargetFolderError);
      if (IntoItself(own, path, newPath)) return cannotMove(EINVAL);
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

}  // namespace

RowDecision DecideRow(const FileEntry& entry, const FileStatus& origin, DiskLooks& disk,
                      FolderRules& folders, const RunSoFar& soFar, bool holdsListedRows,
                      RowNatives natives) {
  if (entry.newPath[0] == '\0') return {};
  const FileStatus own = disk.Status(PlannedPath{entry.path, natives.native});
  // A new name made native already has a native form: only the names are checked.
  const EarlyDecision early =
      DecideByOwnFile(entry, origin, own, folders, soFar, holdsListedRows,
                      natives.newNative.empty() ? CheckNewName : CheckNames);
  if (early.settled) return early.d;
  return DecideByTarget(entry, origin, own, early.d, disk, natives.newNative);
}

bool MovesWithoutLooking(const FileEntry& entry, const FileStatus& origin, FolderRules& folders,
                         const RunSoFar& soFar, bool holdsListedRows) {
  // Whether an earlier row replaced this row's file takes a look at it.
  if (entry.newPath[0] == '\0' || !soFar.replacers.empty()) return false;
  // The name's conversion is left to the move, which fails on a name
  // without a native form; the full decision then tells why.
  const EarlyDecision early =
      DecideByOwnFile(entry, origin, origin, folders, soFar, holdsListedRows, CheckNames);
  return !early.settled && !early.d.meetsItself && !IntoItself(origin, entry.path, entry.newPath);
}

}  // namespace selvane
