#pragma once
// Names a medium would change or refuse: too long for the folder, or, on
// media that Windows reads (FAT, exFAT, NTFS), a trailing dot or space
// (stored without it) and the names Windows keeps for devices.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/platform/Volume.h"

namespace selvane {

struct Medium {
  // Limits are counted in UTF-16 units there, else in bytes of the native name.
  bool fatFamily = false;
  std::size_t nameLimit = 255;
  // A file renamed in place keeps its device and inode (ext4, btrfs...).
  bool keepsInodes = true;
};

// The medium of a native folder: its file system type from `mounts`, its
// name limit as the folder itself tells it.
Medium MediumOf(const std::string& nativeFolder, MountTable& mounts);

enum class NameRefusalKind {
  None,
  TooLong,
  TrailingDotOrSpace,
  DeviceName,
};

// `name` is one CP932 name (no folder). A name with no native form is not
// judged here (its move fails on its own).
NameRefusalKind MediumNameRefusal(std::string_view name, const Medium& medium);

}  // namespace selvane
