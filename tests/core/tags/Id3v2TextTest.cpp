// How a frame's text reads in CP932: Shift-JIS kept in Latin-1 frames, text
// repaired, and what has no CP932 form marked rather than guessed.
#include <gtest/gtest.h>

#include <string>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Text.h"
#include "tests/core/tags/Id3v2Expected.h"

namespace selvane {
namespace {

TEST(Id3v2TextTest, DecidesHowAFrameTextReads) {
  struct Row {
    bool latin1;        // else a Unicode frame (given as UTF-8)
    std::string text;   // the frame's bytes
    const char* cp932;  // UTF-8 of the expected text, "\xFF" for a character CP932 lacks
    Id3v2Reading reading;
  };
  const Row rows[] = {
      {true, Cp932("恋のうた"), "恋のうた", Id3v2Reading::ShiftJis},
      {true, Cp932("ＳＭＡＰ ベスト"), "ＳＭＡＰ ベスト", Id3v2Reading::ShiftJis},
      {true, "Se\xF1or", "Se\xFFor", Id3v2Reading::NoCp932Form},
      {true, "Bj\xF6rk", "Bj\xFFrk", Id3v2Reading::NoCp932Form},
      {true, "\xC1ngel", "\xFFngel", Id3v2Reading::NoCp932Form},
      // Valid CP932 with a kanji, but an accented letter inside a word.
      {true, "Cr\xE8me", "Cr\xFFme", Id3v2Reading::NoCp932Form},
      {true, "H\xE9l\xE8ne", "H\xFFl\xFFne", Id3v2Reading::NoCp932Form},
      // Half-width katakana beside a Latin letter, a private-use lead.
      {true, "ab\xB1" + Cp932("恋"), "ab±\xFF\xFF", Id3v2Reading::NoCp932Form},
      {true, "\xF0\x40" + Cp932("恋"), "\xFF@\xFF\xFF", Id3v2Reading::NoCp932Form},
      // Symbols only: no kana or kanji.
      {true, Cp932("☆"), "\xFF\xFF", Id3v2Reading::NoCp932Form},
      {true,
       "A\xD7"
       "B",
       "A×B", Id3v2Reading::AsIs},
      {false, "〜‖−¢£¬", "～∥－￠￡￢", Id3v2Reading::AsIs},
      {false, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5", "Caf\xFF \xFF", Id3v2Reading::NoCp932Form},
      // "¥" would be 0x5C, a path separator.
      {false,
       "\xC2\xA5"
       "100",
       "\xFF"
       "100",
       Id3v2Reading::NoCp932Form},
      {false, "\xC2\x97\xC3\xB6\xC2\x82\xC3\x8C", "恋の", Id3v2Reading::Repaired},
      {false, "Cr\xC3\xA8me", "Cr\xFFme", Id3v2Reading::NoCp932Form},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Id3v2Text text = row.latin1 ? TextFromLatin1(row.text) : TextFromUnicode(row.text);
    EXPECT_EQ(text.cp932, Expected(row.cp932));
    EXPECT_EQ(text.reading, row.reading);
  }
}

}  // namespace
}  // namespace selvane
