// slowfs_test SLOWFS: mounts the slow medium over a fresh folder and checks
// that it serves the files' bytes, passes RENAME_NOREPLACE on (EEXIST where
// the kernel believed the name free) and serves no more calls at once than
// its cap. Needs root and /dev/fuse: skips (77) without them, except under
// CI=true.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE 1
#endif
#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE 2
#endif

enum { kCap = 3, kCallers = 12, kFiles = 3, kSize = 200000 };
static char work[] = "/tmp/selvane-slowfs-XXXXXX";
static char src[128], mnt[128];
static pid_t server = -1;
static int failures;

static void Check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
  }
}

static void Path(char* out, const char* dir, const char* name) {
  if (snprintf(out, 128, "%s/%s", dir, name) >= 128) abort();
}

static void Put(const char* dir, const char* name, const unsigned char* bytes, size_t n) {
  char path[128];
  Path(path, dir, name);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, bytes, n) != (ssize_t)n || close(fd) != 0) Check(0, path);
}

static int Same(const char* dir, const char* name, const unsigned char* bytes, size_t n) {
  char path[128];
  Path(path, dir, name);
  static unsigned char got[kSize + 1];
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return 0;
  size_t have = 0;
  for (ssize_t r; have <= n && (r = read(fd, got + have, sizeof got - have)) > 0;)
    have += (size_t)r;
  close(fd);
  return have == n && memcmp(got, bytes, n) == 0;
}

static void* LookUp(void* name) {
  struct stat st;
  char path[128];
  Path(path, mnt, name);
  stat(path, &st);
  return NULL;
}

static int Mounted(void) {
  struct stat inner, outer;
  return stat(mnt, &inner) == 0 && stat(work, &outer) == 0 && inner.st_dev != outer.st_dev;
}

static void Stop(void) {
  if (server > 0) {
    if (umount2(mnt, 0) != 0) umount2(mnt, MNT_DETACH);
    waitpid(server, NULL, 0);
    server = -1;
  }
}

// A test that hangs still leaves no mount behind.
static void GiveUp(int signal) {
  (void)signal;
  umount2(mnt, MNT_DETACH);
  _exit(1);
}

int main(int argc, char** argv) {
  const int ci = getenv("CI") && strcmp(getenv("CI"), "true") == 0;
  if (argc < 2 || geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
    fprintf(stderr, "slowfs test %s: needs root, /dev/fuse and the slowfs program\n",
            ci ? "cannot run" : "skipped");
    return ci ? 1 : 77;
  }
  if (mkdtemp(work) == NULL) return 1;
  Path(src, work, "src");
  Path(mnt, work, "mnt");
  char stats[128];
  Path(stats, work, "stats");
  signal(SIGALRM, GiveUp);
  signal(SIGTERM, GiveUp);
  alarm(40);
  mkdir(src, 0755);
  mkdir(mnt, 0755);
  static unsigned char data[kFiles][kSize];
  for (int f = 0; f < kFiles; ++f) {
    for (int i = 0; i < kSize; ++i) data[f][i] = (unsigned char)(i * 31 + f * 7 + i / 251);
    char name[8] = {'f', (char)('0' + f), 0};
    Put(src, name, data[f], kSize - f * 1000);
  }
  Put(src, "old", (const unsigned char*)"old", 3);
  Put(src, "new", (const unsigned char*)"taken", 5);

  server = fork();
  if (server == 0) {
    execl(argv[1], argv[1], "-f", "--delay-us", "20000", "--max-calls", "3", "--stats", stats, src,
          mnt, (char*)NULL);
    _exit(127);
  }
  for (int i = 0; i < 500 && !Mounted() && waitpid(server, NULL, WNOHANG) == 0; ++i) usleep(10000);
  if (!Mounted()) {
    fprintf(stderr, "FAIL: slowfs did not mount %s\n", mnt);
    server = -1;
    return 1;
  }

  for (int f = 0; f < kFiles; ++f) {
    char name[8] = {'f', (char)('0' + f), 0};
    Check(Same(mnt, name, data[f], kSize - f * 1000), "a file read through it has its bytes");
  }
  // The flags reach the medium: NOREPLACE refuses a taken name, EXCHANGE
  // swaps the two files (a plain rename would overwrite instead).
  char from[128], to[128];
  Path(from, mnt, "old");
  Path(to, mnt, "new");
  const long refused = syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  Check(refused != 0 && errno == EEXIST, "RENAME_NOREPLACE onto a taken name is EEXIST");
  Check(Same(src, "new", (const unsigned char*)"taken", 5) &&
            Same(src, "old", (const unsigned char*)"old", 3),
        "RENAME_NOREPLACE leaves both files as they were");
  Check(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0 &&
            Same(src, "new", (const unsigned char*)"old", 3) &&
            Same(src, "old", (const unsigned char*)"taken", 5),
        "RENAME_EXCHANGE swaps the two files");

  pthread_t callers[kCallers];
  char names[kCallers][8];
  for (int i = 0; i < kCallers; ++i) {
    snprintf(names[i], sizeof names[i], "n%d", i);
    pthread_create(&callers[i], NULL, LookUp, names[i]);
  }
  for (int i = 0; i < kCallers; ++i) pthread_join(callers[i], NULL);
  Stop();

  int calls = 0, peak = 0;
  FILE* in = fopen(stats, "r");
  Check(in && fscanf(in, "calls=%d\npeak=%d", &calls, &peak) == 2, "slowfs wrote its stats");
  if (in) fclose(in);
  fprintf(stderr, "calls=%d peak=%d\n", calls, peak);
  Check(peak == kCap, "with 12 lookups waiting, it serves exactly its cap of 3 at once");

  for (int f = 0; f < kFiles; ++f) {
    char name[8] = {'f', (char)('0' + f), 0}, path[128];
    Path(path, src, name);
    unlink(path);
  }
  Path(from, src, "old");
  Path(to, src, "new");
  unlink(from);
  unlink(to);
  unlink(stats);
  rmdir(src);
  rmdir(mnt);
  rmdir(work);
  return failures ? 1 : 0;
}
