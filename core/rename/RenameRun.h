#pragma once
// The rename run over the whole table: the decisions live here, the window
// only answers the questions (UserPrompts) and redraws afterwards.
#include <string>
#include <string_view>

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

// Renames every entry from path to newPath, one after another, asking before
// a file is replaced. Ends with the status text "リネーム終了". The caller
// regenerates the names before and redraws after.
void RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui);

}  // namespace selvane
