#pragma once
// The names a folder holds, in the order the system reports them.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

 private:
  struct Stream;
  struct Closer {
    void operator()(Stream* stream) const;
  };
  std::unique_ptr<Stream, Closer> stream_;
};

}  // namespace selvane
