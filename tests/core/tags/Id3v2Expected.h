#pragma once
// The CP932 an ID3v2 text is expected to read as, written in UTF-8.
#include <algorithm>
#include <string>
#include <string_view>

#include "core/platform/Cp932.h"

namespace selvane {

// CP932 of a UTF-8 text, with "\xFF" kept for a character that has no form.
inline std::string Expected(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t j = std::min(utf8.find('\xFF', i), utf8.size());
    out += Cp932(utf8.substr(i, j - i));
    if (j < utf8.size()) out += '\xFF';
    i = j + 1;
  }
  return out;
}

}  // namespace selvane
