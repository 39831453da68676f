#pragma once
// A rename plan as the run makes it, for tests that record one by hand: each
// row's CP932 paths viewed in `rows` (which must outlive the plan), the file
// as it stands and the native names made once.
#include <string>
#include <utility>
#include <vector>

#include "core/history/Journal.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"

namespace selvane {

// `lookAtTargets`: also the status of each new name (as a run knows it for a
// name that is taken).
inline std::vector<RenamePlanRow> PlannedRows(
    FileOps& ops, const std::vector<std::pair<std::string, std::string>>& rows,
    bool lookAtTargets = false) {
  std::vector<RenamePlanRow> plan;
  for (const auto& [from, to] : rows) {
    RenamePlanRow& row = plan.emplace_back();
    row.path = from;
    row.newPath = to;
    row.file = ops.Status(from.c_str());
    if (lookAtTargets) row.target = ops.Status(to.c_str());
    if (!Cp932PathToNative(from, row.native) || !Cp932PathToNative(to, row.newNative))
      row.native.clear();
  }
  return plan;
}

}  // namespace selvane
