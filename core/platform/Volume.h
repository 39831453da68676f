#pragma once
// The volume a path lies on, known by what it is (its UUID or label) rather
// than by where it happens to be mounted, and the way back: where a volume
// with that identity is mounted now. Paths here are native.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace selvane {

struct Volume {
  std::string mountPoint;
  std::string root = "/";  // the folder of the volume mounted there ("/" but for bind mounts)
  // The real type: "exfat" or "ntfs" also for a FUSE mount ("fuseblk").
  std::string fsType;
  std::string source;        // what was mounted: "/dev/sdb1", "server:/music", "tmpfs"
  std::uint64_t device = 0;  // st_dev of the files on it
  // Empty where the system gives none (tmpfs, most shares).
  std::string uuid, label;
};

// One reading of the system's mount table with the identities probed so
// far. A caller keeps one for a whole command: mounts are read once and each
// volume is probed at most once, never per file.
class MountTable {
 public:
  // The mounts of this process now (/proc/self/mountinfo).
  static MountTable Read();
  // The same from the text of a mountinfo file.
  static MountTable Parse(std::string_view mountinfo);

  // The volume holding `native` (a path that need not exist yet; its nearest
  // existing folder counts). Null when none is found.
  const Volume* VolumeOf(const std::string& native);
  // The same mount without asking the medium who it is (no UUID or label):
  // for a caller that needs only where it is mounted.
  const Volume* MountOf(const std::string& native) const;
  // Where the volume with this UUID (or, when `uuid` is empty, this label) is
  // mounted now, its whole root preferred; null when it is not connected, and
  // also when two volumes connected now carry that label (two sticks named
  // alike are not told apart by guessing).
  const Volume* FindMounted(const std::string& uuid, const std::string& label);

  const std::vector<Volume>& volumes() const { return volumes_; }

 private:
  void Identify(std::size_t index);

  std::vector<Volume> volumes_;
  std::vector<bool> identified_;
};

// Tells whether the mounts this process sees may have changed since it was
// made or last asked: the system flags its mount table at every mount and
// unmount (a medium replugged is unmounted first), and udev rewrites its
// disk names when a volume comes, goes or is relabelled. A MountTable read
// after the watch was made stands for as long as the watch says nothing
// changed.
class MountWatch {
 public:
  MountWatch();
  ~MountWatch();
  MountWatch(const MountWatch&) = delete;
  MountWatch& operator=(const MountWatch&) = delete;

  // True when something changed, and when it cannot be told.
  bool Changed();

 private:
  std::string DiskNames() const;

  int fd_ = -1;
  std::string names_;
};

// FAT, exFAT and NTFS: the media whose names are counted in UTF-16 units
// and that Windows reads too.
bool IsFatFamily(std::string_view fsType);

// Media whose inode numbers do not last: FUSE numbers names anew at each
// mount, FAT-family media have none of their own, shares vary.
bool KeepsInodeNumbers(std::string_view fsType);

}  // namespace selvane
