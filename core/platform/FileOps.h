#pragma once
// The file operations the logic names, on CP932 paths. Every call returns a
// result the caller must look at; the error is an errno value.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/platform/FileStatus.h"

namespace selvane {

inline constexpr std::size_t TrailerSize = 128;

// Given for a path that names something other than a regular file or a
// folder (a pipe, a socket, a device): such a thing has no tag, is never
// opened and is never "a file of that name". A folder gives EISDIR.
inline constexpr int NotRegularFileError = -1;
// Given when a file was changed or replaced between the look that planned a
// write and the write, which then does not happen.
inline constexpr int ChangedSinceLookError = -2;
// Given when a file reached through a symbolic link would have to be made
// anew: the new file would replace the link, not the file.
inline constexpr int LinkedFileError = -4;

// A path in both forms: the CP932 bytes the logic keeps, and their native
// form, made once by the command that plans the call, its bytes followed by
// a NUL (as a std::string's or NativePaths' are). An empty `native` was not
// made: the call makes it, and fails with EILSEQ when there is none.
struct PlannedPath {
  const char* cp932;
  std::string_view native;
};

class FileOps {
 public:
  virtual ~FileOps() = default;

  // Only regular files are opened; anything else gives EISDIR or
  // NotRegularFileError without being opened, so a pipe or a device never
  // blocks the program.

  // Open read-only, take the length, close.
  virtual FileResult Length(const char* path, std::int64_t& length) = 0;
  // Read the last 128 bytes into `tail` and give the file's length. A file
  // shorter than 128 bytes gives length < 128 and leaves `tail` unspecified.
  virtual FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) = 0;
  // Read exactly `size` bytes at `offset` (EIO when the file ends before).
  virtual FileResult ReadAt(const char* path, std::int64_t offset, void* data,
                            std::size_t size) = 0;
  // ReadTail that also gives what the path named as it was read: a status
  // taken at no extra cost, which a command that reads every tag first can
  // use as each file's identity. (The default looks twice.)
  virtual FileResult ReadTailAndStatus(const char* path, unsigned char* tail, std::int64_t& length,
                                       FileStatus& status) {
    status = Status(path);
    return ReadTail(path, tail, length);
  }
  // ReadTail, with the status when `status` is given, that also reads the
  // file's first bytes, up to `headSize` of them (fewer in a shorter file;
  // `headRead` says how many), for a tag at the head. (The default opens the
  // file twice; the real one reads both ends through one open.)
  virtual FileResult ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                              FileStatus* status, unsigned char* head, std::size_t headSize,
                              std::size_t& headRead);
  virtual FileResult Truncate(const char* path, std::int64_t length) = 0;
  virtual FileResult Append(const char* path, const void* data, std::size_t size) = 0;
  // Write `size` bytes at `offset` of an existing file (no create, no append).
  virtual FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                             std::size_t size) = 0;
  // Writes each piece at its offset (a piece at the end extends the file),
  // cuts the file at `length` when that is not negative, and syncs its data
  // once, so that the write lasts as one. (The default: the calls above.)
  virtual FileResult WriteSynced(const char* path, std::span<const FilePiece> pieces,
                                 std::int64_t length = -1);
  // Makes the file of `plan` under `beside` (never over a file there), with
  // the old file's mode, synced; then, when `path` is still the file
  // expected, renames it over `path` and syncs the folder. `placed` gets
  // what `path` names afterwards. Any failure before the rename removes the
  // new file and leaves `path` as it was.
  virtual FileResult RebuildFile(const RebuildPlan& plan, FileStatus& placed) {
    (void)plan;
    placed = {};
    return FileResult{ENOSYS};
  }
  virtual FileStatus Status(const char* path) = 0;
  virtual FileResult Delete(const char* path) = 0;
  // Give a file a new path. Never replaces an existing file (EEXIST then);
  // across file systems it copies into a new file and removes the source,
  // and a failed copy leaves the source as it was.
  virtual FileResult Move(const char* from, const char* to) = 0;
  // Move, and give what `to` names afterwards: a move across file systems
  // makes a new file, with another device and inode than the one planned.
  // A `moved` that comes in known (not Missing) is the caller's word for the
  // file as planned on a medium that keeps inode numbers: a plain rename in
  // place leaves it as it is, unlooked at; any other road looks again.
  virtual FileResult MoveAndStatus(const char* from, const char* to, FileStatus& moved) {
    const FileResult result = Move(from, to);
    moved = result ? Status(to) : FileStatus{};
    return result;
  }
  // Move, or MoveAndStatus when `moved` is given, for paths whose native
  // form the caller already holds. Calls that keep no native names (a
  // test's stand-in, a wrapper) take the CP932 road above.
  virtual FileResult MovePlanned(const PlannedPath& from, const PlannedPath& to,
                                 FileStatus* moved) {
    return moved != nullptr ? MoveAndStatus(from.cp932, to.cp932, *moved)
                            : Move(from.cp932, to.cp932);
  }
  // Status, ReadEnds and ReadAt for a path whose native form the caller
  // may hold, as MovePlanned.
  virtual FileStatus StatusPlanned(const PlannedPath& path) { return Status(path.cp932); }
  virtual FileResult ReadEndsPlanned(const PlannedPath& path, unsigned char* tail,
                                     std::int64_t& length, FileStatus* status, unsigned char* head,
                                     std::size_t headSize, std::size_t& headRead) {
    return ReadEnds(path.cp932, tail, length, status, head, headSize, headRead);
  }
  virtual FileResult ReadAtPlanned(const PlannedPath& path, std::int64_t offset, void* data,
                                   std::size_t size) {
    return ReadAt(path.cp932, offset, data, size);
  }
  // Delete, MoveToOtherCase and the writes that take back a tag change,
  // for paths whose native form the caller may hold, as MovePlanned.
  virtual FileResult DeletePlanned(const PlannedPath& path) { return Delete(path.cp932); }
  virtual FileResult MoveToOtherCasePlanned(const PlannedPath& from, const PlannedPath& to) {
    return MoveToOtherCase(from.cp932, to.cp932);
  }
  virtual FileResult TruncatePlanned(const PlannedPath& path, std::int64_t length) {
    return Truncate(path.cp932, length);
  }
  virtual FileResult AppendPlanned(const PlannedPath& path, const void* data, std::size_t size) {
    return Append(path.cp932, data, size);
  }
  virtual FileResult WriteAtPlanned(const PlannedPath& path, std::int64_t offset, const void* data,
                                    std::size_t size) {
    return WriteAt(path.cp932, offset, data, size);
  }
  virtual FileResult WriteSyncedPlanned(const PlannedPath& path, std::span<const FilePiece> pieces,
                                        std::int64_t length) {
    return WriteSynced(path.cp932, pieces, length);
  }
  virtual FileResult SyncFilePlanned(const PlannedPath& path) { return SyncFile(path.cp932); }
  // True when the Planned calls use the native form given, so that a
  // command gains by making it once for its many calls on one path.
  virtual bool TakesNativePaths() const { return false; }
  // Give a file only another letter case of its name, in its folder. Where
  // the folder takes both spellings for one name the move above refuses
  // (the new spelling is "taken" by the file itself); this one refuses
  // (EEXIST) only when the folder lists the new spelling as a name of its own.
  virtual FileResult MoveToOtherCase(const char* from, const char* to) { return Move(from, to); }
  // True when the reading calls above may run on two threads at once (the
  // system's calls may; a test's stand-in may keep a log).
  virtual bool ReadsFromTwoThreads() const { return false; }
  // Calls `each` with the native names a CP932 folder holds ("." and ".."
  // left out) while it returns true, for a caller about to ask after many
  // names in it. False when the folder was not read whole (it cannot be
  // read, `each` stopped it), or these calls do not read folders.
  virtual bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) {
    (void)folder;
    (void)each;
    return false;
  }
  // Make a change lasting, so that a power cut after the call keeps it: the
  // bytes and length written into a file, or the names moved into and out
  // of a folder. A folder whose file system cannot sync folders gives
  // success. Calls that keep nothing on disk have nothing to sync.
  virtual FileResult SyncFile(const char* path) {
    (void)path;
    return {};
  }
  virtual FileResult SyncFolder(const char* path) {
    (void)path;
    return {};
  }
  // Sets the record told of each placeholder (MoveOptions::placeholder)
  // and gives back the one it replaces; a FileOps that never makes one
  // ignores it.
  virtual std::function<FileResult(PlaceholderStep, const char*)> SetPlaceholderRecord(
      std::function<FileResult(PlaceholderStep, const char*)>) {
    return {};
  }
};

// Passes every call to another FileOps: a base for one that changes a few.
class ForwardingFileOps : public FileOps {
 public:
  explicit ForwardingFileOps(FileOps& inner) : inner_(inner) {}

  FileResult Length(const char* path, std::int64_t& length) override {
    return inner_.Length(path, length);
  }
  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override {
    return inner_.ReadTail(path, tail, length);
  }
  FileResult ReadAt(const char* path, std::int64_t offset, void* data, std::size_t size) override {
    return inner_.ReadAt(path, offset, data, size);
  }
  FileResult ReadTailAndStatus(const char* path, unsigned char* tail, std::int64_t& length,
                               FileStatus& status) override {
    return inner_.ReadTailAndStatus(path, tail, length, status);
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
  FileResult WriteSynced(const char* path, std::span<const FilePiece> pieces,
                         std::int64_t length = -1) override {
    return inner_.WriteSynced(path, pieces, length);
  }
  FileResult RebuildFile(const RebuildPlan& plan, FileStatus& placed) override {
    return inner_.RebuildFile(plan, placed);
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
  FileResult SyncFile(const char* path) override { return inner_.SyncFile(path); }
  FileResult SyncFolder(const char* path) override { return inner_.SyncFolder(path); }
  bool ReadsFromTwoThreads() const override { return inner_.ReadsFromTwoThreads(); }
  bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) override {
    return inner_.ListFolder(folder, each);
  }
  std::function<FileResult(PlaceholderStep, const char*)> SetPlaceholderRecord(
      std::function<FileResult(PlaceholderStep, const char*)> record) override {
    return inner_.SetPlaceholderRecord(std::move(record));
  }

 protected:
  FileOps& inner_;
};

// The real file system with its own move options.
std::unique_ptr<FileOps> NewSystemFileOps(MoveOptions options);

// True when `native` holds what a killed move leaves: an empty regular file
// (or empty folder) at the very path the caller recorded for a placeholder,
// made no earlier than the record (`recordedAt`, seconds since the epoch; a
// file older than that was someone else's). Removing it is the caller's.
bool IsOwnPlaceholder(const std::string& native, const std::string& recorded,
                      std::int64_t recordedAt);

// The reason for a failure as the user reads it (CP932): the system's text,
// or the program's own for the cases it names itself.
std::string ErrorText(int error);

// The real file system.
FileOps& SystemFileOps();

// The same status and move for native paths (the trash keeps native names,
// which need not have a CP932 form). `error`, when given, gets the errno of
// a name that cannot be looked at, or of a link that leads nowhere.
FileStatus NativeStatus(const std::string& native, int* error = nullptr);
FileStatus NativeStatusAt(const char* native, int* error = nullptr);
FileResult NativeMove(const std::string& from, const std::string& to);
// The same for native names in one folder.
FileResult NativeMoveToOtherCase(const std::string& from, const std::string& to);
// `moved`, when given, gets what `to` names after the move (as MoveAndStatus).
FileResult NativeMove(const std::string& from, const std::string& to, const MoveOptions& options,
                      FileStatus* moved = nullptr);

// The process's current directory as a CP932 path ending in '/'; false when
// it cannot be read or has no CP932 form.
bool CurrentDirectory(std::string& cp932);
// The same as it is on disk (UTF-8 on Linux), ending in '/'; false when it
// cannot be read.
bool NativeCurrentDirectory(std::string& native);

}  // namespace selvane
