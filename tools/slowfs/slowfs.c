// slowfs [--delay-us N] [--max-calls N] [--cache-s S] [--stats FILE] [--threads N]
//        [FUSE options] SOURCE MOUNTPOINT
// A slow medium to measure and test on: passes every call through to the
// folder SOURCE (which may be MOUNTPOINT itself: it is opened before the
// mount covers it), holding each for N microseconds, at most --max-calls of
// them at once (0: no cap), like a file server a round trip away. The
// kernel keeps names and attributes for S seconds (default 0: every lookup
// and status is a call, as on a share that checks on every open). With
// --stats it writes, at unmount, how many calls it served and the most it
// served at once. It serves calls on --threads threads (default 128), so that
// parallel requests overlap as on a share.
#define _GNU_SOURCE
#define FUSE_USE_VERSION 312
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <linux/fuse.h>
#include <semaphore.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

static int source = -1;
static struct timespec delay;
static int capped;
static sem_t slots;
static double cacheSeconds;
static FILE* stats;
static atomic_long calls;
static atomic_int serving, peak;

// Every call takes a slot for its whole time, the delay included: the cap is
// how many calls the server works on at once.
static void Enter(void) {
  if (capped)
    while (sem_wait(&slots) != 0) continue;
  atomic_fetch_add_explicit(&calls, 1, memory_order_relaxed);
  const int now = atomic_fetch_add(&serving, 1) + 1;
  int seen = atomic_load(&peak);
  while (now > seen && !atomic_compare_exchange_weak(&peak, &seen, now)) continue;
  // Woken early by a signal, it sleeps on for what is left.
  struct timespec left = delay;
  if (left.tv_sec || left.tv_nsec)
    while (nanosleep(&left, &left) != 0) continue;
}

static int Leave(int result) {
  atomic_fetch_sub(&serving, 1);
  if (capped) sem_post(&slots);
  return result;
}

// A system call's result as FUSE wants it: the value, or -errno.
static int Sys(long result) { return result < 0 ? -errno : (int)result; }
#define SERVE(call)   \
  do {                \
    Enter();          \
    int r_ = (call);  \
    return Leave(r_); \
  } while (0)

// Paths come as "/a/b"; the calls take them relative to SOURCE.
static const char* At(const char* path) { return path[1] ? path + 1 : "."; }

static int GetAttr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  SERVE(Sys(fi ? fstat((int)fi->fh, st) : fstatat(source, At(path), st, AT_SYMLINK_NOFOLLOW)));
}

static int Access(const char* path, int mask) { SERVE(Sys(faccessat(source, At(path), mask, 0))); }

static int ReadLinkAt(const char* path, char* buf, size_t size) {
  const ssize_t n = readlinkat(source, At(path), buf, size - 1);
  if (n < 0) return -errno;
  buf[n] = '\0';
  return 0;
}
static int ReadLink(const char* path, char* buf, size_t size) {
  SERVE(ReadLinkAt(path, buf, size));
}

static int MakeDir(const char* path, mode_t mode) { SERVE(Sys(mkdirat(source, At(path), mode))); }
static int Unlink(const char* path) { SERVE(Sys(unlinkat(source, At(path), 0))); }
static int RemoveDir(const char* path) { SERVE(Sys(unlinkat(source, At(path), AT_REMOVEDIR))); }

static int SymLink(const char* target, const char* path) {
  SERVE(Sys(symlinkat(target, source, At(path))));
}

static int Link(const char* from, const char* to) {
  SERVE(Sys(linkat(source, At(from), source, At(to), 0)));
}

// The flags (RENAME_NOREPLACE, RENAME_EXCHANGE) go on as they came.
static int Rename(const char* from, const char* to, unsigned int flags) {
  SERVE(Sys(syscall(SYS_renameat2, source, At(from), source, At(to), flags)));
}

static int ChangeMode(const char* path, mode_t mode, struct fuse_file_info* fi) {
  SERVE(Sys(fi ? fchmod((int)fi->fh, mode) : fchmodat(source, At(path), mode, 0)));
}

static int ChangeOwner(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
  SERVE(Sys(fi ? fchown((int)fi->fh, uid, gid)
               : fchownat(source, At(path), uid, gid, AT_SYMLINK_NOFOLLOW)));
}

static int TruncateAt(const char* path, off_t size) {
  const int fd = openat(source, At(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const int result = Sys(ftruncate(fd, size));
  close(fd);
  return result;
}
static int Truncate(const char* path, off_t size, struct fuse_file_info* fi) {
  SERVE(fi ? Sys(ftruncate((int)fi->fh, size)) : TruncateAt(path, size));
}

static int SetTimes(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
  SERVE(Sys(fi ? futimens((int)fi->fh, tv) : utimensat(source, At(path), tv, AT_SYMLINK_NOFOLLOW)));
}

static int OpenAt(const char* path, int flags, mode_t mode, struct fuse_file_info* fi) {
  const int fd = openat(source, At(path), flags | O_CLOEXEC, mode);
  if (fd < 0) return -errno;
  fi->fh = (uint64_t)fd;
  return 0;
}
static int Open(const char* path, struct fuse_file_info* fi) {
  SERVE(OpenAt(path, fi->flags, 0, fi));
}
static int Create(const char* path, mode_t mode, struct fuse_file_info* fi) {
  SERVE(OpenAt(path, fi->flags | O_CREAT, mode, fi));
}

static int Read(const char* path, char* buf, size_t size, off_t at, struct fuse_file_info* fi) {
  (void)path;
  SERVE(Sys(pread((int)fi->fh, buf, size, at)));
}

static int Write(const char* path, const char* buf, size_t size, off_t at,
                 struct fuse_file_info* fi) {
  (void)path;
  SERVE(Sys(pwrite((int)fi->fh, buf, size, at)));
}

static int StatFs(const char* path, struct statvfs* st) {
  (void)path;
  SERVE(Sys(fstatvfs(source, st)));
}

// Called at every close of a descriptor; the file stays open until release.
static int Flush(const char* path, struct fuse_file_info* fi) {
  (void)path;
  SERVE(Sys(close(dup((int)fi->fh))));
}

static int Release(const char* path, struct fuse_file_info* fi) {
  (void)path;
  SERVE(Sys(close((int)fi->fh)));
}

static int FileSync(const char* path, int dataOnly, struct fuse_file_info* fi) {
  (void)path;
  SERVE(Sys(dataOnly ? fdatasync((int)fi->fh) : fsync((int)fi->fh)));
}

// An open folder: where the listing stands, and the entry read but not yet
// taken when the kernel's buffer was full.
typedef struct Folder {
  DIR* dir;
  struct dirent* pending;
  off_t at;
} Folder;

static int OpenFolder(const char* path, struct fuse_file_info* fi) {
  const int fd = openat(source, At(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  Folder* f = calloc(1, sizeof *f);
  if (f == NULL || (f->dir = fdopendir(fd)) == NULL) {
    const int error = f ? errno : ENOMEM;
    free(f);
    close(fd);
    return -error;
  }
  fi->fh = (uint64_t)(uintptr_t)f;
  return 0;
}
static int OpenDir(const char* path, struct fuse_file_info* fi) { SERVE(OpenFolder(path, fi)); }

// One kernel request, one call: a long folder is listed in several calls, as
// a share lists it in several round trips.
static int List(Folder* f, void* buf, fuse_fill_dir_t fill, off_t at) {
  if (at != f->at) {
    seekdir(f->dir, at);
    f->pending = NULL;
    f->at = at;
  }
  for (;;) {
    if (f->pending == NULL) {
      errno = 0;
      if ((f->pending = readdir(f->dir)) == NULL) return -errno;
    }
    struct stat st = {.st_ino = f->pending->d_ino, .st_mode = (mode_t)DTTOIF(f->pending->d_type)};
    const off_t next = telldir(f->dir);
    if (fill(buf, f->pending->d_name, &st, next, 0)) return 0;
    f->pending = NULL;
    f->at = next;
  }
}
static int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t at,
                   struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)path;
  (void)flags;
  SERVE(List((Folder*)(uintptr_t)fi->fh, buf, fill, at));
}

static int ReleaseDir(const char* path, struct fuse_file_info* fi) {
  (void)path;
  Folder* f = (Folder*)(uintptr_t)fi->fh;
  Enter();
  const int result = Sys(closedir(f->dir));
  free(f);
  return Leave(result);
}

static int SyncDir(const char* path, int dataOnly, struct fuse_file_info* fi) {
  (void)path;
  const int fd = dirfd(((Folder*)(uintptr_t)fi->fh)->dir);
  SERVE(Sys(dataOnly ? fdatasync(fd) : fsync(fd)));
}

// libfuse 3.14 never passes FUSE_PARALLEL_DIROPS on to the kernel, which
// then looks up one name of a folder at a time: no share works so. Its
// answer to INIT, the first message it writes after Init, gets the flag here.
static atomic_int initAnswerDue;

ssize_t writev(int fd, const struct iovec* iov, int count) {
  if (count >= 2 && iov[0].iov_len == sizeof(struct fuse_out_header) && iov[1].iov_len >= 24 &&
      atomic_exchange(&initAnswerDue, 0)) {
    const struct fuse_out_header* head = iov[0].iov_base;
    struct fuse_init_out* answer = iov[1].iov_base;
    if (head->error == 0) answer->flags |= FUSE_PARALLEL_DIROPS;
  }
  return syscall(SYS_writev, fd, iov, count);
}

static void* Init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
  // The file's own inode numbers, so that a program comparing them sees the
  // same file under two names; an unlinked open file is removed, never kept
  // under a hidden name in the folder.
  cfg->use_ino = 1;
  cfg->hard_remove = 1;
  cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = cacheSeconds;
  // Listings give names only; a status is a call of its own. Lookups in one
  // folder overlap, as they do on a share.
  conn->want &= ~(unsigned)(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
  if (conn->capable & FUSE_CAP_PARALLEL_DIROPS) {
    conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    atomic_store(&initAnswerDue, 1);
  }
  return NULL;
}

static void Destroy(void* data) {
  (void)data;
  if (stats == NULL) return;
  fprintf(stats, "calls=%ld\npeak=%d\n", atomic_load(&calls), atomic_load(&peak));
  fclose(stats);
}

static const struct fuse_operations operations = {
    .getattr = GetAttr,
    .readlink = ReadLink,
    .mkdir = MakeDir,
    .unlink = Unlink,
    .rmdir = RemoveDir,
    .symlink = SymLink,
    .rename = Rename,
    .link = Link,
    .chmod = ChangeMode,
    .chown = ChangeOwner,
    .truncate = Truncate,
    .open = Open,
    .read = Read,
    .write = Write,
    .statfs = StatFs,
    .flush = Flush,
    .release = Release,
    .fsync = FileSync,
    .opendir = OpenDir,
    .readdir = ReadDir,
    .releasedir = ReleaseDir,
    .fsyncdir = SyncDir,
    .init = Init,
    .destroy = Destroy,
    .access = Access,
    .create = Create,
    .utimens = SetTimes,
};

// Mounts, serves until unmounted (or a signal), unmounts.
static int Serve(int argc, char** argv, unsigned threads) {
  struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
  struct fuse_cmdline_opts opts;
  if (fuse_parse_cmdline(&args, &opts) != 0 || opts.mountpoint == NULL) return 2;
  struct fuse* fuse = fuse_new(&args, &operations, sizeof operations, NULL);
  if (fuse == NULL) return 1;
  int status = 1;
  if (fuse_mount(fuse, opts.mountpoint) == 0) {
    struct fuse_session* session = fuse_get_session(fuse);
    struct fuse_loop_config* loop = fuse_loop_cfg_create();
    if (loop && fuse_daemonize(opts.foreground) == 0 && fuse_set_signal_handlers(session) == 0) {
      // Idle threads stay: a thread started and ended per burst of calls
      // would cost more than the calls at no delay.
      fuse_loop_cfg_set_max_threads(loop, threads);
      fuse_loop_cfg_set_idle_threads(loop, threads);
      status = opts.singlethread ? fuse_loop(fuse) : fuse_loop_mt(fuse, loop);
      fuse_remove_signal_handlers(session);
    }
    if (loop) fuse_loop_cfg_destroy(loop);
    fuse_unmount(fuse);
  }
  fuse_destroy(fuse);
  free(opts.mountpoint);
  fuse_opt_free_args(&args);
  return status ? 1 : 0;
}

static int Usage(void) {
  fprintf(stderr,
          "usage: slowfs [--delay-us N] [--max-calls N] [--cache-s S] [--stats FILE] "
          "[--threads N] [FUSE options] SOURCE MOUNTPOINT\n");
  return 2;
}

static int Number(const char* text, long* out) {
  char* end;
  errno = 0;
  *out = strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && *out >= 0;
}

int main(int argc, char** argv) {
  // FUSE's own options pass on; ours and SOURCE do not.
  char** rest = calloc((size_t)argc + 2, sizeof *rest);
  if (rest == NULL) return 1;
  int n = 0;
  rest[n++] = argv[0];
  rest[n++] = "-ofsname=slowfs,subtype=slowfs";
  long delayUs = 0, maxCalls = 0, threads = 128;
  const char* sourcePath = NULL;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const int hasValue = i + 1 < argc;
    if (strcmp(a, "--delay-us") == 0 && hasValue) {
      if (!Number(argv[++i], &delayUs)) return Usage();
    } else if (strcmp(a, "--max-calls") == 0 && hasValue) {
      if (!Number(argv[++i], &maxCalls) || maxCalls > 1 << 20) return Usage();
    } else if (strcmp(a, "--threads") == 0 && hasValue) {
      if (!Number(argv[++i], &threads) || threads < 1 || threads > 100000) return Usage();
    } else if (strcmp(a, "--cache-s") == 0 && hasValue) {
      cacheSeconds = atof(argv[++i]);
    } else if (strcmp(a, "--stats") == 0 && hasValue) {
      // Opened now: the daemon leaves the working folder before it serves.
      if ((stats = fopen(argv[++i], "we")) == NULL) {
        perror(argv[i]);
        return 1;
      }
    } else if (strcmp(a, "-o") == 0 && hasValue) {
      rest[n++] = argv[i++];
      rest[n++] = argv[i];
    } else if (a[0] != '-' && sourcePath == NULL) {
      sourcePath = a;
    } else {
      rest[n++] = argv[i];
    }
  }
  if (sourcePath == NULL || n < 3 || rest[n - 1][0] == '-') return Usage();
  source = open(sourcePath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (source < 0) {
    perror(sourcePath);
    return 1;
  }
  delay.tv_sec = delayUs / 1000000;
  delay.tv_nsec = delayUs % 1000000 * 1000;
  capped = maxCalls > 0;
  if (capped) sem_init(&slots, 0, (unsigned)maxCalls);
  // Modes arrive with the caller's umask applied; ours must not take more.
  umask(0);
  return Serve(n, rest, (unsigned)threads);
}
