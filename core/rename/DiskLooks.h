#pragma once
// The one look at the disk that the row decision takes: what a name holds
// now. The real disk answers it, and so does the forecast's plan of it.
#include <functional>
#include <string_view>

#include "core/platform/FileOps.h"

namespace selvane {

class DiskLooks {
 public:
  virtual ~DiskLooks() = default;
  // What `path` names, as FileOps::Status tells it (links described).
  virtual FileStatus Status(const char* path) = 0;
  // The same for a path whose native form the caller may hold (FileOps::StatusPlanned).
  virtual FileStatus Status(const PlannedPath& path) { return Status(path.cp932); }
  // FileOps::ListFolder of the disk as it is; a plan of it lists nothing.
  virtual bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) {
    (void)folder;
    (void)each;
    return false;
  }
};

// The disk as it is.
class RealDisk final : public DiskLooks {
 public:
  explicit RealDisk(FileOps& ops) : ops_(ops) {}
  FileStatus Status(const char* path) override { return ops_.Status(path); }
  FileStatus Status(const PlannedPath& path) override { return ops_.StatusPlanned(path); }
  bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) override {
    return ops_.ListFolder(folder, each);
  }

 private:
  FileOps& ops_;
};

}  // namespace selvane
