#pragma once
// The words of the rename: why a name is refused, what becomes of a row,
// and how the forecast marks it.
#include <vector>

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
  // The medium of the new name's folder would refuse or change it:
  TooLong,             // longer than the folder takes
  TrailingDotOrSpace,  // FAT, exFAT, NTFS: stored without it
  DeviceName,          // FAT, exFAT, NTFS: CON, PRN, AUX, NUL, COM1-9, LPT1-9
};

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
  bool otherCase = false;    // ...spelled in another letter case, in a folder that ignores it
};

// What the earlier rows of a run did that later rows must know: the files
// that took the place of another one.
struct RunSoFar {
  std::vector<FileStatus> replacers;
};

// The forecast's mark of a row.
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

}  // namespace selvane
