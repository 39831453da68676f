#include "core/platform/ReadAhead.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace selvane {

TailsReadAhead::TailsReadAhead(FileOps& inner, std::vector<std::string> natives, std::size_t first,
                               KeyOf keyOf)
    : ForwardingFileOps(inner), natives_(std::move(natives)), keyOf_(std::move(keyOf)) {
  first = std::min(first, natives_.size());
  // Room for the paths as given (a relative one grows by its folder).
  std::size_t bytes = 0;
  for (std::size_t i = first; i < natives_.size(); ++i) bytes += natives_[i].size();
  paths_.Reserve(natives_.size() - first, bytes);
  read_.reserve(natives_.size() - first);
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

void TailsReadAhead::ReadAll(std::size_t first) {
  std::string cp932;
  for (std::size_t i = first; i < natives_.size(); ++i) {
    if (stop_.load(std::memory_order_relaxed)) return;
    if (!keyOf_(natives_[i], cp932) || paths_.Find(cp932) != NameIndex::None) continue;
    // What could not be read is asked again when it is needed: it may be
    // there by then.
    Read read;
    std::size_t headRead = 0;
    if (!inner_.ReadEnds(cp932.c_str(), read.tail, read.length, &read.status, read.head, HeadSize,
                         headRead))
      continue;
    read.headRead = static_cast<unsigned char>(headRead);
    if (paths_.Add(cp932) == NameIndex::None) return;
    read_.push_back(std::move(read));
  }
}

void TailsReadAhead::Stop() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

const TailsReadAhead::Read* TailsReadAhead::Find(const char* path) const {
  const std::size_t number = thread_.joinable() ? NameIndex::None : paths_.Find(path);
  return number == NameIndex::None ? nullptr : &read_[number];
}

FileResult TailsReadAhead::ReadTailAndStatus(const char* path, unsigned char* tail,
                                             std::int64_t& length, FileStatus& status) {
  const Read* read = Find(path);
  if (read == nullptr) return inner_.ReadTailAndStatus(path, tail, length, status);
  length = read->length;
  status = read->status;
  std::memcpy(tail, read->tail, TrailerSize);
  return {};
}

FileResult TailsReadAhead::ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                                    FileStatus* status, unsigned char* head, std::size_t headSize,
                                    std::size_t& headRead) {
  const Read* read = Find(path);
  // A head cut short by the file's end is whole; one cut by HeadSize is not.
  if (read == nullptr || (headSize > read->headRead && read->headRead == HeadSize))
    return inner_.ReadEnds(path, tail, length, status, head, headSize, headRead);
  length = read->length;
  if (status != nullptr) *status = read->status;
  std::memcpy(tail, read->tail, TrailerSize);
  headRead = std::min<std::size_t>(headSize, read->headRead);
  std::memcpy(head, read->head, headRead);
  return {};
}

}  // namespace selvane
