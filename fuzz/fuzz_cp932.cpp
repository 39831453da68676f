// Code page 932 and UTF-8: a native name that is accepted converts back to
// the very same bytes, a CP932 path that converts comes back as the same
// name, and the character walk never leaves the text or splits a pair.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform/Cp932.h"
#include "fuzz/FuzzCheck.h"

using namespace selvane;

namespace {

void CheckBoundary(std::string_view s, std::size_t limit) {
  const std::size_t n = CharBoundary(s, limit);
  FUZZ_CHECK(n <= s.size() && (n <= limit || limit >= s.size()));
  if (limit >= s.size()) FUZZ_CHECK(n == s.size());
  // n is reached by walking whole characters, and the next one would pass the limit.
  std::size_t at = 0;
  while (at < n) {
    const std::size_t length = CharLength(s, at);
    FUZZ_CHECK(length == 1 || length == 2);
    FUZZ_CHECK(at + length <= s.size());
    at += length;
  }
  FUZZ_CHECK(at == n);
  if (n < s.size()) FUZZ_CHECK(n + CharLength(s, n) > limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The input as a name on disk (UTF-8).
  std::string cp932, native;
  if (NativePathToCp932(input, cp932)) {
    FUZZ_CHECK(Cp932PathToNative(cp932, native));
    FUZZ_CHECK(native == input);
  }

  // The input as a CP932 path (a tag, a typed rule): the name it gives is
  // one the program can list again, as the same name.
  if (Cp932PathToNative(input, native)) {
    std::string again, back;
    FUZZ_CHECK(native.find('\\') == std::string::npos);
    FUZZ_CHECK(NativePathToCp932(native, again));
    FUZZ_CHECK(Cp932PathToNative(again, back) && back == native);
  }

  const std::size_t limits[] = {
      0, 1, size / 2, size > 0 ? size - 1 : 0, size, size + 1, size > 0 ? std::size_t{data[0]} : 0};
  for (const std::size_t limit : limits) CheckBoundary(input, limit);
  return 0;
}
