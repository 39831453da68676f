// rename_floor [--head] FILE...
// The least a rename of the listed files by "$T($A).mp3" can do: per file
// open, fstat, pread of the last 128 bytes, close, iconv of title and artist
// from CP932, renameat2 without replacing. With --head it also reads the
// first 1 KiB of each file in the same open (where an ID3v2 tag lies), as a
// rename that takes names from ID3v2 too must. It prints "ready", waits for one
// byte on standard input (the trigger, so that it is timed like a program
// that is already running), does the work, prints "internal_ms=..." and
// exits 0 when every file was renamed.
#define _GNU_SOURCE
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
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

  const int head = argc > 1 && strcmp(argv[1], "--head") == 0;
  const double start = NowMs();
  int failed = 0;
  for (int i = 1 + head; i < argc; ++i) {
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
    if (syscall(SYS_renameat2, AT_FDCWD, path, AT_FDCWD, newPath, RENAME_NOREPLACE) != 0) ++failed;
  }
  printf("internal_ms=%.3f\n", NowMs() - start);
  iconv_close(cd);
  return failed == 0 ? 0 : 1;
}
