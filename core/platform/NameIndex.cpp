#include "core/platform/NameIndex.h"

#include <bit>
#include <functional>

namespace selvane {

void NameIndex::Reserve(std::size_t names, std::size_t bytes) {
  text_.reserve(bytes);
  names_.reserve(names);
  if (2 * names + 1 > byHash_.size()) Rehash(std::bit_ceil(2 * names + 1));
}

std::uint32_t NameIndex::HashOf(std::string_view name) {
  return static_cast<std::uint32_t>(std::hash<std::string_view>{}(name));
}

std::size_t NameIndex::SlotOf(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = byHash_.size() - 1;
  std::size_t slot = hash & mask;
  for (; byHash_[slot] != 0; slot = (slot + 1) & mask) {
    const std::uint32_t number = byHash_[slot] - 1;
    if (names_[number].hash == hash && NameAt(number) == name) break;
  }
  return slot;
}

// The names are all different: each goes to the first empty slot from its hash.
void NameIndex::Rehash(std::size_t slots) {
  byHash_.assign(slots, 0);
  const std::size_t mask = slots - 1;
  for (std::uint32_t number = 0; number < names_.size(); ++number) {
    std::size_t slot = names_[number].hash & mask;
    while (byHash_[slot] != 0) slot = (slot + 1) & mask;
    byHash_[slot] = number + 1;
  }
}

std::size_t NameIndex::Add(std::string_view name) {
  // At most half the slots in use, so that a search soon meets an empty one.
  if (2 * names_.size() + 2 > byHash_.size()) Rehash(std::bit_ceil(2 * names_.size() + 2));
  const std::uint32_t hash = HashOf(name);
  const std::size_t slot = SlotOf(name, hash);
  if (byHash_[slot] != 0) return byHash_[slot] - 1;
  if (text_.size() + name.size() > UINT32_MAX) return None;
  names_.push_back(
      {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(name.size()), hash});
  text_.append(name);
  byHash_[slot] = static_cast<std::uint32_t>(names_.size());
  return names_.size() - 1;
}

std::size_t NameIndex::Find(std::string_view name) const {
  if (byHash_.empty()) return None;
  const std::size_t slot = SlotOf(name, HashOf(name));
  return byHash_[slot] == 0 ? None : byHash_[slot] - 1;
}

}  // namespace selvane
