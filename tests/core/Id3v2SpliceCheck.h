#pragma once
// What a tag edit must leave alone, for the tests and the fuzz target.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/tags/Id3v2Write.h"

namespace selvane {

// The frames of a tag block that an edit of `changes` does not touch,
// each whole, in order: the same list before the edit and after it.
inline std::vector<std::string_view> UntouchedFrames(std::string_view block,
                                                     const Id3v2Changes& changes) {
  const Id3v2Layout layout = ReadId3v2Layout(block);
  const std::optional<std::string>* fields[] = {&changes.title, &changes.artist,  &changes.album,
                                                &changes.year,  &changes.comment, &changes.genre};
  std::vector<std::string_view> frames;
  for (const Id3v2FrameSpan& frame : layout.frames) {
    const int field = Id3v2FieldOf(block, layout, frame);
    if (field < 0 || !*fields[field]) frames.push_back(block.substr(frame.at, frame.size));
  }
  return frames;
}

}  // namespace selvane
