#pragma once
// Names kept in one block of text and found again by their exact bytes,
// through a table of their hashes: no allocation per name. Each name has a
// number, from 0 in the order added, for the caller's own table beside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace selvane {

class NameIndex {
 public:
  static constexpr std::size_t None = static_cast<std::size_t>(-1);

  void Reserve(std::size_t names, std::size_t bytes);
  // The name's number; it is added first when it is not there. None when
  // the block would pass 4 GiB (nothing is added then).
  std::size_t Add(std::string_view name);
  // The name's number, or None.
  std::size_t Find(std::string_view name) const;
  std::size_t size() const { return names_.size(); }

 private:
  struct Place {
    std::uint32_t at, size;  // in text_
    std::uint32_t hash;      // its low bits: a table grows without hashing again
  };
  std::string_view NameAt(std::uint32_t number) const {
    return std::string_view(text_).substr(names_[number].at, names_[number].size);
  }
  static std::uint32_t HashOf(std::string_view name);
  // The slot that holds `name`, or the empty one where it would go.
  std::size_t SlotOf(std::string_view name, std::uint32_t hash) const;
  void Rehash(std::size_t slots);

  std::string text_;
  std::vector<Place> names_;
  std::vector<std::uint32_t> byHash_;  // 0, or a name's number plus one
};

}  // namespace selvane
