#pragma once
// A fresh folder per test, removed with everything in it afterwards, and
// byte-exact helpers for the files the tests put there.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

// Writes `bytes` as the file's whole content; a file that cannot be
// written fails the test instead of leaving it to check the wrong thing.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
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

// True when both paths lie on one file system (or either cannot be seen).
inline bool SameFileSystem(const std::string& a, const std::string& b) {
  struct stat here {
  }, there{};
  return ::stat(a.c_str(), &here) != 0 || ::stat(b.c_str(), &there) != 0 ||
         here.st_dev == there.st_dev;
}

class TempFolder {
 public:
  // A folder that cannot be made fails the test: no test may fall back on
  // writing at the root.
  explicit TempFolder(const std::string& base = "/tmp") {
    std::string pattern = base + "/selvane-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot make a folder in " + base);
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    // A test may have taken away the owner's rights.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Writes the file `name` in this folder and gives its path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    std::string file = *this / name;
    WriteBytes(file, bytes);
    return file;
  }

 private:
  std::string path_;
};

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

// An ID3v1 trailer from whole fields, each cut or padded with `pad` to its
// width. The default pad is the space the program itself writes.
inline std::string TrailerBytes(std::string_view title, std::string_view artist = {},
                                std::string_view album = {}, std::string_view year = {},
                                std::string_view comment = {}, unsigned char genre = 0,
                                char pad = ' ') {
  const auto field = [pad](std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, pad);
    return out;
  };
  return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
         field(comment, 30) + std::string(1, static_cast<char>(genre));
}
