#include "core/platform/FolderListing.h"

#include <dirent.h>

#include <bit>
#include <cstdint>

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

void ListedFolders::Folder::Index() {
  byHash.assign(std::bit_ceil(2 * names.size() + 1), 0);
  const std::size_t mask = byHash.size() - 1;
  for (std::uint32_t i = 0; i < names.size(); ++i) {
    std::size_t slot = std::hash<std::string_view>{}(NameAt(i + 1)) & mask;
    while (byHash[slot] != 0) slot = (slot + 1) & mask;
    byHash[slot] = i + 1;
  }
}

const ListedFolders::Folder::Name* ListedFolders::Folder::Look(std::string_view name) const {
  const std::size_t mask = byHash.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>{}(name)&mask; byHash[slot] != 0;
       slot = (slot + 1) & mask)
    if (NameAt(byHash[slot]) == name) return &names[byHash[slot] - 1];
  return nullptr;
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
  if (!known.listed && ++known.asked == ReadFrom) {
    known.listed = list_(folder, [&known](std::string_view entry, bool maybeLink) {
      // Past what a table of 32-bit places holds, names are asked one by one.
      if (known.text.size() + entry.size() > UINT32_MAX) return false;
      known.names.push_back({static_cast<std::uint32_t>(known.text.size()),
                             static_cast<std::uint32_t>(entry.size()), maybeLink});
      known.text.append(entry);
      return true;
    });
    if (known.listed) {
      known.Index();
    } else {
      known.text = std::string();
      known.names = {};
    }
  }
  if (!known.listed) return Holds::NotListed;
  const Folder::Name* found = known.Look(name);
  if (found == nullptr) return Holds::Absent;
  return found->maybeLink ? Holds::MaybeLink : Holds::Name;
}

}  // namespace selvane
