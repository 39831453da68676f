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

bool FolderListing::ForEach(const std::string& nativeFolder,
                            const std::function<bool(std::string_view, bool)>& each) {
  FolderListing listing(nativeFolder);
  bool maybeLink = false;
  while (const std::optional<std::string_view> name = listing.Next(&maybeLink))
    if (!each(*name, maybeLink)) return false;
  return listing.IsOpen();
}

ListedFolders::Holds ListedFolders::Find(std::string_view folder, std::string_view name) {
  if (last_ == nullptr || folder != lastFolder_) {
    auto it = folders_.find(std::string(folder));
    if (it == folders_.end()) it = folders_.emplace(std::string(folder), Folder()).first;
    last_ = &it->second;
    lastFolder_.assign(folder);
  }
  Folder& known = *last_;
  // Listed once, at the ask that makes it worth it; never again after.
  const int asked = known.listed ? 0 : ++known.asked;
  if (asked == ReadFrom || (asked == 1 && atOnce_ && atOnce_(folder))) {
    known.listed = list_(folder, [&known](std::string_view entry, bool maybeLink) {
      // Past what the index holds, names are asked one by one.
      const std::size_t number = known.names.Add(entry);
      if (number == NameIndex::None) return false;
      if (number == known.maybeLink.size()) known.maybeLink.push_back(maybeLink);
      return true;
    });
    if (!known.listed) {
      known.names = {};
      known.maybeLink = {};
    }
  }
  if (!known.listed) return Holds::NotListed;
  const std::size_t number = known.names.Find(name);
  if (number == NameIndex::None) return Holds::Absent;
  return known.maybeLink[number] ? Holds::MaybeLink : Holds::Name;
}

}  // namespace selvane
