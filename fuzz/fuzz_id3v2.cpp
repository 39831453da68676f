// The ID3v2 read on any bytes at a file's head, and the decision how a
// frame's text reads: never a crash, a hang or a frame inflated past its
// bound, and every text it gives is CP932 the program can use, or marks the
// characters CP932 lacks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/Id3v2Text.h"
#include "fuzz/FuzzCheck.h"

using namespace selvane;

namespace {

void CheckText(const Id3v2Text& text) {
  std::string native;
  switch (text.reading) {
    case Id3v2Reading::NoCp932Form:
      FUZZ_CHECK(!text.missing.empty());
      FUZZ_CHECK(text.cp932.find(NoCp932FormByte) != std::string::npos);
      return;
    case Id3v2Reading::ShiftJis:
    case Id3v2Reading::Repaired:
      FUZZ_CHECK(ReadsAsShiftJis(text.cp932));
      [[fallthrough]];
    case Id3v2Reading::AsIs:
      FUZZ_CHECK(text.missing.empty());
      FUZZ_CHECK(Cp932ToNative(text.cp932, native));
      return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Id3v2Fields fields = ParseId3v2(data, size);
  for (const Id3v2Text* text : {&fields.title, &fields.artist, &fields.album}) CheckText(*text);
  FUZZ_CHECK(fields.present == (!fields.title.cp932.empty() || !fields.artist.cp932.empty() ||
                                !fields.album.cp932.empty()));
  // The bound by which a refresh leaves a frame undecoded holds for every
  // frame, a short one or a compressed one too.
  const Id3v2Frames frames = FindId3v2Frames(data, size);
  for (const TagField field : NameFields)
    FUZZ_CHECK(DecodeId3v2Frame(frames, field).cp932.size() <= Id3v2TextBound(frames, field));

  // The input as the bytes of a Latin-1 frame: Shift-JIS comes back as it
  // is, and anything else is read as Latin-1, one character per byte.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Id3v2Text latin1 = TextFromLatin1(bytes);
  CheckText(latin1);
  if (latin1.reading == Id3v2Reading::ShiftJis) FUZZ_CHECK(latin1.cp932 == bytes);
  FUZZ_CHECK((latin1.reading == Id3v2Reading::ShiftJis) == ReadsAsShiftJis(bytes));
  // And as the text of a Unicode frame, when it is UTF-8.
  std::string cp932;
  if (NativeToCp932(bytes, cp932)) CheckText(TextFromUnicode(bytes));
  return 0;
}
