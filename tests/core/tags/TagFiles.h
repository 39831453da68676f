#pragma once
// Files for the tag tests: audio bytes that show any shift or cut, trailers
// titled so, and an entry as the list holds a file just added.
#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/tags/TagWriter.h"
#include "tests/core/TempFolder.h"

namespace selvane {

using Bytes = std::string;

// Audio stand-in with a NUL and high bytes, so any shift or cut shows.
inline const Bytes Audio = Bytes("audio\0\xff\x10", 8) + Bytes(300, 'Z');

inline Bytes Titled(std::string_view title, unsigned char genre) {
  return TrailerBytes(title, "", "", "", "", genre);
}

// An entry as the list would hold it right after adding the file.
inline FileEntry Listed(const std::string& path) {
  FileEntry entry{};
  CopyField(entry.path, path);
  (void)ReadTag(entry.path, entry);
  return entry;
}

}  // namespace selvane
