#pragma once
// The rename run over the whole table, and its forecast: the decisions live
// in core, the window only answers the questions (UserPrompts) and redraws
// afterwards.
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/platform/FileOps.h"
#include "core/rename/RenameTexts.h"
#include "core/rename/RenameTypes.h"
#include "core/rename/RowDecision.h"

namespace selvane {

// The forecast: the decision of every row, before the run. It changes
// nothing on disk. `origins`, when given with one status per row, are what
// the rows' paths held just before (as a refresh read their tags); else
// they are looked at.
// `folders`, when given, tells how each folder compares names and what its
// medium refuses; else the real folders are asked (once each).
std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops,
                                       const std::vector<FileStatus>* origins = nullptr,
                                       FolderRules* folders = nullptr);

// What became of one row in a run.
struct RunRow {
  RowDecision decision;
  bool asked = false, answeredYes = false;
  bool moved = false;  // its file now lies at the new path
  int error = 0;       // a step that failed (0: none)
};

class RenameJournal;
class Trash;

// What the run uses besides the file system and the user, all optional.
struct RunServices {
  // The statuses that the refresh before the run read, one per row (as for
  // the forecast); else the run looks at the rows' paths itself.
  const std::vector<FileStatus>* origins = nullptr;
  // Where a replaced file goes; without one it is deleted (the user agreed
  // to replace it).
  Trash* trash = nullptr;
  // Where the run is recorded before its first change and after its last.
  RenameJournal* history = nullptr;
  // How each folder compares names and what its medium refuses; else the
  // real folders are asked, once each.
  FolderRules* folders = nullptr;
};

// Renames every entry from path to newPath, one after another, asking before
// a file is replaced. A replaced file goes to the trash; only when the trash
// cannot take it is it deleted, and the closing status text "リネーム終了"
// then says so. The caller regenerates the names before and redraws after.
std::vector<RunRow> RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui,
                              const RunServices& services = {});

}  // namespace selvane
