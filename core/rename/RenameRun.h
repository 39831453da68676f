#pragma once
// The rename run over the whole table: the decisions live here, the window
// only answers the questions (UserPrompts) and redraws afterwards.
#include "core/filelist/EntryTable.h"
#include "core/platform/FileOps.h"
#include "core/UserPrompts.h"

namespace selvane {

inline constexpr const char* TemporaryName = "SelvaneBk.tmp";

// Renames every entry from path to newPath, one after another, asking before
// a file is replaced. Ends with the status text "リネーム終了". The caller
// regenerates the names before and redraws after.
void RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui);

}  // namespace selvane
