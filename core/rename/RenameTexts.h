#pragma once
// Every text the rename shows, in CP932, and the one report of files that a
// run left where they were.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/filelist/FileEntry.h"
#include "core/filelist/FileListReport.h"
#include "core/rename/RenameTypes.h"

namespace selvane {

// The step at which a row's file stopped, for the closing report.
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
// A row's failure at `step`, from its paths as they are before the step.
Failure FailureOf(const FileEntry& entry, Step step, int error);
// The closing report of a run's failures.
std::string FailureReport(const std::vector<Failure>& failures);
const std::string& FailedCaption();

// One line saying why, as the skip box and the lists show it.
std::string RefusalReason(NameRefusal refusal);
// The reason shown for a row's mark; empty for a row without one.
std::string OutlookText(const RowOutlook& row);

// The skip box of a refused row, naming what the naming made of it.
std::string SkipMessage(std::string_view path, std::string_view newPath, NameRefusal refusal);
const std::string& SkipCaption();
std::string OverwriteQuestion(std::string_view path, std::string_view newPath);
const std::string& OverwriteCaption();

// The closing status; `deleted` counts the replaced files no trash took.
std::string FinishedStatus(int deleted);
const std::string& NotStartedStatus();
// The change the history names when it cannot record it.
const std::string& RenamingWord();

}  // namespace selvane
