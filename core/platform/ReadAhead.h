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

class TailsReadAhead final : public FileOps {
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

  FileResult Length(const char* path, std::int64_t& length) override {
    return inner_.Length(path, length);
  }
  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override {
    return inner_.ReadTail(path, tail, length);
  }
  FileResult ReadAt(const char* path, std::int64_t offset, void* data, std::size_t size) override {
    return inner_.ReadAt(path, offset, data, size);
  }
  FileResult ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                      FileStatus* status, unsigned char* head, std::size_t headSize,
                      std::size_t& headRead) override {
    return inner_.ReadEnds(path, tail, length, status, head, headSize, headRead);
  }
  FileResult Truncate(const char* path, std::int64_t length) override {
    return inner_.Truncate(path, length);
  }
  FileResult Append(const char* path, const void* data, std::size_t size) override {
    return inner_.Append(path, data, size);
  }
  FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                     std::size_t size) override {
    return inner_.WriteAt(path, offset, data, size);
  }
  FileStatus Status(const char* path) override { return inner_.Status(path); }
  FileResult Delete(const char* path) override { return inner_.Delete(path); }
  FileResult Move(const char* from, const char* to) override { return inner_.Move(from, to); }
  FileResult MoveAndStatus(const char* from, const char* to, FileStatus& moved) override {
    return inner_.MoveAndStatus(from, to, moved);
  }
  FileResult MoveToOtherCase(const char* from, const char* to) override {
    return inner_.MoveToOtherCase(from, to);
  }
  bool ReadsFromTwoThreads() const override { return inner_.ReadsFromTwoThreads(); }
  bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) override {
    return inner_.ListFolder(folder, each);
  }
  std::function<FileResult(PlaceholderStep, const char*)> SetPlaceholderRecord(
      std::function<FileResult(PlaceholderStep, const char*)> record) override {
    return inner_.SetPlaceholderRecord(std::move(record));
  }

 private:
  // All of it in a few large blocks, given back whole when this goes.
  struct Read {
    std::int64_t length = 0;
    FileStatus status;
    unsigned char tail[TrailerSize] = {};
  };
  void ReadAll(std::size_t first);

  FileOps& inner_;
  const std::vector<std::string> natives_;
  KeyOf keyOf_;
  std::atomic<bool> stop_{false};
  NameIndex paths_;         // the CP932 paths read
  std::vector<Read> read_;  // by the path's number
  std::thread thread_;
};

}  // namespace selvane
