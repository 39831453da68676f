#pragma once
// The names a folder holds, in the order the system reports them.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/platform/NameIndex.h"

namespace selvane {

class FolderListing {
 public:
  // Opens the native folder; a folder that cannot be read lists nothing.
  explicit FolderListing(const std::string& nativeFolder);
  ~FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  bool IsOpen() const { return stream_ != nullptr; }
  // The next native name ("." and ".." left out), valid until the next
  // call; none at the end. `maybeLink`, when given, tells that the name may
  // be a symbolic link (the folder says so, or does not say what it is).
  std::optional<std::string_view> Next(bool* maybeLink = nullptr);
  // Calls `each` with every name of the native folder and whether it may be
  // a link, while `each` returns true. True when the folder was read whole.
  static bool ForEach(const std::string& nativeFolder,
                      const std::function<bool(std::string_view name, bool maybeLink)>& each);

 private:
  struct Stream;
  struct Closer {
    void operator()(Stream* stream) const;
  };
  std::unique_ptr<Stream, Closer> stream_;
};

// Folders asked after name by name. From the ReadFrom-th name asked in one
// folder, that folder is listed once and its listing answers for every
// name asked after; a folder that is not listed answers nothing, and its
// names are looked at one by one as before. A folder where each name
// asked would cost a round trip (a share) may be listed at the first ask.
// A listing is kept as a NameIndex until the whole is let go.
class ListedFolders {
 public:
  static constexpr int ReadFrom = 64;
  enum class Holds { NotListed, Absent, Name, MaybeLink };
  // Calls `each` with each name the folder holds and whether it may be a
  // link, while `each` returns true. False when the folder is not to be
  // taken as listed whole (it could not be read, or `each` stopped it).
  using Each = std::function<bool(std::string_view name, bool maybeLink)>;
  using Lister = std::function<bool(std::string_view folder, const Each& each)>;

  // `atOnce`, when given, tells which folders are listed at the first ask.
  using AtOnce = std::function<bool(std::string_view folder)>;
  explicit ListedFolders(Lister list, AtOnce atOnce = {})
      : list_(std::move(list)), atOnce_(std::move(atOnce)) {}
  Holds Find(std::string_view folder, std::string_view name);

 private:
  struct Folder {
    int asked = 0;
    bool listed = false;
    NameIndex names;
    std::vector<bool> maybeLink;  // by the name's number
  };

  Lister list_;
  AtOnce atOnce_;
  std::unordered_map<std::string, Folder> folders_;
  Folder* last_ = nullptr;  // the folder asked after last (the map's nodes stay put)
  std::string lastFolder_;
};

}  // namespace selvane
