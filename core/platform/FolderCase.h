#pragma once
// How a folder compares names: some media (exFAT, FAT, most shares from
// Windows) take "abc.mp3" and "ABC.mp3" for one name. The folder itself is
// asked, since the file system type alone does not tell (ntfs-3g compares
// case by default; a share depends on its server).
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/platform/Volume.h"

namespace selvane {

class FolderCase {
 public:
  explicit FolderCase(MountTable& mounts) : mounts_(mounts) {}
  // True when the native folder takes names that differ only in letter case
  // for one. Asked once per folder.
  bool IgnoresCase(const std::string& nativeFolder);

 private:
  MountTable& mounts_;
  std::unordered_map<std::string, bool> known_;
};

// What a folder on this type of file system does, for a folder that holds
// no name to ask with.
bool TypeIgnoresCase(std::string_view fsType);

// A CP932 name as a case-ignoring folder compares it: ASCII, full-width
// Latin, Greek, Cyrillic and Roman numeral letters in one case. Two names
// are one there when their keys are equal.
std::string CaseFoldKey(std::string_view cp932);
inline bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CaseFoldKey(a) == CaseFoldKey(b);
}

}  // namespace selvane
