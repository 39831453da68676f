#pragma once
// A fresh folder per test, removed with everything in it afterwards, and a
// few byte-exact file helpers for it.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempFolder {
 public:
  explicit TempFolder(const std::string& base = "/tmp") {
    std::string pattern = base + "/selvane-test-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Enters a folder for the life of the guard (the rename run's temporary
// name lies in the current directory).
class CurrentDirectoryGuard {
 public:
  explicit CurrentDirectoryGuard(const std::string& folder) {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) != nullptr) saved_ = buffer;
    entered_ = ::chdir(folder.c_str()) == 0;
  }
  ~CurrentDirectoryGuard() {
    if (saved_.empty()) return;
    [[maybe_unused]] const bool restored = ::chdir(saved_.c_str()) == 0;
  }
  CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
  CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  std::string saved_;
  bool entered_ = false;
};
