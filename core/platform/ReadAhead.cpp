#include "core/platform/ReadAhead.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

namespace selvane {

TailsReadAhead::TailsReadAhead(FileOps& inner, std::vector<std::string> natives, std::size_t first,
                               KeyOf keyOf)
    : inner_(inner), natives_(std::move(natives)), keyOf_(std::move(keyOf)) {
  first = std::min(first, natives_.size());
  // Room for the paths as given (a relative one grows by its folder).
  std::size_t bytes = 0;
  for (std::size_t i = first; i < natives_.size(); ++i) bytes += natives_[i].size();
  paths_.reserve(bytes);
  read_.reserve(natives_.size() - first);
  slots_.assign(std::bit_ceil(2 * (natives_.size() - first) + 1), 0);
  thread_ = std::thread([this, first] {
    // Memory running out here only ends the reading ahead: the start reads
    // the rest itself.
    try {
      ReadAll(first);
    } catch (const std::bad_alloc&) {
    }
  });
}

TailsReadAhead::~TailsReadAhead() { Stop(); }

void TailsReadAhead::Finish() {
  if (thread_.joinable()) thread_.join();
}

const TailsReadAhead::Read* TailsReadAhead::Find(std::string_view path, std::size_t& slot) const {
  const std::size_t mask = slots_.size() - 1;
  for (slot = std::hash<std::string_view>{}(path)&mask; slots_[slot] != 0;
       slot = (slot + 1) & mask) {
    const Read& read = read_[slots_[slot] - 1];
    if (std::string_view(paths_).substr(read.at, read.size) == path) return &read;
  }
  return nullptr;
}

void TailsReadAhead::ReadAll(std::size_t first) {
  std::string cp932;
  for (std::size_t i = first; i < natives_.size(); ++i) {
    if (stop_.load(std::memory_order_relaxed)) return;
    std::size_t slot = 0;
    if (!keyOf_(natives_[i], cp932) || Find(cp932, slot) != nullptr) continue;
    if (paths_.size() + cp932.size() > UINT32_MAX) return;
    Read& read = read_.emplace_back();
    // What could not be read is asked again when it is needed: it may be
    // there by then.
    if (!inner_.ReadTailAndStatus(cp932.c_str(), read.tail, read.length, read.status)) {
      read_.pop_back();
      continue;
    }
    read.at = static_cast<std::uint32_t>(paths_.size());
    read.size = static_cast<std::uint32_t>(cp932.size());
    paths_.append(cp932);
    slots_[slot] = static_cast<std::uint32_t>(read_.size());
  }
}

void TailsReadAhead::Stop() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

FileResult TailsReadAhead::ReadTailAndStatus(const char* path, unsigned char* tail,
                                             std::int64_t& length, FileStatus& status) {
  std::size_t slot = 0;
  const Read* read = thread_.joinable() ? nullptr : Find(path, slot);
  if (read == nullptr) return inner_.ReadTailAndStatus(path, tail, length, status);
  length = read->length;
  status = read->status;
  std::memcpy(tail, read->tail, TrailerSize);
  return {};
}

}  // namespace selvane
