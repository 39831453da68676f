#include "core/platform/Cp932.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace selvane {
namespace {

// One direction of iconv.
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

  // What iconv makes of one character's bytes alone: its form (one to three
  // bytes, the first in the lowest) in `out`, or why not.
  enum class Answer { Unknown, Character, Incomplete, Refused };
  Answer Ask(const unsigned char* in, std::size_t size, std::uint32_t& out, std::size_t& outSize) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return Answer::Unknown;
    char from[4] = {}, to[8] = {};
    std::memcpy(from, in, size);
    char* src = from;
    char* dst = to;
    std::size_t srcLeft = size, dstLeft = sizeof to;
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
      const int error = errno;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      return error == EINVAL   ? Answer::Incomplete
             : error == EILSEQ ? Answer::Refused
                               : Answer::Unknown;
    }
    outSize = sizeof to - dstLeft;
    if (srcLeft != 0 || outSize == 0 || outSize > 3) return Answer::Unknown;
    out = 0;
    for (std::size_t i = outSize; i-- > 0;) out = out << 8 | static_cast<unsigned char>(to[i]);
    return Answer::Character;
  }

 private:
  iconv_t cd_;
};

// iconv's answer for each character of one direction, asked once per
// process: a conversion whose every character has been met before needs no
// call into iconv, which costs more than a short name's conversion. An
// entry is 0 until asked, then its kind (low two bits), the length of its
// form (next two) and the form itself (the upper three bytes); threads that
// ask at once store the same answer. (Zero from the start, the tables take
// memory only where characters are met.)
enum KnownKind : std::uint32_t { Unasked = 0, Character = 1, Lead = 2, Refused = 3 };

template <std::size_t Size>
class KnownCharacters {
 public:
  // The entry at `index` for the bytes `in` (one character, or a byte that
  // may start one), asked of `converter` the first time.
  std::uint32_t At(std::size_t index, const unsigned char* in, std::size_t size,
                   Converter& converter) {
    std::uint32_t entry = entries_[index].load(std::memory_order_relaxed);
    if (entry != Unasked) return entry;
    std::uint32_t form = 0;
    std::size_t formSize = 0;
    switch (converter.Ask(in, size, form, formSize)) {
      case Converter::Answer::Character:
        entry = Character | static_cast<std::uint32_t>(formSize) << 2 | form << 8;
        break;
      case Converter::Answer::Incomplete:
        entry = Lead;
        break;
      case Converter::Answer::Refused:
        entry = Refused;
        break;
      case Converter::Answer::Unknown:
        return Unasked;  // iconv is asked again the whole way
    }
    entries_[index].store(entry, std::memory_order_relaxed);
    return entry;
  }

 private:
  std::atomic<std::uint32_t> entries_[Size] = {};
};

enum class Known { Converted, Refused, Ask };

void AppendKnown(std::uint32_t entry, std::string& out) {
  for (std::uint32_t n = (entry >> 2) & 3, form = entry >> 8; n > 0; --n, form >>= 8)
    out.push_back(static_cast<char>(form & 0xFF));
}

// CP932 to UTF-8 from the known characters: a byte from 0x80 is a
// character, a lead byte or refused as iconv takes it alone; after a lead
// byte, the pair is one character or refused.
Known KnownToNative(std::string_view in, std::string& out, Converter& converter) {
  static KnownCharacters<128> single;
  static KnownCharacters<128 * 256> pairs;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char c = bytes[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    std::uint32_t entry = single.At(c - 0x80u, bytes + i, 1, converter);
    if (entry == Lead) {
      if (i + 1 == in.size()) return Known::Refused;  // incomplete at the end
      entry = pairs.At((c - 0x80u) * 256 + bytes[i + 1], bytes + i, 2, converter);
      if (entry == Lead) return Known::Ask;
      ++i;
    }
    if (entry == Unasked) return Known::Ask;
    if (entry == Refused) return Known::Refused;
    AppendKnown(entry, out);
    ++i;
  }
  return Known::Converted;
}

// UTF-8 to CP932 from the known characters, for the two- and three-byte
// sequences (every character CP932 has); anything else is left to iconv.
Known KnownToCp932(std::string_view in, std::string& out, Converter& converter) {
  static KnownCharacters<32 * 64> twoBytes;
  static KnownCharacters<16 * 64 * 64> threeBytes;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  const auto trail = [&](std::size_t at) { return at < in.size() && (bytes[at] & 0xC0) == 0x80; };
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char c = bytes[i];
    std::uint32_t entry = Unasked;
    std::size_t size = 1;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (c >= 0xC0 && c < 0xE0 && trail(i + 1)) {
      size = 2;
      entry = twoBytes.At((c - 0xC0u) * 64 + (bytes[i + 1] & 0x3Fu), bytes + i, 2, converter);
    } else if (c >= 0xE0 && c < 0xF0 && trail(i + 1) && trail(i + 2)) {
      size = 3;
      entry =
          threeBytes.At(((c - 0xE0u) * 64 + (bytes[i + 1] & 0x3Fu)) * 64 + (bytes[i + 2] & 0x3Fu),
                        bytes + i, 3, converter);
    }
    if (entry == Unasked || entry == Lead) return Known::Ask;
    if (entry == Refused) return Known::Refused;
    AppendKnown(entry, out);
    i += size;
  }
  return Known::Converted;
}

// How many bytes the text begins with below 0x80: ASCII characters in
// either encoding, since a CP932 lead byte is above 0x7F.
std::size_t AsciiPrefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

bool IsAscii(std::string_view s) { return AsciiPrefix(s) == s.size(); }

// iconv_open is costly: each direction keeps one descriptor per thread,
// opened when a text first needs it.
Converter& ToNative() {
  thread_local Converter converter("UTF-8", "CP932");
  return converter;
}

Converter& ToCp932() {
  thread_local Converter converter("CP932", "UTF-8");
  return converter;
}

// ASCII is the same in CP932 and UTF-8 (CP932 maps 0x5C and 0x7E to
// U+005C and U+007E), so the ASCII a text begins with (a path's folders,
// often) is copied as it is. The rest goes through the known characters,
// and to iconv whole when one of them is not known yet.
bool Convert(std::string_view text, std::string& out, Converter& (*converter)(),
             Known (*known)(std::string_view, std::string&, Converter&)) {
  const std::size_t ascii = AsciiPrefix(text);
  out.assign(text.substr(0, ascii));
  if (ascii == text.size()) return true;
  switch (known(text.substr(ascii), out, converter())) {
    case Known::Converted:
      return true;
    case Known::Refused:
      return false;
    case Known::Ask:
      break;
  }
  return converter().Run(text.substr(0, ascii), text.substr(ascii), out);
}

// The length of the UTF-8 sequence that starts at s[i], or 0 when none does.
std::size_t Utf8Length(std::string_view s, std::size_t i, char32_t& code) {
  const auto lead = static_cast<unsigned char>(s[i]);
  const std::size_t n = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
  if (n == 0 || i + n > s.size()) return 0;
  code = n == 1 ? lead : lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const auto next = static_cast<unsigned char>(s[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  // Overlong forms, surrogates and code points past Unicode are no characters.
  static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[n] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return 0;
  return n;
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
    return;
  }
  const int n = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  static constexpr unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out.push_back(static_cast<char>(leads[n] | (code >> (6 * (n - 1)))));
  for (int k = n - 2; k >= 0; --k)
    out.push_back(static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F)));
}

// The marked character at s[i] (LackedCharMark, hex digits, ';'); its
// length, or 0 when the mark starts none.
std::size_t MarkedChar(std::string_view s, std::size_t i, char32_t& code) {
  code = 0;
  std::size_t k = i + 1;
  for (; k < s.size() && k < i + 8; ++k) {
    const char c = s[k];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) break;
    code = code << 4 | static_cast<char32_t>(digit);
  }
  if (k == i + 1 || k >= s.size() || s[k] != ';' || code > 0x10FFFF ||
      (code >= 0xD800 && code < 0xE000))
    return 0;
  return k + 1 - i;
}

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

bool Cp932ToNative(std::string_view cp932, std::string& out) {
  return Convert(cp932, out, ToNative, KnownToNative);
}

bool NativeToCp932(std::string_view native, std::string& out) {
  return Convert(native, out, ToCp932, KnownToCp932);
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

std::string Cp932Showing(std::string_view native) {
  std::string out, form, back;
  for (std::size_t i = 0; i < native.size();) {
    char32_t code = 0;
    const std::size_t n = Utf8Length(native, i, code);
    const std::string_view character = native.substr(i, n);
    if (n != 0 && NativeToCp932(character, form) && Cp932ToNative(form, back) &&
        back == character) {
      out += form;
    } else {
      char hex[12];
      std::snprintf(hex, sizeof hex, "%X;", static_cast<unsigned>(n != 0 ? code : 0xFFFD));
      out += LackedCharMark;
      out += hex;
    }
    i += n != 0 ? n : 1;
  }
  return out;
}

std::string MessageToNative(std::string_view cp932) {
  std::string out, piece;
  if (cp932.find(LackedCharMark) == std::string_view::npos && Cp932ToNative(cp932, out)) return out;
  out.clear();
  for (std::size_t i = 0; i < cp932.size();) {
    char32_t code = 0;
    if (cp932[i] == LackedCharMark) {
      if (const std::size_t n = MarkedChar(cp932, i, code); n != 0) {
        AppendUtf8(code, out);
        i += n;
        continue;
      }
    }
    const std::size_t n = CharLength(cp932, i);
    if (Cp932ToNative(cp932.substr(i, n), piece)) {
      out += piece;
      i += n;
    } else {
      AppendUtf8(0xFFFD, out);
      ++i;
    }
  }
  return out;
}

}  // namespace selvane
