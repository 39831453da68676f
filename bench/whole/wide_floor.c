// wide_floor [--threads N] [--head] FILE...
// wide_floor [--threads N] [--head] --record LOG FILE...
// The floors on a medium that pays for waiting (a share): the least that
// reading the tags of the given files can do there, N requests in flight
// (default 64). Each of N threads takes the next file: open, fstat, with
// --head a pread of the first 10 bytes (where an ID3v2 header lies), pread
// of the last 128 bytes, close, iconv of title and artist from CP932 to
// UTF-8, kept per file. Timed by its own clock from before the first thread
// starts to after the last file; prints "internal_ms=..." and "entries=N".
// With --record it is the floor of a rename by "$T($A).mp3" that can be
// taken back after a crash: it prints "ready", waits for one byte on
// standard input (the trigger), reads every tag as above, writes every old
// and new path to LOG (an existing file, rewritten) with one write and one
// fdatasync, then renames one file after another (renameat2, no replace).
// Exits 0 when every file had a tag (and was renamed).
#define _GNU_SOURCE
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "NowMs.h"
#include "TagText.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE 1
#endif

typedef struct Entry {
  int ok;
  char title[91], artist[91];  // 30 CP932 bytes take at most 90 in UTF-8
} Entry;

static char** paths;
static Entry* entries;
static int count, head;
static atomic_int next, failed;

static int Field(iconv_t cd, const unsigned char* field, char* out) {
  size_t left = 90;
  if (!ConvertField(cd, field, 30, &out, &left)) return 0;
  *out = '\0';
  return 1;
}

static int ReadTag(iconv_t cd, const char* path, Entry* e) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  unsigned char first[10], tag[128];
  const int ok = fstat(fd, &st) == 0 && st.st_size >= 128 &&
                 (!head || pread(fd, first, sizeof first, 0) == (ssize_t)sizeof first) &&
                 pread(fd, tag, sizeof tag, st.st_size - 128) == (ssize_t)sizeof tag;
  close(fd);
  return ok && memcmp(tag, "TAG", 3) == 0 && Field(cd, tag + 3, e->title) &&
         Field(cd, tag + 33, e->artist);
}

static void* Reader(void* unused) {
  (void)unused;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) {
    atomic_fetch_add(&failed, 1);
    return NULL;
  }
  for (int i; (i = atomic_fetch_add(&next, 1)) < count;)
    if (!(entries[i].ok = ReadTag(cd, paths[i], &entries[i]))) atomic_fetch_add(&failed, 1);
  iconv_close(cd);
  return NULL;
}

static int ReadAll(int threads) {
  pthread_t* pool = calloc((size_t)threads, sizeof *pool);
  if (pool == NULL) return 0;
  int started = 0;
  while (started < threads && pthread_create(&pool[started], NULL, Reader, NULL) == 0) ++started;
  for (int t = 0; t < started; ++t) pthread_join(pool[t], NULL);
  free(pool);
  return started > 0;
}

// Every old and new path, NUL-ended, in one block; written with one write
// and one fdatasync, then the moves one after another.
static int RecordAndMove(const char* log) {
  size_t room = 0;
  for (int i = 0; i < count; ++i) room += 2 * strlen(paths[i]) + 2 * 180 + 8;
  char* plan = malloc(room);
  if (plan == NULL) return 0;
  size_t used = 0;
  for (int i = 0; i < count; ++i) {
    if (!entries[i].ok) continue;
    const char* slash = strrchr(paths[i], '/');
    const int dir = slash ? (int)(slash - paths[i] + 1) : 0;
    used += (size_t)sprintf(plan + used, "%s", paths[i]) + 1;
    used += (size_t)sprintf(plan + used, "%.*s%s(%s).mp3", dir, paths[i], entries[i].title,
                            entries[i].artist) +
            1;
  }
  const int fd = open(log, O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0 || write(fd, plan, used) != (ssize_t)used || fdatasync(fd) != 0 || close(fd) != 0) {
    perror(log);
    return 0;
  }
  for (size_t at = 0; at < used;) {
    const char* from = plan + at;
    const char* to = from + strlen(from) + 1;
    at = (size_t)(to + strlen(to) + 1 - plan);
    if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0)
      atomic_fetch_add(&failed, 1);
  }
  free(plan);
  return 1;
}

int main(int argc, char** argv) {
  int first = 1, threads = 64;
  const char* log = NULL;
  for (; first < argc; ++first) {
    if (strcmp(argv[first], "--head") == 0)
      head = 1;
    else if (strcmp(argv[first], "--threads") == 0 && first + 1 < argc)
      threads = atoi(argv[++first]);
    else if (strcmp(argv[first], "--record") == 0 && first + 1 < argc)
      log = argv[++first];
    else
      break;
  }
  paths = argv + first;
  count = argc - first;
  entries = calloc(count > 0 ? (size_t)count : 1, sizeof *entries);
  if (entries == NULL || threads < 1) return 1;
  if (log != NULL) {
    puts("ready");
    fflush(stdout);
    char trigger;
    if (read(0, &trigger, 1) != 1) return 1;
  }
  const double start = NowMs();
  if (!ReadAll(threads) || (log != NULL && !RecordAndMove(log))) return 1;
  printf("internal_ms=%.3f\nentries=%d\n", NowMs() - start, count - atomic_load(&failed));
  return atomic_load(&failed) == 0 ? 0 : 1;
}
