// A tag field as the floors read it: without its trailing spaces and NULs,
// converted from CP932 to UTF-8 into `*out` (advanced past what it wrote).
// 1 when the whole field converted.
#ifndef SELVANE_BENCH_WHOLE_TAG_TEXT_H
#define SELVANE_BENCH_WHOLE_TAG_TEXT_H
#include <iconv.h>
#include <stddef.h>

static inline int ConvertField(iconv_t cd, const unsigned char* field, size_t width, char** out,
                               size_t* outLeft) {
  size_t n = width;
  for (size_t i = 0; i < width; ++i)
    if (field[i] == 0) {
      n = i;
      break;
    }
  while (n > 0 && field[n - 1] == ' ') --n;
  char* in = (char*)field;
  iconv(cd, NULL, NULL, NULL, NULL);
  return iconv(cd, &in, &n, out, outLeft) != (size_t)-1 && n == 0;
}

#endif
