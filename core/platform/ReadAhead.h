#pragma once
// The tags of a long command line, read on a second thread while the window
// is being built: the start then names those files from what was read.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/platform/FileOps.h"
#include "core/platform/NameIndex.h"

namespace selvane {

class TailsReadAhead final : public ForwardingFileOps {
 public:
  // The CP932 path under which a native path will be asked for (false: it
  // has none, and is not read ahead).
  using KeyOf = std::function<bool(const std::string& native, std::string& key)>;
  // Reads the last bytes and the status of each native path from `first`
  // on, in order, through `inner`, each under its key.
  TailsReadAhead(FileOps& inner, std::vector<std::string> natives, std::size_t first, KeyOf keyOf);
  ~TailsReadAhead() override;
  TailsReadAhead(const TailsReadAhead&) = delete;
  TailsReadAhead& operator=(const TailsReadAhead&) = delete;

  // Stops the reading where it is and waits for it. From then on a path
  // read ahead is answered from what was read (from any thread); any other
  // call goes to `inner`.
  void Stop();
  // The same, once every path is read.
  void Finish();

  FileResult ReadTailAndStatus(const char* path, unsigned char* tail, std::int64_t& length,
                               FileStatus& status) override;
  // Answered from what was read when the caller wants no more of the head
  // than was read ahead (a tag header's worth); else from `inner`.
  FileResult ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                      FileStatus* status, unsigned char* head, std::size_t headSize,
                      std::size_t& headRead) override;

  // The head read ahead beside each tail: enough for an ID3v2 header, which
  // decides whether "TAG" at the end is a trailer.
  static constexpr std::size_t HeadSize = 10;

 private:
  // All of it in a few large blocks, given back whole when this goes.
  struct Read {
    std::int64_t length = 0;
    FileStatus status;
    unsigned char tail[TrailerSize] = {};
    unsigned char head[HeadSize] = {};
    unsigned char headRead = 0;
  };
  // The read of `path`, or null when it was not read ahead (or is still being read).
  const Read* Find(const char* path) const;
  void ReadAll(std::size_t first);

  const std::vector<std::string> natives_;
  KeyOf keyOf_;
  std::atomic<bool> stop_{false};
  NameIndex paths_;         // the CP932 paths read
  std::vector<Read> read_;  // by the path's number
  std::thread thread_;
};

}  // namespace selvane
