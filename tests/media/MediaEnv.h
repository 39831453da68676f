#pragma once
// What media_bench.sh tells the media tests: where each medium is mounted,
// the replug script, a work folder.
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace selvane {

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr)
    throw std::runtime_error(std::string(name) + " is not set: run media_bench.sh");
  return value;
}

}  // namespace selvane
