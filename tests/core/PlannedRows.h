#pragma once
// A rename plan as the run makes it, for tests that record one by hand: each
// row's CP932 paths viewed in `rows` and its native names kept in `natives`
// (both must outlive the plan), and the file as it stands.
#include <string>
#include <utility>
#include <vector>

#include "core/history/Journal.h"
#include "core/platform/FileOps.h"
#include "core/platform/NativePaths.h"

namespace selvane {

// `lookAtTargets`: also the status of each new name (as a run knows it for a
// name that is taken).
inline std::vector<RenamePlanRow> PlannedRows(
    FileOps& ops, NativePaths& natives,
    const std::vector<std::pair<std::string, std::string>>& rows, bool lookAtTargets = false) {
  std::vector<RenamePlanRow> plan;
  for (const auto& [from, to] : rows) {
    RenamePlanRow& row = plan.emplace_back();
    row.path = from;
    row.newPath = to;
    row.file = ops.Status(from.c_str());
    if (lookAtTargets) row.target = ops.Status(to.c_str());
    row.native = natives.Add(from);
    row.newNative = natives.Add(to);
    if (row.newNative.empty()) row.native = {};
  }
  return plan;
}

}  // namespace selvane
