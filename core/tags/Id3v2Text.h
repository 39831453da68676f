#pragma once
// The text of an ID3v2 frame in this program's code page 932. Unicode
// frames convert; Latin-1 frames are often Shift-JIS written by older
// Japanese tools, and are read as such when their bytes say so.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/filelist/Id3v2Note.h"

namespace selvane {

// Stands in the text for each character that has no CP932 form. It is no
// CP932 byte at all, so a name holding it can never reach the disk.
inline constexpr char NoCp932FormByte = '\xFF';

struct Id3v2Text {
  std::string cp932;
  Id3v2Reading reading = Id3v2Reading::AsIs;
  std::string missing;  // UTF-8
};

// Whether the bytes of a Latin-1 frame are Shift-JIS: valid CP932 with at
// least one double-byte kana or kanji, no private-use character, and no
// half-width katakana, or accented-letter pair, inside Latin words.
bool ReadsAsShiftJis(std::string_view bytes);

Id3v2Text TextFromLatin1(std::string_view bytes);
// A Unicode frame's text, as UTF-8.
Id3v2Text TextFromUnicode(std::string_view utf8);

}  // namespace selvane
