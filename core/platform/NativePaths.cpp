#include "core/platform/NativePaths.h"

#include <cstring>

#include "core/platform/Cp932.h"

namespace selvane {

std::string_view NativePaths::Add(std::string_view cp932) {
  if (!Cp932PathToNative(cp932, made_) || made_.empty()) return {};
  char* kept = static_cast<char*>(arena_.allocate(made_.size() + 1, 1));
  std::memcpy(kept, made_.c_str(), made_.size() + 1);
  return std::string_view(kept, made_.size());
}

}  // namespace selvane
