#pragma once
// Test doubles for the file operations. FaultyFileOps: the real ones with
// faults on cue -- a chosen call fails with a chosen errno without touching
// the disk, or a hook runs just before it (to change the disk between two
// steps of the code under test). NoDiskFileOps: none reach the disk.
#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/platform/FileOps.h"

namespace selvane {

// Every call fails with ENOSYS, except that every path is a regular file; a test
// overrides the calls it serves.
class NoDiskFileOps : public FileOps {
 public:
  FileResult Length(const char*, std::int64_t&) override { return {ENOSYS}; }
  FileResult ReadTail(const char*, unsigned char*, std::int64_t&) override { return {ENOSYS}; }
  FileResult ReadAt(const char*, std::int64_t, void*, std::size_t) override { return {ENOSYS}; }
  FileResult Truncate(const char*, std::int64_t) override { return {ENOSYS}; }
  FileResult Append(const char*, const void*, std::size_t) override { return {ENOSYS}; }
  FileResult WriteAt(const char*, std::int64_t, const void*, std::size_t) override {
    return {ENOSYS};
  }
  FileStatus Status(const char*) override {
    FileStatus status;
    status.kind = FileKind::Regular;
    status.device = status.nameDevice = 1;
    status.inode = status.nameInode = 1;
    return status;
  }
  FileResult Delete(const char*) override { return {ENOSYS}; }
  FileResult Move(const char*, const char*) override { return {ENOSYS}; }
};

enum class FileOp { Length, ReadTail, Truncate, Append, WriteAt, Status, Delete, Move, ReadAt };

class FaultyFileOps : public FileOps {
 public:
  // Arguments of the call: the path (the source for Move) and Move's target.
  using Match = std::function<bool(const std::string& first, const std::string& second)>;
  using Hook = std::function<void(const std::string& first, const std::string& second)>;

  explicit FaultyFileOps(FileOps& inner = SystemFileOps()) : inner_(inner) {}

  // The nth call (from 1) of `op` fails with `error`.
  void FailCall(FileOp op, int nth, int error) { rules_.push_back({op, nth, {}, error, {}, 1}); }
  // Calls of `op` whose arguments match fail with `error`, `times` times
  // (-1: always).
  void FailWhen(FileOp op, Match match, int error, int times = -1) {
    rules_.push_back({op, 0, std::move(match), error, {}, times});
  }
  // Runs `hook` before the nth call (from 1) of `op`, which then goes on.
  void BeforeCall(FileOp op, int nth, Hook hook) {
    rules_.push_back({op, nth, {}, 0, std::move(hook), 1});
  }

  int Calls(FileOp op) const { return counts_[static_cast<int>(op)]; }

  FileResult Length(const char* path, std::int64_t& length) override {
    if (const int e = Enter(FileOp::Length, path)) return FileResult{e};
    return inner_.Length(path, length);
  }
  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override {
    if (const int e = Enter(FileOp::ReadTail, path)) return FileResult{e};
    return inner_.ReadTail(path, tail, length);
  }
  FileResult ReadAt(const char* path, std::int64_t offset, void* data, std::size_t size) override {
    if (const int e = Enter(FileOp::ReadAt, path)) return FileResult{e};
    return inner_.ReadAt(path, offset, data, size);
  }
  FileResult Truncate(const char* path, std::int64_t length) override {
    if (const int e = Enter(FileOp::Truncate, path)) return FileResult{e};
    return inner_.Truncate(path, length);
  }
  FileResult Append(const char* path, const void* data, std::size_t size) override {
    if (const int e = Enter(FileOp::Append, path)) return FileResult{e};
    return inner_.Append(path, data, size);
  }
  FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                     std::size_t size) override {
    if (const int e = Enter(FileOp::WriteAt, path)) return FileResult{e};
    return inner_.WriteAt(path, offset, data, size);
  }
  // A fault makes the path look free.
  FileStatus Status(const char* path) override {
    if (Enter(FileOp::Status, path) != 0) return {};
    return inner_.Status(path);
  }
  FileResult Delete(const char* path) override {
    if (const int e = Enter(FileOp::Delete, path)) return FileResult{e};
    return inner_.Delete(path);
  }
  FileResult Move(const char* from, const char* to) override {
    if (const int e = Enter(FileOp::Move, from, to)) return FileResult{e};
    return inner_.Move(from, to);
  }
  FileResult RebuildFile(const RebuildPlan& plan, FileStatus& placed) override {
    return inner_.RebuildFile(plan, placed);
  }

 private:
  struct Rule {
    FileOp op;
    int nth;  // 0: any call that `match` accepts
    Match match;
    int error;
    Hook hook;
    int remaining;  // -1: unlimited
  };

  // Counts the call, runs the hooks due and gives the errno of a fault (0
  // when the call goes through).
  int Enter(FileOp op, const char* first, const char* second = "") {
    const int call = ++counts_[static_cast<int>(op)];
    int error = 0;
    for (Rule& rule : rules_) {
      if (rule.op != op || rule.remaining == 0) continue;
      if (rule.nth != 0 ? rule.nth != call : !(rule.match && rule.match(first, second))) continue;
      if (rule.remaining > 0) --rule.remaining;
      if (rule.hook)
        rule.hook(first, second);
      else if (error == 0)
        error = rule.error;
    }
    return error;
  }

  FileOps& inner_;
  std::vector<Rule> rules_;
  int counts_[9] = {};
};

}  // namespace selvane
