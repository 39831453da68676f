#pragma once
// The ends of a command's files read many at a time before the command asks
// for them one by one, where their medium pays for waiting; the command's
// own calls are then answered from memory.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/platform/FileOps.h"
#include "core/platform/ManyReads.h"
#include "core/platform/NameIndex.h"

namespace selvane {

class EndsReadAhead final : public ForwardingFileOps {
 public:
  // Whether files in this native folder are worth reading ahead.
  using Waits = std::function<bool(const std::string& nativeFolder)>;

  // Reads the CP932 `paths` whose folders `waits` names (by default those on
  // a share or FUSE medium), `options.headSize` bytes of their heads too,
  // on the calling thread, with its progress and stop. A path whose read
  // failed is left to `inner` when asked for; one not read because the
  // reading was stopped answers as a failed read (ECANCELED), since the
  // user stopped waiting for it.
  EndsReadAhead(FileOps& inner, const std::vector<std::string>& paths,
                const ManyReadsOptions& options, Waits waits = {});

  std::size_t readAhead() const { return read_.size(); }
  // A path of ours the stopped reading never reached.
  bool Skipped(const char* path) const;

  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override;
  FileResult ReadTailAndStatus(const char* path, unsigned char* tail, std::int64_t& length,
                               FileStatus& status) override;
  FileResult ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                      FileStatus* status, unsigned char* head, std::size_t headSize,
                      std::size_t& headRead) override;
  // A native form the caller holds goes on to `inner` with the call, so
  // that what was not read ahead is not made native again.
  bool TakesNativePaths() const override { return inner_.TakesNativePaths(); }
  FileStatus StatusPlanned(const PlannedPath& path) override { return inner_.StatusPlanned(path); }
  FileResult ReadEndsPlanned(const PlannedPath& path, unsigned char* tail, std::int64_t& length,
                             FileStatus* status, unsigned char* head, std::size_t headSize,
                             std::size_t& headRead) override;
  FileResult ReadAtPlanned(const PlannedPath& path, std::int64_t offset, void* data,
                           std::size_t size) override {
    return inner_.ReadAtPlanned(path, offset, data, size);
  }

 private:
  // What was read for `path` that holds at least `headSize` bytes of its
  // head (or all of a shorter file); null when the call goes to `inner`.
  const EndsRead* Found(const char* path, std::size_t headSize) const;

  std::size_t headSize_;
  NameIndex paths_;
  std::vector<EndsRead> read_;  // by the path's number
  std::vector<bool> delivered_;
  bool stopped_ = false;
};

}  // namespace selvane
