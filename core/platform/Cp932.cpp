#include "core/platform/Cp932.h"

#include <iconv.h>

#include <cerrno>

namespace selvane {
namespace {

// iconv_open is costly; each direction keeps one descriptor per thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Both ends are stateless encodings: a conversion needs no reset before
  // it and no flush after it, only a reset after a failure left it midway.
  // (Each call into iconv costs more than a short path's conversion.)
  // `out` gets `ascii` as it is, then `in` converted.
  bool Run(std::string_view ascii, std::string_view in, std::string& out) {
    out.clear();
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    out.resize(ascii.size() + in.size() * 3 + 4);
    ascii.copy(out.data(), ascii.size());
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data() + ascii.size();
    std::size_t dstLeft = out.size() - ascii.size();
    while (srcLeft > 0) {
      if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        if (errno != E2BIG) {  // EILSEQ / EINVAL: no counterpart
          iconv(cd_, nullptr, nullptr, nullptr, nullptr);
          return false;
        }
        const std::size_t used = static_cast<std::size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
      }
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return true;
  }

 private:
  iconv_t cd_;
};

// How many bytes the text begins with below 0x80: ASCII characters in
// either encoding, since a CP932 lead byte is above 0x7F.
std::size_t AsciiPrefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

bool IsAscii(std::string_view s) { return AsciiPrefix(s) == s.size(); }

}  // namespace

std::size_t CharBoundary(std::string_view s, std::size_t limit) {
  if (limit >= s.size()) return s.size();
  std::size_t i = 0;
  while (i < limit) {
    const std::size_t n = CharLength(s, i);
    if (i + n > limit) break;
    i += n;
  }
  return i;
}

// ASCII is the same in CP932 and UTF-8 (CP932 maps 0x5C and 0x7E to
// U+005C and U+007E), so iconv sees only what follows the ASCII a text
// begins with (a path's folders, often), and none of an ASCII text.
bool Cp932ToNative(std::string_view cp932, std::string& out) {
  const std::size_t ascii = AsciiPrefix(cp932);
  if (ascii == cp932.size()) {
    out.assign(cp932);
    return true;
  }
  thread_local Converter toNative("UTF-8", "CP932");
  return toNative.Run(cp932.substr(0, ascii), cp932.substr(ascii), out);
}

bool NativeToCp932(std::string_view native, std::string& out) {
  const std::size_t ascii = AsciiPrefix(native);
  if (ascii == native.size()) {
    out.assign(native);
    return true;
  }
  thread_local Converter toCp932("CP932", "UTF-8");
  return toCp932.Run(native.substr(0, ascii), native.substr(ascii), out);
}

bool Cp932PathToNative(std::string_view cp932, std::string& out) {
  if (!Cp932ToNative(cp932, out)) return false;
  // After conversion every '\' is a real backslash (a trail byte 0x5C has
  // become part of a multi-byte UTF-8 sequence), so it is a separator.
  for (char& c : out)
    if (c == '\\') c = '/';
  return true;
}

// Some characters have a CP932 form that reads back as another one: "¥"
// becomes 0x5C, a separator; "‾" becomes "~"; "〜" comes back as "～". A
// path holding one would name another file, so only a path that converts
// back to the very same bytes counts as having a CP932 form.
bool NativePathToCp932(std::string_view native, std::string& out) {
  if (native.find('\\') != std::string_view::npos) return false;
  if (!NativeToCp932(native, out)) return false;
  if (IsAscii(native)) return true;
  std::string back;
  return Cp932ToNative(out, back) && back == native;
}

std::string Cp932(std::string_view utf8Literal) {
  std::string out;
  if (!NativeToCp932(utf8Literal, out)) out.assign(utf8Literal);
  return out;
}

}  // namespace selvane
