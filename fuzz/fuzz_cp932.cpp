// Code page 932 and UTF-8: each conversion says what iconv says of the
// whole text, a native name that is accepted converts back to the very same
// bytes, a CP932 path that converts comes back as the same name, and the
// character walk never leaves the text or splits a pair.
#include <iconv.h>

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

// What iconv alone makes of the text: the conversions must say the same.
bool ByIconv(bool toNative, std::string_view in, std::string& out) {
  static const iconv_t native = iconv_open("UTF-8", "CP932"), cp932 = iconv_open("CP932", "UTF-8");
  const iconv_t cd = toNative ? native : cp932;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  std::size_t srcLeft = in.size(), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  out.resize(out.size() - dstLeft);
  return ok;
}

void CheckAgainstIconv(std::string_view input) {
  std::string got, want;
  const bool native = Cp932ToNative(input, got);
  FUZZ_CHECK(native == ByIconv(true, input, want));
  if (native) FUZZ_CHECK(got == want);
  const bool cp932 = NativeToCp932(input, got);
  FUZZ_CHECK(cp932 == ByIconv(false, input, want));
  if (cp932) FUZZ_CHECK(got == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckAgainstIconv(input);

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
