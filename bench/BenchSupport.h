#pragma once
// What the benchmarks share: the clock of one call, medians, a throw-away
// folder of tagged files, and the floor of reading a trailer.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/UserPrompts.h"

namespace bench {

// Says yes to every question and counts what it was told went wrong.
class QuietPrompts : public selvane::UserPrompts {
 public:
  void SetStatus(std::string_view) override {}
  void Refuse(std::string_view, std::string_view) override { ++refusals; }
  bool Ask(std::string_view, std::string_view) override { return true; }
  void ShowError(std::string_view) override { ++refusals; }
  int refusals = 0;
};

// The clock of one timed call, for UseManualTime.
template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double MedianMs(std::vector<double> seconds) {
  if (seconds.empty()) return 0;
  std::nth_element(seconds.begin(), seconds.begin() + static_cast<long>(seconds.size() / 2),
                   seconds.end());
  return seconds[seconds.size() / 2] * 1e3;
}

// A fresh folder, removed with its files when the guard goes. The path is
// empty when the folder could not be made.
class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/selvane-bench-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A small MP3-like file: 2048 bytes standing in for audio, then a trailer
// with the given texts (space-padded, cut to their widths) and genre 13.
// False when the file could not be written whole.
inline bool WriteTaggedFile(const std::string& nativePath, std::string_view title,
                            std::string_view artist = {}, std::string_view album = {},
                            std::string_view year = {}) {
  const auto field = [](std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
  };
  const std::string bytes = std::string(2048, '\x55') + "TAG" + field(title, 30) +
                            field(artist, 30) + field(album, 30) + field(year, 4) + field({}, 30) +
                            '\x0D';
  const int fd = ::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written =
      ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return ::close(fd) == 0 && written;
}

// What reading one trailer cannot do without: open, fstat, one read of the
// last 128 bytes, close.
inline void ReadTrailerFloor(const char* nativePath) {
  unsigned char tail[128];
  const int fd = ::open(nativePath, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size >= 128)
    benchmark::DoNotOptimize(::pread(fd, tail, sizeof tail, st.st_size - 128));
  ::close(fd);
}

}  // namespace bench
