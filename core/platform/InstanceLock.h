#pragma once
// Single-instance lock: one per user session, released by the system when
// the process ends, even when it is killed.
#include <string>

namespace selvane {

class InstanceLock {
 public:
  explicit InstanceLock(const char* name);  // e.g. "SELVANE"
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process holds the lock; false when another instance does.
  // Also true when no lock file could be made or used at all (something
  // else, a FIFO say, lies at every name): the program then runs unguarded,
  // and says so on stderr, rather than not at all.
  bool Acquired() const { return fd_ >= 0 || unguarded_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  bool unguarded_ = false;
  std::string path_;
};

}  // namespace selvane
