#pragma once
// An invariant of a fuzz target: a broken one prints what and where, then
// aborts, which the fuzzer reports as a finding with the input that did it.
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : FuzzFailed(#condition, __FILE__, __LINE__))
