#pragma once
// The move with its options, for the platform's own FileOps: `told` is the
// new name as the caller gave it (CP932 there), for the placeholder record.
#include <string>

#include "core/platform/FileStatus.h"

namespace selvane {

FileResult MoveNative(const char* from, const char* to, const MoveOptions& options,
                      const char* told, FileStatus* moved);

}  // namespace selvane
