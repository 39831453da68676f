#include "core/platform/MediumNames.h"

#include <sys/statfs.h>
#include <unistd.h>

#include <array>

#include "core/platform/Cp932.h"

namespace selvane {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, alone or before the
// first dot; Windows also ignores spaces after the device name.
bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper;
  for (char c : stem) upper.push_back(Upper(c));
  static constexpr std::array<std::string_view, 4> plain = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : plain)
    if (upper == device) return true;
  return upper.size() == 4 &&
         (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

Medium MediumOf(const std::string& nativeFolder, MountTable& mounts) {
  Medium medium;
  if (const Volume* volume = mounts.VolumeOf(nativeFolder)) {
    medium.fatFamily = IsFatFamily(volume->fsType);
    medium.keepsInodes = KeepsInodeNumbers(volume->fsType);
  }
  if (medium.fatFamily) return medium;  // 255 UTF-16 units, whatever statfs says
  struct statfs fs {};
  if (::statfs(nativeFolder.c_str(), &fs) == 0 && fs.f_namelen > 0)
    medium.nameLimit = static_cast<std::size_t>(fs.f_namelen);
  else if (const long most = ::pathconf(nativeFolder.c_str(), _PC_NAME_MAX); most > 0)
    medium.nameLimit = static_cast<std::size_t>(most);
  return medium;
}

NameRefusalKind MediumNameRefusal(std::string_view name, const Medium& medium) {
  // No character of code page 932 takes more than three bytes in UTF-8.
  if (!medium.fatFamily && name.size() * 3 <= medium.nameLimit) return NameRefusalKind::None;
  std::size_t length = 0;
  if (medium.fatFamily) {
    // Every character of code page 932 is one UTF-16 unit.
    for (std::size_t i = 0; i < name.size(); i += CharLength(name, i)) ++length;
  } else {
    std::string native;
    if (!Cp932ToNative(name, native)) return NameRefusalKind::None;
    length = native.size();
  }
  if (length > medium.nameLimit) return NameRefusalKind::TooLong;
  if (!medium.fatFamily || name.empty()) return NameRefusalKind::None;
  if (name.back() == '.' || name.back() == ' ') return NameRefusalKind::TrailingDotOrSpace;
  if (IsDeviceName(name)) return NameRefusalKind::DeviceName;
  return NameRefusalKind::None;
}

}  // namespace selvane
