// Milliseconds on the monotonic clock: the one time base of the probe and
// the floors it times, so that their figures can be set side by side.
#ifndef SELVANE_BENCH_WHOLE_NOW_MS_H
#define SELVANE_BENCH_WHOLE_NOW_MS_H
#include <time.h>

static inline double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

#endif
