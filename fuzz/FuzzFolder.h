#pragma once
// Turns fuzz bytes into a small folder in memory and a table of rows to
// rename in it. The names come from a short list, so that rows, files,
// links and the run's temporary name meet each other often: regular files
// (each with bytes of its own), folders, pipes, symbolic links (relative,
// absolute, chained, leading nowhere or in a loop) and hard links. New
// names include refused ones: forbidden and control characters, "..", a
// leading dot, bytes that are not Shift-JIS, and other spellings of a name.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "tests/core/MemoryFileOps.h"

namespace selvane {

struct FuzzRow {
  std::string path, newPath;  // CP932; an empty newPath keeps the name
};

struct FuzzFolder {
  MemoryFileOps fs;
  std::vector<FuzzRow> rows;
  std::string currentFolder;  // where the temporary name lies
};

inline constexpr const char* FuzzFolderRoot = "/m/";

// Names inside the root: each can be a file, a folder, a pipe or a link.
inline constexpr const char* FuzzNames[] = {
    "a.mp3", "b.mp3",     "Song.mp3", "\x83\x5C.mp3" /* ソ */, "sub", "sub/c.mp3", "SelvaneBk.tmp",
    "x.mp3", "sub/a.mp3", "A.mp3",
};

// What a link can lead to: the names above, and these.
inline constexpr const char* FuzzLinkTargets[] = {
    "missing.mp3", "../m/a.mp3", "/m/b.mp3", "sub/../Song.mp3", "x.mp3", "/m/sub", "../a.mp3",
};

// New names that are refused or that spell an existing name differently.
inline constexpr const char* FuzzOddNames[] = {
    "a:b.mp3",     "a?.mp3",     "a\nb.mp3",     "\x1b[31mRed.mp3", "tab\t.mp3",
    "del\x7f.mp3", "../a.mp3",   "sub/../a.mp3", "./a.mp3",         ".a.mp3",
    "sub/.c.mp3",  "\xFD.mp3",   "\x81.mp3",     "\xa0\x83.mp3",    "sub\\a.mp3",
    "/a.mp3",      "sub//a.mp3", "sub/",         "new/x.mp3",       "b.mp3/",
};

inline std::string FuzzName(FuzzedDataProvider& in) {
  return FuzzNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(FuzzNames) - 1)];
}

inline FuzzFolder MakeFuzzFolder(FuzzedDataProvider& in) {
  FuzzFolder folder;
  MemoryFileOps& fs = folder.fs;
  const std::string root = FuzzFolderRoot;
  fs.AddFolder("/m");
  const int things = in.ConsumeIntegralInRange(0, 10);
  for (int i = 0; i < things; ++i) {
    const std::string path = root + FuzzName(in);
    switch (in.ConsumeIntegralInRange(0, 5)) {
      case 0:
      case 1:
        fs.AddFile(path, "audio " + std::to_string(i));
        break;
      case 2:
        fs.AddFolder(path);
        break;
      case 3:
        fs.AddOther(path);
        break;
      case 4: {
        const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(
            0, std::size(FuzzNames) + std::size(FuzzLinkTargets) - 1);
        fs.AddLink(path, pick < std::size(FuzzNames)
                             ? FuzzNames[pick]
                             : FuzzLinkTargets[pick - std::size(FuzzNames)]);
        break;
      }
      default:
        fs.AddHardLink(path, root + FuzzName(in));
        break;
    }
  }
  const char* folders[] = {"/m", "/m/sub", "/"};
  folder.currentFolder = folders[in.ConsumeIntegralInRange(0, 2)];
  if (!fs.SetCurrentFolder(folder.currentFolder)) {
    folder.currentFolder = "/";
    fs.SetCurrentFolder("/");
  }

  const int rows = in.ConsumeIntegralInRange(1, 6);
  for (int i = 0; i < rows; ++i) {
    FuzzRow row;
    row.path = root + FuzzName(in);
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0:
        row.newPath = row.path;
        break;
      case 1:
        break;  // no new name
      case 2:
      case 3:
        row.newPath =
            root +
            FuzzOddNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(FuzzOddNames) - 1)];
        break;
      case 4:
        row.newPath = root + in.ConsumeRandomLengthString(24);
        break;
      default:
        row.newPath = root + FuzzName(in);
        break;
    }
    // The table's fields are C strings.
    row.newPath.resize(std::min(row.newPath.size(), row.newPath.find('\0')));
    // The table never lists one path twice.
    bool listed = false;
    for (const FuzzRow& earlier : folder.rows) listed = listed || earlier.path == row.path;
    if (!listed) folder.rows.push_back(std::move(row));
  }
  return folder;
}

}  // namespace selvane
