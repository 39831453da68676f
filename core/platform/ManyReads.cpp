#include "core/platform/ManyReads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "core/platform/Descriptor.h"

namespace selvane {

using namespace platform;  // this file is the platform's own

bool TypePaysForWaiting(std::int64_t fsType) {
  switch (static_cast<std::uint32_t>(fsType)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2/3
    case 0x65735546:  // FUSE (sshfs, ntfs-3g, exfat-fuse, gvfs, ...)
    case 0x01021997:  // 9p
    case 0x00C36400:  // Ceph
    case 0x5346414F:  // AFS
    case 0x6B414653:  // kAFS
    case 0x73757245:  // Coda
    case 0x564C:      // NCP
    case 0x7461636F:  // OCFS2
    case 0x01161970:  // GFS2
    case 0x0BD00BD0:  // Lustre
    case 0x20030528:  // OrangeFS
      return true;
    default:
      return false;
  }
}

bool TypePaysForWaiting(std::string_view mountType) {
  static constexpr std::string_view kWaiting[] = {
      "nfs",   "nfs4",  "cifs", "smb3",   "smbfs",    "9p",   "ceph",    "afs",   "coda",
      "ncpfs", "ocfs2", "gfs2", "lustre", "orangefs", "fuse", "fuseblk", "davfs", "glusterfs"};
  if (mountType.substr(0, 5) == "fuse.") return true;
  return std::find(std::begin(kWaiting), std::end(kWaiting), mountType) != std::end(kWaiting);
}

const MountTable& MediumWaits::Mounts() {
  if (!read_) mounts_ = MountTable::Read();
  read_ = true;
  return mounts_;
}

bool MediumWaits::PaysForWaiting(const std::string& nativeFolder) {
  const auto known = folders_.find(nativeFolder);
  if (known != folders_.end()) return known->second;
  // The last of the longest mount points the folder lies under: a later
  // mount covers an earlier one at the same place.
  const Volume* under = nullptr;
  for (const Volume& volume : Mounts().volumes()) {
    const std::string& point = volume.mountPoint;
    const bool lies = point == "/" ||
                      (nativeFolder.compare(0, point.size(), point) == 0 &&
                       (nativeFolder.size() == point.size() || nativeFolder[point.size()] == '/'));
    if (lies && (under == nullptr || point.size() >= under->mountPoint.size())) under = &volume;
  }
  bool waits = under != nullptr && TypePaysForWaiting(under->fsType);
  if (!waits) {
    struct statfs fs {};
    waits = ::statfs(nativeFolder.c_str(), &fs) == 0 &&
            TypePaysForWaiting(static_cast<std::int64_t>(fs.f_type));
  }
  folders_.emplace(nativeFolder, waits);
  return waits;
}

bool MediumWaits::PaysForWaitingOnDevice(std::uint64_t device) {
  for (const Volume& volume : Mounts().volumes())
    if (volume.device == device) return TypePaysForWaiting(volume.fsType);
  return false;
}

namespace {

// What the name leads to, when it is no link (as NativeStatus gives it).
FileStatus StatusOf(const struct stat& st) {
  FileStatus status;
  status.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                : S_ISDIR(st.st_mode) ? FileKind::Folder
                                      : FileKind::Other;
  status.device = status.nameDevice = static_cast<std::uint64_t>(st.st_dev);
  status.inode = status.nameInode = static_cast<std::uint64_t>(st.st_ino);
  status.length = static_cast<std::int64_t>(st.st_size);
  status.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return status;
}

FileResult NotRegular(const FileStatus& status) {
  return Failure(status.kind == FileKind::Folder ? EISDIR : NotRegularFileError);
}

// The open file's length, then its head and tail, as FileOps reads them.
void ReadOpened(int fd, std::size_t headSize, EndsRead& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    out.result = LastError();
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    out.result = NotRegular(StatusOf(st));
    return;
  }
  out.length = out.status.length = static_cast<std::int64_t>(st.st_size);
  out.head.resize(
      std::min(headSize, static_cast<std::size_t>(std::max<std::int64_t>(out.length, 0))));
  out.result = ReadAllAt(fd, out.head.data(), out.head.size(), 0);
  if (!out.result) {
    out.head.clear();
    return;
  }
  if (out.length >= static_cast<std::int64_t>(TrailerSize))
    out.result = ReadAllAt(fd, out.tail, TrailerSize,
                           static_cast<off_t>(out.length - static_cast<std::int64_t>(TrailerSize)));
}

// The system FileOps's road: the name looked at, links followed, then opened
// by name. Taken for links, where the path alone tells what the name holds.
EndsRead ReadByName(const std::string& native, std::size_t headSize) {
  EndsRead out;
  int error = 0;
  out.status = NativeStatus(native, &error);
  if (error != 0) {
    out.result = Failure(error);
  } else if (out.status.kind != FileKind::Regular) {
    out.result = NotRegular(out.status);
  } else if (Fd fd(OpenRetrying(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY)); !fd.valid()) {
    out.result = LastError();
  } else {
    ReadOpened(fd.get(), headSize, out);
  }
  return out;
}

}  // namespace

// On a share each call is a round trip: the path is walked once (the O_PATH
// open), its type comes from the entry that walk brought back (no call), and
// the file is opened again through its descriptor, not by walking its name.
EndsRead ReadEndsOf(const std::string& native, std::size_t headSize) {
  EndsRead out;
  Fd path(OpenRetrying(native.c_str(), O_PATH | O_NOFOLLOW));
  if (!path.valid()) {
    if (errno == EMFILE || errno == ENFILE) return ReadByName(native, headSize);
    out.result = LastError();
    return out;
  }
  struct statx type {};
  if (::statx(path.get(), "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &type) != 0 ||
      S_ISLNK(type.stx_mode))
    return ReadByName(native, headSize);
  char again[32];
  std::snprintf(again, sizeof again, "/proc/self/fd/%d", path.get());
  Fd fd(S_ISREG(type.stx_mode) ? OpenRetrying(again, O_RDONLY | O_NONBLOCK | O_NOCTTY) : -1);
  const int openError = errno;
  if (!fd.valid() && S_ISREG(type.stx_mode) && openError == ENOENT)
    return ReadByName(native, headSize);  // no /proc here
  struct stat st {};
  if (::fstat(fd.valid() ? fd.get() : path.get(), &st) != 0) {
    out.result = LastError();
    return out;
  }
  out.status = StatusOf(st);
  if (out.status.kind != FileKind::Regular)
    out.result = NotRegular(out.status);
  else if (!fd.valid())
    out.result = Failure(openError);
  else
    ReadOpened(fd.get(), headSize, out);
  return out;
}

namespace {

// The reads under way: workers take the next index and hand back what they
// read; the calling thread delivers it.
class Flight {
 public:
  Flight(const std::vector<std::string>& natives, const ManyReadsOptions& options)
      : natives_(natives), options_(options) {}
  ~Flight() { Land(); }

  void Launch() {
    const std::size_t wanted =
        std::min(std::max<std::size_t>(options_.inFlight, 1), natives_.size());
    working_ = wanted;
    std::size_t started = 0;
    for (; started < wanted; ++started) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::exception&) {
        break;  // as many threads as the system gives
      }
    }
    if (started == wanted) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      working_ -= wanted - started - (started == 0 ? 1 : 0);
    }
    if (started == 0) Work();  // none at all: one after another, here
  }

  // Waits for the next finished reads, or the time for a progress report;
  // false once every read is delivered or stopped.
  bool Next(std::deque<std::pair<std::size_t, EndsRead>>& ready) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(options_.progressMs, 1)),
                      [this] { return !done_.empty() || working_ == 0; });
    ready.swap(done_);
    return !ready.empty() || working_ > 0;
  }

  // No file started any more; those under way end, and the workers with them.
  void Land() {
    quit_.store(true, std::memory_order_relaxed);
    for (std::thread& worker : workers_)
      if (worker.joinable()) worker.join();
  }

 private:
  bool Stopped() const {
    return quit_.load(std::memory_order_relaxed) ||
           (options_.stop != nullptr && options_.stop->load(std::memory_order_relaxed));
  }

  void Work() {
    // Memory running out ends the reading: the files not read keep what
    // they had, as when a read fails.
    try {
      for (std::size_t i; !Stopped() && (i = next_.fetch_add(1)) < natives_.size();) {
        EndsRead read = ReadEndsOf(natives_[i], options_.headSize);
        const std::lock_guard<std::mutex> lock(mutex_);
        done_.emplace_back(i, std::move(read));
        changed_.notify_one();
      }
    } catch (const std::bad_alloc&) {
      quit_.store(true, std::memory_order_relaxed);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (--working_ == 0) changed_.notify_one();
  }

  const std::vector<std::string>& natives_;
  const ManyReadsOptions& options_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> quit_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::size_t, EndsRead>> done_;
  std::size_t working_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace

std::size_t ReadManyEnds(const std::vector<std::string>& natives, const ManyReadsOptions& options,
                         const std::function<void(std::size_t index, EndsRead& read)>& deliver) {
  std::size_t delivered = 0;
  if (natives.empty()) {
    if (options.progress) options.progress(0, 0);
    return 0;
  }
  Flight flight(natives, options);
  flight.Launch();
  std::deque<std::pair<std::size_t, EndsRead>> ready;
  while (flight.Next(ready)) {
    for (auto& [index, read] : ready) {
      deliver(index, read);
      ++delivered;
    }
    ready.clear();
    if (options.progress) options.progress(delivered, natives.size());
  }
  if (options.progress) options.progress(delivered, natives.size());
  return delivered;
}

}  // namespace selvane
