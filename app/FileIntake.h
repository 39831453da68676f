#pragma once
// The one road by which files come in: native paths (as the system gives
// them) from the command line, the open dialog and drops, each made CP932
// and handed to the entry table.
#include <memory>
#include <string>
#include <vector>

#include "app/WindowPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/FolderListing.h"
#include "core/platform/ReadAhead.h"

class RowsHost;

class FileIntake {
 public:
  explicit FileIntake(RowsHost& host);
  ~FileIntake();

  // The command line's files: as many as `firstScreenRows` are listed now,
  // the others by AddTheRest, right after the first paint, so that a start
  // with 20,000 files comes up as fast as one with twenty. Each names the
  // files in its folder that match it ("*" and "?" as wildcards over
  // characters, any letter case); a name that matches nothing is passed over.
  void StartWith(std::vector<std::string> native, std::size_t firstScreenRows);
  // Lists what the start left over and tells, once, what it refused.
  void AddTheRest();
  // Tags read ahead for the start's files (from a second thread, started
  // before the window): the rest is named from them.
  void UseReadAhead(std::unique_ptr<selvane::TailsReadAhead> ahead) {
    readAhead_ = std::move(ahead);
  }

  // Files chosen in the open dialog or dropped: each path is shown in the
  // status line (over many, a count), then "アイテム登録終了"; the lists
  // are shown again with `remembered` selected, or the first row when none
  // was and something came in.
  void AddPaths(const std::vector<std::string>& native, int remembered);

 private:
  void AddArgument(const std::string& native, const std::string& rule,
                   selvane::ListedFolders* folders = nullptr);

  RowsHost& host_;
  // The start's refusals wait until the window is on screen.
  WindowPrompts startPrompts_;
  std::unique_ptr<selvane::AddBatch> startBatch_;  // the command line's, until all are in
  std::vector<std::string> pending_;               // native, left for after the first paint
  // The tags of a long command line, read while the window was built.
  std::unique_ptr<selvane::TailsReadAhead> readAhead_;
};
