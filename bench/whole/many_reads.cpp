// many_reads [--files N] [--delay-us N] [--rounds R] [--head] [--one-by-one N] [--local]
// The reads many at a time against the wide floor on the slow medium, in
// one run (as root, with /dev/fuse): N files of 4 KiB and a trailer (default
// 20000) are served by slowfs with each call held N µs (default 1000); the
// rounds alternate, in turn, wide_floor (64 threads: open, fstat, pread,
// close, iconv; its own clock), ReadManyEnds on threads, and the same reads
// on io_uring (one ring, 64 files in flight). With --one-by-one N the first
// N files are also read one after another as FileOps reads them (today's
// road), and the figure is scaled to the whole count. --local reads the
// files where they lie (/tmp), with no slow medium.
#include <fcntl.h>
#include <liburing.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform/FileOps.h"
#include "core/platform/ManyReads.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Each file on its way through the ring: the name opened as a path, then
// opened again for reading into a fixed slot with its status taken, then
// its ends read and the slot closed.
struct Slot {
  std::size_t index = 0;
  int path = -1;
  int stage = 0;
  char again[32] = {};
  struct statx st {};
  unsigned char head[10] = {}, tail[128] = {};
};

struct Ring {
  io_uring ring{};
  std::vector<Slot> slots;
  std::size_t next = 0, done = 0, failed = 0;
  bool head = false, local = false;
};

io_uring_sqe* Sqe(Ring& r) {
  io_uring_sqe* sqe = io_uring_get_sqe(&r.ring);
  if (sqe == nullptr) {
    io_uring_submit(&r.ring);
    sqe = io_uring_get_sqe(&r.ring);
  }
  return sqe;
}

void Start(Ring& r, std::size_t s, const std::vector<std::string>& paths) {
  if (r.next >= paths.size()) return;
  Slot& slot = r.slots[s];
  slot.index = r.next++;
  slot.stage = 0;
  io_uring_sqe* sqe = Sqe(r);
  io_uring_prep_openat(sqe, AT_FDCWD, paths[slot.index].c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC,
                       0);
  io_uring_sqe_set_data64(sqe, s << 2);
}

void Finish(Ring& r, std::size_t s, bool ok, const std::vector<std::string>& paths) {
  Slot& slot = r.slots[s];
  if (slot.path >= 0) ::close(slot.path);
  slot.path = -1;
  ++r.done;
  if (!ok) ++r.failed;
  Start(r, s, paths);
}

// One completion: moves its file to the next stage.
void Step(Ring& r, io_uring_cqe* cqe, const std::vector<std::string>& paths) {
  const std::size_t s = io_uring_cqe_get_data64(cqe) >> 2;
  const unsigned kind = io_uring_cqe_get_data64(cqe) & 3;
  Slot& slot = r.slots[s];
  if (kind == 0) {  // the O_PATH open
    if (cqe->res < 0) return Finish(r, s, false, paths);
    slot.path = cqe->res;
    struct statx type {};
    if (::statx(slot.path, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &type) != 0 ||
        !S_ISREG(type.stx_mode))
      return Finish(r, s, false, paths);
    std::snprintf(slot.again, sizeof slot.again, "/proc/self/fd/%d", slot.path);
    io_uring_sqe* open = Sqe(r);
    io_uring_prep_openat_direct(open, AT_FDCWD, slot.again, O_RDONLY | O_NONBLOCK | O_NOCTTY, 0,
                                static_cast<unsigned>(s));
    open->flags |= IOSQE_IO_LINK | IOSQE_ASYNC;
    io_uring_sqe_set_data64(open, (s << 2) | 3);
    io_uring_sqe* stat = Sqe(r);
    io_uring_prep_statx(stat, AT_FDCWD, slot.again, 0, STATX_BASIC_STATS, &slot.st);
    io_uring_sqe_set_data64(stat, (s << 2) | 1);
  } else if (kind == 1) {  // opened and looked at
    if (cqe->res < 0 || slot.st.stx_size < 128) {
      io_uring_sqe* close = Sqe(r);
      io_uring_prep_close_direct(close, static_cast<unsigned>(s));
      io_uring_sqe_set_data64(close, (s << 2) | 3);
      return Finish(r, s, false, paths);
    }
    if (r.head) {
      io_uring_sqe* head = Sqe(r);
      io_uring_prep_read(head, static_cast<int>(s), slot.head, sizeof slot.head, 0);
      head->flags |= IOSQE_FIXED_FILE | IOSQE_IO_LINK | IOSQE_ASYNC;
      io_uring_sqe_set_data64(head, (s << 2) | 3);
    }
    io_uring_sqe* read = Sqe(r);
    io_uring_prep_read(read, static_cast<int>(s), slot.tail, sizeof slot.tail,
                       slot.st.stx_size - 128);
    read->flags |= IOSQE_FIXED_FILE | IOSQE_IO_LINK | IOSQE_ASYNC;
    io_uring_sqe_set_data64(read, (s << 2) | 3);
    io_uring_sqe* close = Sqe(r);
    io_uring_prep_close_direct(close, static_cast<unsigned>(s));
    io_uring_sqe_set_data64(close, (s << 2) | 2);
  } else if (kind == 2) {  // closed: the file is done
    Finish(r, s, cqe->res >= 0 && std::memcmp(slot.tail, "TAG", 3) == 0, paths);
  }
}

// The tails (and heads) of `paths` through one ring; -1 when the kernel
// gives no ring.
double UringMs(const std::vector<std::string>& paths, bool head, std::size_t& failed) {
  const double start = NowMs();
  Ring r;
  r.head = head;
  r.slots.resize(64);
  if (io_uring_queue_init(512, &r.ring, 0) != 0) return -1;
  // The kernel's own workers run each call that waits; by default it gives
  // a ring four per CPU of them, fewer than the files in flight.
  unsigned workers[2] = {64, 64};
  if (io_uring_register_files_sparse(&r.ring, 64) != 0 ||
      io_uring_register_iowq_max_workers(&r.ring, workers) < 0) {
    io_uring_queue_exit(&r.ring);
    return -1;
  }
  for (std::size_t s = 0; s < r.slots.size(); ++s) Start(r, s, paths);
  while (r.done < paths.size()) {
    io_uring_submit_and_wait(&r.ring, 1);
    io_uring_cqe* cqe = nullptr;
    unsigned at = 0, seen = 0;
    io_uring_for_each_cqe(&r.ring, at, cqe) {
      Step(r, cqe, paths);
      ++seen;
    }
    io_uring_cq_advance(&r.ring, seen);
  }
  io_uring_queue_exit(&r.ring);
  failed = r.failed;
  return NowMs() - start;
}

double ThreadsMs(const std::vector<std::string>& paths, bool head, std::size_t& failed) {
  const double start = NowMs();
  selvane::ManyReadsOptions options;
  options.headSize = head ? 10 : 0;
  failed = 0;
  selvane::ReadManyEnds(paths, options, [&failed](std::size_t, selvane::EndsRead& read) {
    if (!read.result || std::memcmp(read.tail, "TAG", 3) != 0) ++failed;
  });
  return NowMs() - start;
}

// Today's road: FileOps on each file, one after another.
double OneByOneMs(const std::vector<std::string>& paths, std::size_t count) {
  const double start = NowMs();
  for (std::size_t i = 0; i < count && i < paths.size(); ++i) {
    unsigned char tail[128];
    std::int64_t length = 0;
    selvane::FileStatus status;
    (void)selvane::SystemFileOps().ReadTailAndStatus(paths[i].c_str(), tail, length, status);
  }
  return NowMs() - start;
}

// The floor as its own process; its own clock.
double FloorMs(const std::vector<std::string>& paths, bool head) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], 1);
    std::vector<char*> argv{const_cast<char*>(WIDE_FLOOR)};
    if (head) argv.push_back(const_cast<char*>("--head"));
    for (const std::string& p : paths) argv.push_back(const_cast<char*>(p.c_str()));
    argv.push_back(nullptr);
    ::execv(WIDE_FLOOR, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  const std::size_t at = text.find("internal_ms=");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos) return -1;
  return std::atof(text.c_str() + at + 12);
}

bool Mounted(const std::string& mount, const std::string& source) {
  struct stat inner {
  }, outer{};
  return ::stat(mount.c_str(), &inner) == 0 && ::stat(source.c_str(), &outer) == 0 &&
         inner.st_dev != outer.st_dev;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t files = 20000, oneByOne = 0;
  int delayUs = 1000, rounds = 5;
  bool head = false, local = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--head")
      head = true;
    else if (a == "--local")
      local = true;
    else if (a == "--files" && i + 1 < argc)
      files = std::strtoul(argv[++i], nullptr, 10);
    else if (a == "--delay-us" && i + 1 < argc)
      delayUs = std::atoi(argv[++i]);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::atoi(argv[++i]);
    else if (a == "--one-by-one" && i + 1 < argc)
      oneByOne = std::strtoul(argv[++i], nullptr, 10);
    else
      return std::fprintf(stderr, "unknown argument %s\n", argv[i]), 2;
  }
  char pattern[] = "/tmp/selvane-many-XXXXXX";
  if (::geteuid() != 0 || ::mkdtemp(pattern) == nullptr)
    return std::fprintf(stderr, "needs root and /tmp\n"), 1;
  const std::string work = pattern, source = work + "/src", mount = work + "/mnt";
  ::mkdir(source.c_str(), 0755);
  ::mkdir(mount.c_str(), 0755);
  std::string bytes = "ID3\x03" + std::string(4092, 'a') + "TAG" + std::string(125, ' ');
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files; ++i) {
    const std::string name = "/" + std::to_string(100000 + i) + " track.mp3";
    if (FILE* f = std::fopen((source + name).c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    paths.push_back((local ? source : mount) + name);
  }
  const pid_t server = local ? -1 : ::fork();
  if (server == 0) {
    const std::string delay = std::to_string(delayUs);
    ::execl(SLOWFS, SLOWFS, "-f", "--delay-us", delay.c_str(), source.c_str(), mount.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 500 && !local && !Mounted(mount, source); ++i) ::usleep(10000);
  std::vector<double> floor, threads, uring;
  std::size_t failedThreads = 0, failedUring = 0;
  for (int round = 0; round < rounds && (local || Mounted(mount, source)); ++round) {
    for (int job = 0; job < 3; ++job) {
      switch ((job + round) % 3) {
        case 0:
          floor.push_back(FloorMs(paths, head));
          break;
        case 1:
          threads.push_back(ThreadsMs(paths, head, failedThreads));
          break;
        default:
          uring.push_back(UringMs(paths, head, failedUring));
          break;
      }
    }
    std::printf("round %d: floor %.0f ms, threads %.0f ms, io_uring %.0f ms\n", round, floor.back(),
                threads.back(), uring.back());
    std::fflush(stdout);
  }
  const double one = oneByOne > 0 ? OneByOneMs(paths, oneByOne) * static_cast<double>(files) /
                                        static_cast<double>(std::min(oneByOne, files))
                                  : 0;
  if (!local) {
    ::umount2(mount.c_str(), 0);
    ::waitpid(server, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  std::printf("%zu files, %s%s: medians of %zu rounds\n", files,
              local ? "local" : (std::to_string(delayUs) + " us per call").c_str(),
              head ? ", heads too" : "", floor.size());
  std::printf("  wide floor (64 threads)   %8.0f ms\n", Median(floor));
  std::printf("  ReadManyEnds (threads)    %8.0f ms  %.2fx the floor  (%zu failed)\n",
              Median(threads), Median(threads) / Median(floor), failedThreads);
  std::printf("  io_uring (64 in flight)   %8.0f ms  %.2fx the floor  (%zu failed)\n",
              Median(uring), Median(uring) / Median(floor), failedUring);
  if (one > 0)
    std::printf("  one by one (FileOps)      %8.0f ms  (from %zu files)  %.1fx the threads\n", one,
                oneByOne, one / Median(threads));
  return 0;
}
