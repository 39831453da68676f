#pragma once
#include <array>
#include <string_view>

namespace selvane {

inline constexpr int GenreCount = 149;  // 0-147 and "Unknown"
inline constexpr int UnknownGenreItem = 148;
extern const std::array<std::string_view, GenreCount> GenreList;

// Item of the genre choice for a genre byte: b for 0-147, 148 for the rest.
constexpr int GenreItemForByte(unsigned char b) { return b <= 147 ? b : UnknownGenreItem; }

}  // namespace selvane
