#pragma once
// Makes a file read-only for the code under test, also when the tests run as
// root (which ignores permission bits): while the guard lives, file access
// checks use an unprivileged file-system user id, which drops root's
// override. The folder is opened for that user to pass through.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

class ReadOnlyFile {
 public:
  ReadOnlyFile(const std::string& folder, const std::string& file) {
    ::chmod(folder.c_str(), 0755);
    ::chmod(file.c_str(), 0444);
    if (::geteuid() == 0) {
      ::setfsuid(NobodyId);
      switched_ = true;
      active_ = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == NobodyId;
    } else {
      active_ = true;
    }
  }
  ~ReadOnlyFile() {
    if (switched_) ::setfsuid(0);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False when the file could not be made read-only for this process.
  bool active() const { return active_; }

 private:
  static constexpr uid_t NobodyId = 65534;
  bool switched_ = false;
  bool active_ = false;
};
