#include "core/filelist/EntryTable.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <utility>

namespace selvane {
namespace {

bool InUse(const EntryTable& table, int index) { return index >= 0 && index < table.entryCount; }

}  // namespace

bool EntryTable::Append(std::unique_ptr<FileEntry> entry) {
  try {
    entries.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    return false;
  }
  entryCount = static_cast<int>(entries.size());
  return true;
}

void SwapEntries(EntryTable& table, int a, int b) {
  if (!InUse(table, a) || !InUse(table, b)) return;
  std::swap(table.entries[static_cast<std::size_t>(a)], table.entries[static_cast<std::size_t>(b)]);
}

// Later records move up one slot, by their pointers: a record is never
// copied, and the deleted one is freed.
void DeleteEntry(EntryTable& table, int index) {
  if (!InUse(table, index)) return;
  table.entries.erase(table.entries.begin() + index);
  table.entryCount = static_cast<int>(table.entries.size());
}

void ClearEntries(EntryTable& table) {
  table.entries.clear();
  table.entryCount = 0;
}

void SortEntries(EntryTable& table) {
  const int n = table.entryCount;
  if (n < 2) return;
  const auto byPath = [&](int a, int b) { return std::strcmp(table[a].path, table[b].path) < 0; };
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), byPath);
  // Equal paths share a rank.
  std::vector<int> rank(static_cast<std::size_t>(n));
  int current = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && byPath(order[k - 1], order[k])) ++current;
    rank[static_cast<std::size_t>(order[k])] = current;
  }
  if (current + 1 < n && n <= SmallListEntries) {
    // Twins in a small list: the pairwise exchange, run on the ranks, gives
    // them the order they always had, without comparing strings.
    for (std::size_t i = 0; i + 1 < rank.size(); ++i) {
      for (std::size_t j = i + 1; j < rank.size(); ++j) {
        if (rank[i] > rank[j]) {
          std::swap(rank[i], rank[j]);
          std::swap(table.entries[i], table.entries[j]);
        }
      }
    }
    return;
  }
  std::vector<std::unique_ptr<FileEntry>> sorted;
  sorted.reserve(table.entries.size());
  for (const int i : order) sorted.push_back(std::move(table.entries[static_cast<std::size_t>(i)]));
  table.entries.swap(sorted);
}

}  // namespace selvane
