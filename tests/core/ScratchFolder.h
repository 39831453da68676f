#pragma once
// A fresh temporary folder per test, removed with everything in it. Files
// are written byte for byte.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace selvane {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "selvane-core-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string PathOf(std::string_view name) const { return path_ + "/" + std::string(name); }

  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::string file = PathOf(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file);
    return file;
  }

 private:
  std::string path_;
};

// An ID3v1 trailer from whole fields, each padded with `pad` to its width.
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

}  // namespace selvane
