#include "core/platform/Volume.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <utility>

#include "core/platform/Descriptor.h"

namespace selvane {
namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// "id parent major:minor root mountpoint options [optional...] - type source superoptions"
bool ParseLine(const std::string& line, Volume& volume) {
  std::istringstream in(line);
  std::string id, parent, numbers, root, mountPoint, options, field;
  if (!(in >> id >> parent >> numbers >> root >> mountPoint >> options)) return false;
  while (in >> field && field != "-") {
  }
  std::string type, source;
  if (field != "-" || !(in >> type >> source)) return false;
  unsigned major = 0, minor = 0;
  if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2) return false;
  volume.mountPoint = Unescape(mountPoint);
  volume.root = Unescape(root);
  volume.fsType = Unescape(type);
  volume.source = Unescape(source);
  volume.device = static_cast<std::uint64_t>(::makedev(major, minor));
  return true;
}

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

bool LiesUnder(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// udev writes a space in a label as \x20 (and so on for other bytes).
std::string UnescapeUdev(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned value = 0;
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        std::sscanf(std::string(name.substr(i + 2, 2)).c_str(), "%2x", &value) == 1) {
      out.push_back(static_cast<char>(value));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

// The name in /dev/disk/by-KIND that leads to `device`, where udev keeps
// those folders (no need to read the device itself, which needs root).
std::string LinkNameFor(const char* kind, const std::string& device) {
  const std::string folder = std::string("/dev/disk/") + kind;
  std::unique_ptr<DIR, platform::DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return {};
  while (const dirent* item = ::readdir(dir.get())) {
    if (item->d_name[0] == '.') continue;
    if (RealPath(folder + "/" + item->d_name) == device) return UnescapeUdev(item->d_name);
  }
  return {};
}

// TYPE, UUID and LABEL as the superblock tells them (util-linux's libblkid).
void Probe(const std::string& device, Volume& volume, bool wantType) {
  blkid_probe probe = ::blkid_new_probe_from_filename(device.c_str());
  if (probe == nullptr) return;
  ::blkid_probe_enable_superblocks(probe, 1);
  ::blkid_probe_set_superblocks_flags(probe,
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
  if (::blkid_do_safeprobe(probe) == 0) {
    const char* value = nullptr;
    if (wantType && ::blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0)
      volume.fsType = value;
    if (volume.uuid.empty() && ::blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0)
      volume.uuid = value;
    if (volume.label.empty() && ::blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0)
      volume.label = value;
  }
  ::blkid_free_probe(probe);
}

}  // namespace

MountTable MountTable::Parse(std::string_view mountinfo) {
  MountTable table;
  std::istringstream in{std::string(mountinfo)};
  std::string line;
  Volume volume;
  while (std::getline(in, line))
    if (ParseLine(line, volume)) table.volumes_.push_back(volume);
  table.identified_.assign(table.volumes_.size(), false);
  return table;
}

MountTable MountTable::Read() {
  std::ifstream in("/proc/self/mountinfo");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Parse(text);
}

void MountTable::Identify(std::size_t index) {
  if (identified_[index]) return;
  identified_[index] = true;
  Volume& volume = volumes_[index];
  if (volume.source.compare(0, 5, "/dev/") != 0) return;
  const std::string device = RealPath(volume.source);
  if (device.empty()) return;
  volume.uuid = LinkNameFor("by-uuid", device);
  volume.label = LinkNameFor("by-label", device);
  // A FUSE driver mounts as "fuseblk"; the superblock says what it is.
  const bool wantType = volume.fsType.compare(0, 4, "fuse") == 0;
  if (wantType || volume.uuid.empty()) Probe(device, volume, wantType);
}

const Volume* MountTable::VolumeOf(const std::string& native) {
  const Volume* volume = MountOf(native);
  if (volume != nullptr) Identify(static_cast<std::size_t>(volume - volumes_.data()));
  return volume;
}

const Volume* MountTable::MountOf(const std::string& native) const {
  std::string path = native;
  struct stat st {};
  while (::lstat(path.c_str(), &st) != 0) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || path == "/") return nullptr;
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  const std::string real = S_ISLNK(st.st_mode) ? path : RealPath(path);
  // The device decides, the longest mount point under which the path lies
  // breaks ties (bind mounts); a later line lies over an earlier one. Some
  // file systems (btrfs) give files another device than the mount's.
  std::size_t best = volumes_.size(), bestByPath = volumes_.size();
  for (std::size_t i = 0; i < volumes_.size(); ++i) {
    const Volume& v = volumes_[i];
    if (!LiesUnder(real, v.mountPoint)) continue;
    if (bestByPath == volumes_.size() ||
        v.mountPoint.size() >= volumes_[bestByPath].mountPoint.size())
      bestByPath = i;
    if (v.device == static_cast<std::uint64_t>(st.st_dev) &&
        (best == volumes_.size() || v.mountPoint.size() >= volumes_[best].mountPoint.size()))
      best = i;
  }
  if (best == volumes_.size()) best = bestByPath;
  if (best == volumes_.size()) return nullptr;
  return &volumes_[best];
}

const Volume* MountTable::FindMounted(const std::string& uuid, const std::string& label) {
  if (uuid.empty() && label.empty()) return nullptr;
  const Volume* found = nullptr;
  for (std::size_t i = 0; i < volumes_.size(); ++i) {
    Identify(i);
    const Volume& v = volumes_[i];
    if (!uuid.empty() ? v.uuid != uuid : v.label != label) continue;
    if (found != nullptr && found->device != v.device) return nullptr;
    if (found == nullptr || (found->root != "/" && v.root == "/")) found = &v;
  }
  return found;
}

MountWatch::MountWatch()
    : fd_(platform::OpenRetrying("/proc/self/mountinfo", O_RDONLY)), names_(DiskNames()) {}

MountWatch::~MountWatch() {
  if (fd_ >= 0) ::close(fd_);
}

// The times the udev folders were last written, where they are.
std::string MountWatch::DiskNames() const {
  std::string names;
  for (const char* folder : {"/dev/disk/by-uuid", "/dev/disk/by-label"}) {
    struct stat st {};
    if (::stat(folder, &st) == 0)
      names += std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec);
    names += ';';
  }
  return names;
}

bool MountWatch::Changed() {
  if (fd_ < 0) return true;
  // The flag is the kernel's answer to a poll of the mount table: it is
  // raised once for every change since the last poll.
  pollfd table{fd_, POLLPRI, 0};
  const int ready = ::poll(&table, 1, 0);
  if (ready < 0 || (ready > 0 && (table.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0))
    return true;
  std::string names = DiskNames();
  if (names == names_) return false;
  names_ = std::move(names);
  return true;
}

bool IsFatFamily(std::string_view fsType) {
  return fsType == "vfat" || fsType == "msdos" || fsType == "fat" || fsType == "exfat" ||
         fsType == "ntfs" || fsType == "ntfs3";
}

bool KeepsInodeNumbers(std::string_view fsType) {
  return !(IsFatFamily(fsType) || fsType.substr(0, 4) == "fuse" || fsType == "cifs" ||
           fsType == "smb3" || fsType == "nfs" || fsType == "nfs4");
}

}  // namespace selvane
