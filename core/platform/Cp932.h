#pragma once
// Code page 932 (Shift-JIS) helpers. Every text the program keeps is a CP932
// byte string; conversion to the native encoding (UTF-8 on Linux) happens
// only at the edges, through these functions.
#include <cstddef>
#include <string>
#include <string_view>

namespace selvane {

inline constexpr bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Byte length of the character that starts at s[i]: 2 for a lead byte that
// has a trail byte after it, else 1.
inline constexpr std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// How the character at s[i] shows: a control character (shown in its caret
// form), a half-width glyph (ASCII, half-width katakana), a full-width one
// (a double-byte character), or a byte that starts no character (shown as
// a replacement mark).
enum class CharClass { Control, Narrow, Wide, Invalid };

inline constexpr CharClass ClassifyChar(std::string_view s, std::size_t i) {
  if (CharLength(s, i) == 2) return CharClass::Wide;
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x20 || c == 0x7F) return CharClass::Control;
  if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) return CharClass::Narrow;
  return CharClass::Invalid;
}

// The largest n <= limit (and <= s.size()) at which s can be cut without
// splitting a double-byte character.
std::size_t CharBoundary(std::string_view s, std::size_t limit);

// CP932 <-> native text through iconv. They return false when a byte
// sequence has no counterpart; `out` is then unspecified. Never a silent '?'.
[[nodiscard]] bool Cp932ToNative(std::string_view cp932, std::string& out);
[[nodiscard]] bool NativeToCp932(std::string_view native, std::string& out);

// Paths: a CP932 path is a Windows-style path whose separators may be '\'
// or '/'. On Linux '\' becomes '/'. A native path holding a literal
// backslash, or a character whose CP932 form reads back as another ("¥",
// "‾", "〜"), has no faithful CP932 form and is refused.
[[nodiscard]] bool Cp932PathToNative(std::string_view cp932, std::string& out);
[[nodiscard]] bool NativePathToCp932(std::string_view native, std::string& out);

// A UTF-8 literal of the source code as CP932 bytes (message texts of core).
std::string Cp932(std::string_view utf8Literal);

// A message that must name what CP932 lacks (a file name as it is on disk,
// a character of an ID3v2 tag) carries each such character as this byte,
// the character's code point in hex and ';'. No CP932 text holds the byte,
// so the message stays a CP932 byte string; MessageToNative, at the edge
// where a message is shown, gives the character back.
inline constexpr char LackedCharMark = '\xFD';
// Native text (UTF-8) as such a message: a character CP932 lacks, or holds
// only as another ("¥", "〜"), is marked; a byte that is no UTF-8 stands as
// U+FFFD.
std::string Cp932Showing(std::string_view native);
// A CP932 message as native text: marked characters given back, and each
// byte that starts no character shown as U+FFFD, the rest read afresh.
std::string MessageToNative(std::string_view cp932);

}  // namespace selvane
