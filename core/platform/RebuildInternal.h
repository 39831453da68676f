#pragma once
// The head writes on native paths, for the platform's own FileOps.
#include <cstdint>
#include <span>
#include <string>

#include "core/platform/FileStatus.h"

namespace selvane::platform {

FileResult WriteSyncedNative(const std::string& native, std::span<const FilePiece> pieces,
                             std::int64_t length);
FileResult RebuildNative(const std::string& path, const std::string& beside,
                         const RebuildPlan& plan, FileStatus& placed);

}  // namespace selvane::platform
