#pragma once
// An environment variable a test sets for a while (a private trash, lock
// or state folder), so that nothing of the user's own is touched.
#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace selvane {

// Sets an environment variable (or removes it, given nullptr) for the
// guard's life.
class EnvironmentGuard {
 public:
  EnvironmentGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~EnvironmentGuard() { saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_); }
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

}  // namespace selvane
