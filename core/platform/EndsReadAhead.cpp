#include "core/platform/EndsReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/platform/Cp932.h"

namespace selvane {

namespace {

FileResult Cancelled(std::int64_t& length) {
  length = -1;
  return {ECANCELED};
}

}  // namespace

EndsReadAhead::EndsReadAhead(FileOps& inner, const std::vector<std::string>& paths,
                             const ManyReadsOptions& options, Waits waits)
    : ForwardingFileOps(inner), headSize_(options.headSize) {
  MediumWaits media;
  if (!waits) waits = [&media](const std::string& folder) { return media.PaysForWaiting(folder); };
  std::vector<std::string> natives;
  std::string native, folder, nativeFolder;
  bool asked = false, folderWaits = false;
  for (const std::string& path : paths) {
    // A folder's rows come together: its medium is asked once for them, and
    // only a path on a medium that waits is made native (a local list of
    // thousands costs no conversion). "/" is never a CP932 trail byte.
    const std::size_t slash = path.rfind('/');
    const std::size_t end = slash == std::string::npos ? 0 : std::max<std::size_t>(slash, 1);
    if (!asked || std::string_view(path).substr(0, end) != folder) {
      folder.assign(path, 0, end);
      folderWaits =
          Cp932PathToNative(folder.empty() ? "." : folder, nativeFolder) && waits(nativeFolder);
      asked = true;
    }
    if (!folderWaits || !Cp932PathToNative(path, native)) continue;
    // A path given twice is read once.
    if (paths_.Add(path) != natives.size()) continue;
    natives.push_back(std::move(native));
  }
  read_.resize(natives.size());
  delivered_.assign(natives.size(), false);
  ReadManyEnds(natives, options, [this](std::size_t index, EndsRead& read) {
    read_[index] = std::move(read);
    delivered_[index] = true;
  });
  stopped_ = options.stop != nullptr && options.stop->load();
}

bool EndsReadAhead::Skipped(const char* path) const {
  if (!stopped_) return false;
  const std::size_t number = paths_.Find(path);
  return number != NameIndex::None && !delivered_[number];
}

const EndsRead* EndsReadAhead::Found(const char* path, std::size_t headSize) const {
  const std::size_t number = paths_.Find(path);
  if (number == NameIndex::None || !delivered_[number]) return nullptr;
  const EndsRead& read = read_[number];
  // What failed is asked again: it may be there by now.
  if (!read.result) return nullptr;
  const bool wholeHead =
      headSize <= headSize_ || static_cast<std::int64_t>(read.head.size()) >= read.length;
  return wholeHead ? &read : nullptr;
}

FileResult EndsReadAhead::ReadTail(const char* path, unsigned char* tail, std::int64_t& length) {
  FileStatus ignored;
  if (Found(path, 0) != nullptr || Skipped(path))
    return ReadTailAndStatus(path, tail, length, ignored);
  return inner_.ReadTail(path, tail, length);
}

FileResult EndsReadAhead::ReadTailAndStatus(const char* path, unsigned char* tail,
                                            std::int64_t& length, FileStatus& status) {
  const EndsRead* read = Found(path, 0);
  if (read == nullptr) {
    if (Skipped(path)) return Cancelled(length);
    return inner_.ReadTailAndStatus(path, tail, length, status);
  }
  length = read->length;
  status = read->status;
  std::memcpy(tail, read->tail, TrailerSize);
  return {};
}

FileResult EndsReadAhead::ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                                   FileStatus* status, unsigned char* head, std::size_t headSize,
                                   std::size_t& headRead) {
  return ReadEndsPlanned({path, {}}, tail, length, status, head, headSize, headRead);
}

FileResult EndsReadAhead::ReadEndsPlanned(const PlannedPath& path, unsigned char* tail,
                                          std::int64_t& length, FileStatus* status,
                                          unsigned char* head, std::size_t headSize,
                                          std::size_t& headRead) {
  const EndsRead* read = Found(path.cp932, headSize);
  if (read == nullptr) {
    if (Skipped(path.cp932)) return Cancelled(length);
    return inner_.ReadEndsPlanned(path, tail, length, status, head, headSize, headRead);
  }
  length = read->length;
  if (status != nullptr) *status = read->status;
  std::memcpy(tail, read->tail, TrailerSize);
  headRead = std::min(headSize, read->head.size());
  if (headRead > 0) std::memcpy(head, read->head.data(), headRead);
  return {};
}

}  // namespace selvane
