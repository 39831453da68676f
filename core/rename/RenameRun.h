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

// Why the run refuses a new name before anything moves.
enum class NameRefusal {
  None,
  ForbiddenChars,  // the name holds one of ForbiddenNameChars
  LeavesFolder,    // a "." or ".." part, or a separator in front
  Hidden,          // the name (or a folder it adds) begins with "."
  NoFileName,      // tag bytes with no file-name form (not Shift-JIS)
};

// The refusal for the entry whose file lies at `path` and would be named
// `newPath`. A name that begins with "." is not refused when the file's
// name already did: renaming it hides nothing that was shown.
NameRefusal CheckNewName(std::string_view path, std::string_view newPath);
// One line (CP932) saying why, as the skip box and the lists show it.
std::string RefusalReason(NameRefusal refusal);

// What the run will do with each row, told before it starts (the marks of
// the "after" list). It changes nothing and asks the file system at most
// once per row.
enum class Outlook {
  Moves,           // or nothing to tell: no mark
  Unchanged,       // the new name is the current one
  Refused,         // `refusal` says why
  TargetNotAFile,  // a folder (or a pipe, ...) holds the new name
  AsksExisting,    // another file of that name is on disk: the question
  AsksEarlierRow,  // an earlier row gets the same new name: the question
  MayBeReplaced,   // an earlier row asks to replace this row's own file
};
struct RowOutlook {
  Outlook outlook = Outlook::Moves;
  NameRefusal refusal = NameRefusal::None;
};
std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops);
// The reason (CP932) shown for a row's mark; empty for a row without one.
std::string OutlookText(const RowOutlook& row);

// Renames every entry from path to newPath, one after another, asking before
// a file is replaced. Ends with the status text "リネーム終了". The caller
// regenerates the names before and redraws after.
void RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui);

}  // namespace selvane
