#pragma once
// The ends of many files read with many requests in flight, for media where
// each call waits on a round trip (a share, a FUSE medium): there the time
// goes to waiting, and 64 waits side by side take the time of one. Each
// file's answer is the one FileOps::ReadEnds gives for it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/platform/FileOps.h"
#include "core/platform/Volume.h"

namespace selvane {

// True for the file system types (statfs's f_type) whose calls go over a
// network or to a program (NFS, SMB/CIFS, FUSE, 9p, Ceph, AFS, ...); false
// for local disks and memory (ext4, xfs, btrfs, tmpfs, FAT, ...).
bool TypePaysForWaiting(std::int64_t fsType);
// The same for the type as the mount table names it ("nfs4", "cifs",
// "fuse.sshfs", "fuseblk", ...).
bool TypePaysForWaiting(std::string_view mountType);

// Which folders lie on such a medium. A folder under a mount point of such a
// type is known from the mount table alone, with no call over the network;
// any other is asked of the system once (statfs: at no cost on a local disk,
// and right where a link leads elsewhere). A folder that cannot be asked
// counts as local: today's road.
class MediumWaits {
 public:
  MediumWaits() = default;  // the process's mounts, read when first needed
  explicit MediumWaits(MountTable mounts) : mounts_(std::move(mounts)), read_(true) {}

  bool PaysForWaiting(const std::string& nativeFolder);
  // For a file whose device is known (st_dev), from the mount table alone.
  bool PaysForWaitingOnDevice(std::uint64_t device);

 private:
  const MountTable& Mounts();

  MountTable mounts_;
  bool read_ = false;
  std::unordered_map<std::string, bool> folders_;
};

// What FileOps::ReadEnds gives for one path (with headSize 0: what
// ReadTailAndStatus gives).
struct EndsRead {
  FileResult result;
  std::int64_t length = -1;  // unspecified when `result` failed
  FileStatus status;
  unsigned char tail[TrailerSize] = {};  // read when length >= 128
  std::vector<unsigned char> head;       // the first min(headSize, length) bytes
};

// One path, the way the many are read: the name is opened as a path only
// (O_PATH, which opens no pipe or device), its type seen in the entry the
// lookup brought, and only a regular file is then opened for reading; a
// link goes the system FileOps's own road.
EndsRead ReadEndsOf(const std::string& native, std::size_t headSize);

struct ManyReadsOptions {
  std::size_t headSize = 0;   // bytes of each file's head read too (0: the tail only)
  std::size_t inFlight = 64;  // requests at once
  // Set from any thread: no further file is started; those under way are
  // finished and delivered.
  const std::atomic<bool>* stop = nullptr;
  // On the calling thread, at least every `progressMs` while the reads last
  // and once at the end: how many of how many were delivered.
  std::function<void(std::size_t done, std::size_t total)> progress;
  int progressMs = 50;
};

// Reads `natives` and hands each path's answer to `deliver` on the calling
// thread, by its index, in the order the reads finish (the read may be
// moved from). Returns how many were delivered: all of them unless stopped.
std::size_t ReadManyEnds(const std::vector<std::string>& natives, const ManyReadsOptions& options,
                         const std::function<void(std::size_t index, EndsRead& read)>& deliver);

}  // namespace selvane
