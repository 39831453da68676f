#include "core/platform/FolderListing.h"

#include <dirent.h>

namespace selvane {

struct FolderListing::Stream {
  DIR* dir;
};

void FolderListing::Closer::operator()(Stream* stream) const {
  ::closedir(stream->dir);
  delete stream;
}

FolderListing::FolderListing(const std::string& nativeFolder) {
  if (DIR* dir = ::opendir(nativeFolder.c_str())) stream_.reset(new Stream{dir});
}

FolderListing::~FolderListing() = default;

std::optional<std::string_view> FolderListing::Next(bool* maybeLink) {
  if (!stream_) return std::nullopt;
  while (const dirent* item = ::readdir(stream_->dir)) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    if (maybeLink != nullptr) *maybeLink = item->d_type == DT_LNK || item->d_type == DT_UNKNOWN;
    return name;
  }
  return std::nullopt;
}

}  // namespace selvane
