// list_floor FILE...
// The least that listing the given files with their tags can do: per file
// open, fstat, pread of the last 128 bytes at size - 128, close, iconv of
// title and artist from CP932 to UTF-8, and the results kept as a list keeps
// them (one record per file, the texts in one growing pool). Its own clock
// runs from just before the converter is opened to just after the last file:
// the process start is left out because the same-layout window's start, to
// which this time is added, already holds one. Prints "internal_ms=...",
// "entries=N" and "text_bytes=N", and exits 0 when every file had a tag.
#define _GNU_SOURCE
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "NowMs.h"
#include "TagText.h"

typedef struct Entry {
  const char* path;
  off_t size;
  size_t title, artist;  // offsets into the pool, each text ends in a NUL
} Entry;

static char* pool;
static size_t poolUsed, poolSize;

// Room for `n` more bytes in the pool; the list grows as a vector does.
static int Reserve(size_t n) {
  if (poolUsed + n <= poolSize) return 1;
  size_t size = poolSize ? poolSize : 1 << 16;
  while (size < poolUsed + n) size *= 2;
  char* grown = realloc(pool, size);
  if (grown == NULL) return 0;
  pool = grown;
  poolSize = size;
  return 1;
}

// Appends the field without its trailing spaces and NULs, as UTF-8, to the
// pool; gives its offset, or (size_t)-1 when it is not CP932.
static size_t Convert(iconv_t cd, const unsigned char* field, size_t width) {
  // A CP932 character of one or two bytes takes at most three in UTF-8.
  if (!Reserve(3 * width + 1)) return (size_t)-1;
  const size_t at = poolUsed;
  char* out = pool + at;
  size_t left = 3 * width;
  if (!ConvertField(cd, field, width, &out, &left)) return (size_t)-1;
  *out++ = '\0';
  poolUsed = (size_t)(out - pool);
  return at;
}

int main(int argc, char** argv) {
  const double start = NowMs();
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) {
    perror("iconv_open");
    return 1;
  }
  Entry* list = malloc(sizeof *list * (size_t)(argc > 1 ? argc - 1 : 1));
  if (list == NULL) return 1;
  size_t count = 0;
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    unsigned char tag[128];
    const int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      ++failed;
      continue;
    }
    struct stat st;
    const int ok = fstat(fd, &st) == 0 && st.st_size >= 128 &&
                   pread(fd, tag, sizeof tag, st.st_size - 128) == (ssize_t)sizeof tag;
    close(fd);
    if (!ok || memcmp(tag, "TAG", 3) != 0) {
      ++failed;
      continue;
    }
    Entry* e = &list[count];
    e->path = argv[i];
    e->size = st.st_size;
    e->title = Convert(cd, tag + 3, 30);
    e->artist = e->title == (size_t)-1 ? (size_t)-1 : Convert(cd, tag + 33, 30);
    if (e->artist == (size_t)-1) {
      ++failed;
      continue;
    }
    ++count;
  }
  const double end = NowMs();
  // The list is still held here, as a program showing it would hold it.
  printf("internal_ms=%.3f\nentries=%zu\ntext_bytes=%zu\n", end - start, count, poolUsed);
  iconv_close(cd);
  return failed == 0 ? 0 : 1;
}
