#pragma once
// The texts of a tag, named once for the core and the window alike.
#include <cstddef>
#include <iterator>

namespace selvane {

// In the tag panel's order (top to bottom, left panel first).
enum class TagField { Title, Artist, Album, Comment, Year };
inline constexpr std::size_t TagFieldCount = 5;

// The fields a name can take, and take from an ID3v2 tag as well.
inline constexpr TagField NameFields[] = {TagField::Title, TagField::Artist, TagField::Album};
inline constexpr std::size_t NameFieldCount = std::size(NameFields);

constexpr std::size_t FieldIndex(TagField field) { return static_cast<std::size_t>(field); }

}  // namespace selvane
