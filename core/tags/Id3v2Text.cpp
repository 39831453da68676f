#include "core/tags/Id3v2Text.h"

#include "core/platform/Cp932.h"

namespace selvane {
namespace {

bool IsLatinLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHalfWidthKana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
bool IsPrivateUseLead(unsigned char c) { return c >= 0xF0 && c <= 0xF9; }

// Hiragana, katakana, and the kanji rows (both JIS levels, the NEC and IBM
// extensions).
bool IsKanaOrKanji(unsigned char lead, unsigned char trail) {
  if (lead == 0x82) return trail >= 0x9F && trail <= 0xF1;
  if (lead == 0x83) return trail >= 0x40 && trail <= 0x96;
  return (lead >= 0x88 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEA) ||
         (lead >= 0xED && lead <= 0xEE) || (lead >= 0xFA && lead <= 0xFC);
}

// Characters whose CP932 form reads back as another: "¥" is 0x5C, a path
// separator; "‾" is "~".
bool HasFalseForm(std::string_view utf8) {
  return utf8.find("\xC2\xA5") != std::string_view::npos ||
         utf8.find("\xE2\x80\xBE") != std::string_view::npos;
}

std::size_t Utf8Length(unsigned char c) {
  if (c >= 0xF0) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

// Converts character by character, a stand-in byte for each without a form.
Id3v2Text ConvertEach(std::string_view utf8) {
  Id3v2Text text;
  std::string one;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n =
        std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    const std::string_view ch = utf8.substr(i, n);
    if (!HasFalseForm(ch) && NativeToCp932(ch, one)) {
      text.cp932 += one;
    } else {
      text.cp932 += NoCp932FormByte;
      if (text.missing.empty()) text.missing.assign(ch);
      text.reading = Id3v2Reading::NoCp932Form;
    }
    i += n;
  }
  return text;
}

Id3v2Text Convert(std::string_view utf8) {
  Id3v2Text text;
  if (!HasFalseForm(utf8) && NativeToCp932(utf8, text.cp932)) return text;
  return ConvertEach(utf8);
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size() * 2);
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    if (c < 0x80) {
      utf8 += b;
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

// The text as Latin-1 bytes when every character is U+0000-U+00FF and one
// at least lies above ASCII; else false.
bool Latin1Bytes(std::string_view utf8, std::string& bytes) {
  bytes.clear();
  bool high = false;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
      continue;
    }
    if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return false;
    const auto next = static_cast<unsigned char>(utf8[++i]);
    bytes += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
    high = true;
  }
  return high;
}

}  // namespace

bool ReadsAsShiftJis(std::string_view bytes) {
  const std::size_t n = bytes.size();
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool kanaOrKanji = false;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = at(i);
    if (c < 0x80) continue;
    const bool latinBefore = i > 0 && IsLatinLetter(at(i - 1));
    if (IsHalfWidthKana(c)) {
      if (latinBefore || (i + 1 < n && IsLatinLetter(at(i + 1)))) return false;
      continue;
    }
    if (!IsLeadByte(c) || i + 1 >= n || IsPrivateUseLead(c)) return false;
    const unsigned char trail = at(++i);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    // "è" or "é" followed by a letter inside a word ("Crème", "Hélène") is
    // a valid kanji too; a Shift-JIS title hardly ever puts one there.
    if (c >= 0xE0 && latinBefore && IsLatinLetter(trail)) return false;
    if (IsKanaOrKanji(c, trail)) kanaOrKanji = true;
  }
  std::string ignored;
  return kanaOrKanji && Cp932ToNative(bytes, ignored);
}

Id3v2Text TextFromLatin1(std::string_view bytes) {
  if (ReadsAsShiftJis(bytes)) return {std::string(bytes), Id3v2Reading::ShiftJis, {}};
  return Convert(Latin1ToUtf8(bytes));
}

Id3v2Text TextFromUnicode(std::string_view utf8) {
  std::string bytes;
  if (Latin1Bytes(utf8, bytes) && ReadsAsShiftJis(bytes))
    return {std::move(bytes), Id3v2Reading::Repaired, {}};
  return Convert(utf8);
}

}  // namespace selvane
