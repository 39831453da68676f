// A tag edit on any bytes: never a crash; what it writes reads again as a
// tag of the promised size, every frame it did not touch keeps its bytes
// and its order, and each changed field ends with as many frames as it
// should.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/tags/Id3v2Write.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/Id3v2SpliceCheck.h"

using namespace selvane;

namespace {

constexpr int FieldCount = 6;

int FramesOf(std::string_view block, const Id3v2Layout& layout, int field) {
  return static_cast<int>(std::count_if(
      layout.frames.begin(), layout.frames.end(),
      [&](const Id3v2FrameSpan& frame) { return Id3v2FieldOf(block, layout, frame) == field; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Id3v2Changes changes;
  std::optional<std::string>* fields[FieldCount] = {&changes.title,   &changes.artist,
                                                    &changes.album,   &changes.year,
                                                    &changes.comment, &changes.genre};
  int kinds[FieldCount];  // 0 not changed, 1 emptied, 2 a value
  for (int& kind : kinds) kind = input.ConsumeIntegralInRange(0, 2);
  for (int field = 0; field < FieldCount; ++field)
    if (kinds[field] != 0)
      *fields[field] = kinds[field] == 1 ? "" : input.ConsumeRandomLengthString(64);
  const std::string block = input.ConsumeRemainingBytesAsString();

  const Id3v2Layout old = ReadId3v2Layout(block);
  const Id3v2Splice splice = SpliceId3v2(block, changes);
  if (splice.refusal != Id3v2Refusal::None) {
    FUZZ_CHECK(splice.block.empty());
    return 0;
  }
  FUZZ_CHECK(old.refusal == Id3v2Refusal::None);
  FUZZ_CHECK(splice.oldSize == old.size);
  FUZZ_CHECK(splice.inPlace == (splice.needed <= splice.room));
  if (splice.block.empty()) {  // no tag, and nothing to write
    FUZZ_CHECK(old.version == 0 && splice.needed == 0);
    return 0;
  }
  const Id3v2Layout now = ReadId3v2Layout(splice.block);
  FUZZ_CHECK(now.refusal == Id3v2Refusal::None);
  FUZZ_CHECK(now.version == (old.version == 0 ? 3u : old.version));
  FUZZ_CHECK(now.size == splice.block.size());
  if (old.version != 0) FUZZ_CHECK(splice.block.compare(0, 6, block, 0, 6) == 0);  // its flags
  if (splice.inPlace) {
    FUZZ_CHECK(splice.block.size() == old.size);
  } else {
    FUZZ_CHECK(now.padding >= Id3v2GrownPadding && now.size % 4096 == 0);
  }
  FUZZ_CHECK(UntouchedFrames(splice.block, changes) == UntouchedFrames(block, changes));
  for (int field = 0; field < FieldCount; ++field) {
    if (!*fields[field]) continue;
    const int before = old.version == 0 ? 0 : FramesOf(block, old, field);
    FUZZ_CHECK(FramesOf(splice.block, now, field) ==
               ((*fields[field])->empty() ? 0 : std::max(before, 1)));
  }
  return 0;
}
