#pragma once
// The one look at the disk that the row decision takes: what a name holds
// now. The real disk answers it, and so does the forecast's plan of it.
#include "core/platform/FileOps.h"

namespace selvane {

class DiskLooks {
 public:
  virtual ~DiskLooks() = default;
  // What `path` names, as FileOps::Status tells it (links described).
  virtual FileStatus Status(const char* path) = 0;
};

// The disk as it is.
class RealDisk final : public DiskLooks {
 public:
  explicit RealDisk(FileOps& ops) : ops_(ops) {}
  FileStatus Status(const char* path) override { return ops_.Status(path); }

 private:
  FileOps& ops_;
};

}  // namespace selvane
