#pragma once
// The rename run over the whole table: the decisions live here, the window
// only answers the questions (UserPrompts) and redraws afterwards.
#include <string>
#include <string_view>
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/platform/FileOps.h"

namespace selvane {

inline constexpr const char* TemporaryName = "SelvaneBk.tmp";

// Why the run refuses a row before anything moves (the skip box).
enum class NameRefusal {
  None,
  ForbiddenChars,  // the name holds one of ForbiddenNameChars
  ControlChars,    // a byte 0x00-0x1F or 0x7F in what the naming added
  LeavesFolder,    // a "." or ".." part, or a separator in front
  Hidden,          // the name (or a folder it adds) begins with "."
  EmptyName,       // nothing after the last separator
  NoFileName,      // tag bytes with no file-name form (not Shift-JIS)
  LinkToTarget,    // the listed file is a link to the file of the new name:
                   // replacing that file would destroy what the link leads to
  NoCp932Form,     // a value from ID3v2 holds a character CP932 lacks
};

// The refusal of the names alone (every kind but LinkToTarget, which is a
// matter of the disk). A name that begins with "." is not refused when the
// file's name already did: renaming it hides nothing that was shown.
NameRefusal CheckNewName(std::string_view path, std::string_view newPath);
// The same but for NoFileName, which only the conversion to a native name
// tells (a move of such a name fails with EILSEQ).
NameRefusal CheckNames(std::string_view path, std::string_view newPath);
// One line (CP932) saying why, as the skip box and the lists show it.
std::string RefusalReason(NameRefusal refusal);

// What the run does with one row. The forecast (the marks of the after
// list) and the run itself take it from the same decision, so the two
// cannot disagree; the forecast answers every question with Yes.
enum class RowFate {
  LeftAlone,     // no new name, or a folder or pipe that keeps its name
  Moves,         // moves to its new name
  Asks,          // a regular file holds the new name (its own, maybe): the question
  Refused,       // the skip box, with `refusal`
  CannotMove,    // told after the run; `error` says why (below)
  NotCarriedOn,  // an earlier row of this run replaced this row's file
};

// CannotMove's reasons besides the errno values EISDIR (a folder holds the
// new name), NotRegularFileError (a pipe, a device or a dead link does),
// ENOENT (the row's own file is gone) and EINVAL (a folder into itself).
inline constexpr int NoTargetFolderError = -100;    // the folder the new name leads into is missing
inline constexpr int HoldsListedRowsError = -101;   // a listed folder that other rows lie in
inline constexpr int LinkLeavesFolderError = -102;  // a link to be moved into another folder

struct RowDecision {
  RowFate fate = RowFate::LeftAlone;
  NameRefusal refusal = NameRefusal::None;
  int error = 0;
  bool meetsItself = false;  // Asks: the new name is the row's current name
};

// What the earlier rows of a run did that later rows must know: the files
// that took the place of another one.
struct RunSoFar {
  std::vector<FileStatus> replacers;
};

// The one decision. `origin` is what the row's path held when the run
// started; `disk` is the file system as the earlier rows left it (the real
// one during the run, a plan of it in the forecast); `holdsListedRows`
// tells that the row is a folder other listed rows lie in.
RowDecision DecideRow(const FileEntry& entry, const FileStatus& origin, FileOps& disk,
                      const RunSoFar& soFar, bool holdsListedRows = false);

// The forecast: the decision of every row, before the run. It changes
// nothing on disk.
enum class Outlook {
  Moves,           // or nothing to tell: no mark
  Unchanged,       // no new name, or a folder or pipe that keeps its name
  Refused,         // `refusal` says why
  CannotMove,      // `error` says why
  AsksExisting,    // another file of that name is on disk: the question
  AsksEarlierRow,  // an earlier row takes that name first: the question
  MeetsItself,     // the new name is the current one: the question
  MayBeReplaced,   // an earlier row asks to replace this row's own file
};
struct RowOutlook {
  Outlook outlook = Outlook::Moves;
  NameRefusal refusal = NameRefusal::None;
  int error = 0;
  // The run asks about this row.
  bool Asks() const {
    return outlook == Outlook::AsksExisting || outlook == Outlook::AsksEarlierRow ||
           outlook == Outlook::MeetsItself;
  }
  // The row's fate hangs on a question (its own or an earlier row's).
  bool HangsOnAQuestion() const { return Asks() || outlook == Outlook::MayBeReplaced; }
  bool Marked() const { return outlook != Outlook::Moves && outlook != Outlook::Unchanged; }
};
// `origins`, when given with one status per row, are what the rows' paths
// held just before (as a refresh read their tags); else they are looked at.
std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops,
                                       const std::vector<FileStatus>* origins = nullptr);
// The reason (CP932) shown for a row's mark; empty for a row without one.
std::string OutlookText(const RowOutlook& row);

// What became of one row in a run.
struct RunRow {
  RowDecision decision;
  bool asked = false, answeredYes = false;
  bool moved = false;  // its file now lies at the new path
  int error = 0;       // a step that failed (0: none)
};

class History;
class Trash;

// What the run uses besides the file system and the user, all optional.
struct RunServices {
  // The statuses that the refresh before the run read, one per row (as for
  // the forecast); else the run looks at the rows' paths itself.
  const std::vector<FileStatus>* origins = nullptr;
  // Where a replaced file goes; without one it is deleted, as agreed.
  Trash* trash = nullptr;
  // Where the run is recorded before its first change and after its last.
  History* history = nullptr;
};

// Renames every entry from path to newPath, one after another, asking before
// a file is replaced. A replaced file goes to the trash; only when the trash
// cannot take it is it deleted, and the closing status text "リネーム終了"
// then says so. The caller regenerates the names before and redraws after.
std::vector<RunRow> RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui,
                              const RunServices& services = {});

}  // namespace selvane
