// Usage: selvane_make_demo FOLDER
// Writes demo MP3 files into FOLDER (created when missing). Existing files
// of the same names are left alone.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"

namespace {

struct DemoTrack {
  const char* fileName;  // native (UTF-8)
  bool tagged;
  const char* title;  // UTF-8, written as CP932
  const char* artist;
  const char* album;
  const char* year;
  const char* comment;
  unsigned char genre;
};

// Titles with trail bytes 0x5C ("表", "ソ") and 0x7C ("ポ") on purpose.
const std::array<DemoTrack, 6> kTracks = {{
    {"01 桜の坂道.mp3", true, "桜の坂道", "青葉ミナト", "春の記憶", "2003", "デモ音源", 146},
    {"02 ソラの表.mp3", true, "ソラの表", "青葉ミナト", "春の記憶", "2003", "", 146},
    {"03 風のポルカ.mp3", true, "風のポルカ", "ｶﾜｾ ﾕｳ", "旅の途中", "1998", "", 255},
    {"04 Morning Light.mp3", true, "Morning Light", "Blue Harbor", "Coastline", "2011", "demo", 13},
    {"05 Night Drive.mp3", true, "Night Drive", "Blue Harbor", "Coastline", "2011", "", 0},
    {"06 untitled.mp3", false, "", "", "", "", "", 0},
}};

// A text placed in its field, NUL-padded, cut on a character boundary.
void PutField(std::array<char, 128>& trailer, std::size_t offset, std::size_t width,
              const char* utf8) {
  const std::string text = selvane::Cp932(utf8);
  const std::size_t n = selvane::CharBoundary(text, width);
  std::memcpy(trailer.data() + offset, text.data(), n);
}

std::vector<char> Body(std::size_t index) {
  // A few silent MPEG-1 Layer III frame headers; enough to look like audio.
  std::vector<char> body(2048 + index * 417, '\0');
  for (std::size_t i = 0; i + 4 <= body.size(); i += 417) {
    body[i] = static_cast<char>(0xFF);
    body[i + 1] = static_cast<char>(0xFB);
    body[i + 2] = static_cast<char>(0x90);
    body[i + 3] = static_cast<char>(0x64);
  }
  return body;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  for (std::size_t i = 0; i < kTracks.size(); ++i) {
    const DemoTrack& track = kTracks[i];
    const std::filesystem::path file = folder / track.fileName;
    if (std::filesystem::exists(file)) continue;
    std::ofstream out(file, std::ios::binary);
    const std::vector<char> body = Body(i);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    if (track.tagged) {
      std::array<char, 128> trailer{};
      std::memcpy(trailer.data(), "TAG", 3);
      PutField(trailer, 3, 30, track.title);
      PutField(trailer, 33, 30, track.artist);
      PutField(trailer, 63, 30, track.album);
      PutField(trailer, 93, 4, track.year);
      PutField(trailer, 97, 30, track.comment);
      trailer[127] = static_cast<char>(track.genre);
      out.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
    }
    if (!out.flush()) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), std::strerror(errno));
      return 1;
    }
  }
  return 0;
}
