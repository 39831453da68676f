// rename_floor [--head] [--record LOG] FILE...
// The least a rename of the listed files by "$T($A).mp3" can do: per file
// open, fstat, pread of the last 128 bytes, close, iconv of title and artist
// from CP932, renameat2 without replacing. With --head it also reads the
// first 1 KiB of each file in the same open (where an ID3v2 tag lies), as a
// rename that takes names from ID3v2 too must. With --record it is the least
// a rename that can be taken back after a crash can do: it names every file
// first, writes every old and new path to LOG (an existing file, rewritten)
// with one write and one fdatasync, and only then renames. It prints "ready",
// waits for one byte on standard input (the trigger, so that it is timed like
// a program that is already running), does the work, prints
// "internal_ms=..." and exits 0 when every file was renamed.
#define _GNU_SOURCE
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "NowMs.h"
#include "TagText.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE 1
#endif

int main(int argc, char** argv) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) {
    perror("iconv_open");
    return 1;
  }
  puts("ready");
  fflush(stdout);
  char trigger;
  if (read(0, &trigger, 1) != 1) return 1;

  int first = 1, head = 0;
  const char* log = NULL;
  for (; first < argc; ++first) {
    if (strcmp(argv[first], "--head") == 0)
      head = 1;
    else if (strcmp(argv[first], "--record") == 0 && first + 1 < argc)
      log = argv[++first];
    else
      break;
  }
  // The planned moves, old and new path each NUL-ended, one after another.
  char* plan = NULL;
  size_t planned = 0, room = 0;
  const double start = NowMs();
  int failed = 0;
  for (int i = first; i < argc; ++i) {
    const char* path = argv[i];
    unsigned char tag[128];
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      ++failed;
      continue;
    }
    struct stat st;
    unsigned char first[1024];
    const int ok = fstat(fd, &st) == 0 && st.st_size >= 128 &&
                   (!head || pread(fd, first, sizeof first, 0) >= 10) &&
                   pread(fd, tag, sizeof tag, st.st_size - 128) == (ssize_t)sizeof tag;
    close(fd);
    if (!ok || memcmp(tag, "TAG", 3) != 0) {
      ++failed;
      continue;
    }
    char newPath[4096];
    const char* slash = strrchr(path, '/');
    const size_t dir = slash ? (size_t)(slash - path + 1) : 0;
    memcpy(newPath, path, dir);
    char* out = newPath + dir;
    size_t left = sizeof newPath - dir - 16;
    if (!ConvertField(cd, tag + 3, 30, &out, &left)) {
      ++failed;
      continue;
    }
    *out++ = '(';
    --left;
    if (!ConvertField(cd, tag + 33, 30, &out, &left)) {
      ++failed;
      continue;
    }
    memcpy(out, ").mp3", 6);
    if (log == NULL) {
      if (syscall(SYS_renameat2, AT_FDCWD, path, AT_FDCWD, newPath, RENAME_NOREPLACE) != 0)
        ++failed;
      continue;
    }
    const size_t a = strlen(path) + 1, b = strlen(newPath) + 1;
    if (planned + a + b > room) {
      room = 2 * (planned + a + b) + 65536;
      if ((plan = realloc(plan, room)) == NULL) return 1;
    }
    memcpy(plan + planned, path, a);
    memcpy(plan + planned + a, newPath, b);
    planned += a + b;
  }
  if (log != NULL) {
    const int fd = open(log, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || write(fd, plan, planned) != (ssize_t)planned || fdatasync(fd) != 0 ||
        close(fd) != 0) {
      perror(log);
      return 1;
    }
    for (size_t at = 0; at < planned;) {
      const char* from = plan + at;
      const char* to = from + strlen(from) + 1;
      at = (size_t)(to + strlen(to) + 1 - plan);
      if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) ++failed;
    }
    free(plan);
  }
  printf("internal_ms=%.3f\n", NowMs() - start);
  iconv_close(cd);
  return failed == 0 ? 0 : 1;
}
