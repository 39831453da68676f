#include "core/platform/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/Descriptor.h"
#include "core/platform/FolderListing.h"
#include "core/platform/MoveInternal.h"
#include "core/platform/RebuildInternal.h"

namespace selvane {
namespace {

using namespace platform;  // this file is the platform's own

// strerror_r comes in two shapes; take the text from either.
[[maybe_unused]] const char* PickText(int rc, const char* buffer) {
  return rc == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* PickText(const char* text, const char*) { return text; }

// The CP932 path as a native one; EILSEQ when it has none.
bool ToNative(const char* cp932, std::string& native, FileResult& result) {
  if (Cp932PathToNative(cp932, native)) return true;
  result = FileResult{EILSEQ};
  return false;
}

// The native form to call the system with: the caller's, else one made
// into `made`; null when there is none.
const char* NativeFor(const PlannedPath& path, std::string& made, FileResult& result) {
  if (!path.native.empty()) return path.native.data();
  return ToNative(path.cp932, made, result) ? made.c_str() : nullptr;
}

// The native form the caller holds, else one made into `made`.
bool NativeOf(const PlannedPath& path, std::string& made, FileResult& result) {
  if (path.native.empty()) return ToNative(path.cp932, made, result);
  made.assign(path.native);
  return true;
}

FileResult NotRegular(const struct stat& st) {
  return Failure(S_ISDIR(st.st_mode) ? EISDIR : NotRegularFileError);
}

}  // namespace

// The name itself first (one call for the common case of a name that is no
// link), then, for a link, where it leads.
FileStatus NativeStatus(const std::string& native, int* error) {
  return NativeStatusAt(native.c_str(), error);
}

FileStatus NativeStatusAt(const char* native, int* error) {
  struct stat own {};
  if (::lstat(native, &own) != 0) {
    if (error != nullptr) *error = errno;
    return {};
  }
  FileStatus status;
  status.nameDevice = static_cast<std::uint64_t>(own.st_dev);
  status.nameInode = static_cast<std::uint64_t>(own.st_ino);
  status.link = S_ISLNK(own.st_mode);
  struct stat st = own;
  if (status.link) {
    std::vector<char> text(static_cast<std::size_t>(own.st_size > 0 ? own.st_size : 255) + 1);
    const ssize_t n = ::readlink(native, text.data(), text.size());
    if (n > 0 && static_cast<std::size_t>(n) < text.size() &&
        !NativePathToCp932(std::string_view(text.data(), static_cast<std::size_t>(n)),
                           status.linkText))
      status.linkText.clear();
    if (::stat(native, &st) != 0) {
      // A link whose target is gone still holds its name.
      if (error != nullptr) *error = errno;
      status.kind = FileKind::Other;
      status.device = status.nameDevice;
      status.inode = status.nameInode;
      return status;
    }
  }
  status.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                : S_ISDIR(st.st_mode) ? FileKind::Folder
                                      : FileKind::Other;
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  status.length = static_cast<std::int64_t>(st.st_size);
  status.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return status;
}

namespace {

// Opens the regular file at the CP932 path with `flags` into `fd`. The type
// is looked at before the open, so a pipe or a device is never opened (an
// open of a pipe waits for its other end), and again after it, in case the
// name was given to something else in between; O_NONBLOCK keeps even that
// open from waiting and changes nothing for a regular file. `status`, when
// asked for, is what the path named (its length as the open found it).
FileResult Open(const PlannedPath& path, int flags, Fd& fd, struct stat* info = nullptr,
                FileStatus* status = nullptr) {
  std::string made;
  FileResult result;
  const char* native = NativeFor(path, made, result);
  if (native == nullptr) return result;
  int error = 0;
  FileStatus named = NativeStatusAt(native, &error);
  if (status != nullptr) *status = named;  // also for a file that cannot be opened
  if (error != 0) return Failure(error);
  if (named.kind != FileKind::Regular)
    return Failure(named.kind == FileKind::Folder ? EISDIR : NotRegularFileError);
  fd.Reset(OpenRetrying(native, flags | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return LastError();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return NotRegular(st);
  if (info != nullptr) *info = st;
  if (status != nullptr) status->length = static_cast<std::int64_t>(st.st_size);
  return {};
}

// Opens the CP932 path for reading and gives the file's length.
FileResult OpenForReading(const PlannedPath& path, Fd& fd, std::int64_t& length,
                          FileStatus* status = nullptr) {
  struct stat st {};
  if (FileResult result = Open(path, O_RDONLY, fd, &st, status); !result) return result;
  length = st.st_size;
  return {};
}

class SystemOps final : public FileOps {
 public:
  SystemOps() = default;
  explicit SystemOps(MoveOptions options) : options_(std::move(options)) {}

  bool ReadsFromTwoThreads() const override { return true; }

  bool ListFolder(const char* folder, const std::function<bool(std::string_view)>& each) override {
    std::string native;
    return Cp932PathToNative(folder, native) &&
           FolderListing::ForEach(native,
                                  [&each](std::string_view name, bool) { return each(name); });
  }

  FileResult Length(const char* path, std::int64_t& length) override {
    Fd fd;
    return OpenForReading({path, {}}, fd, length);
  }

  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override {
    return ReadTailOf(path, tail, length, nullptr);
  }

  FileResult ReadTailAndStatus(const char* path, unsigned char* tail, std::int64_t& length,
                               FileStatus& status) override {
    status = {};
    return ReadTailOf(path, tail, length, &status);
  }

  bool TakesNativePaths() const override { return true; }

  FileResult ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                      FileStatus* status, unsigned char* head, std::size_t headSize,
                      std::size_t& headRead) override {
    return ReadEndsPlanned({path, {}}, tail, length, status, head, headSize, headRead);
  }

  FileResult ReadEndsPlanned(const PlannedPath& path, unsigned char* tail, std::int64_t& length,
                             FileStatus* status, unsigned char* head, std::size_t headSize,
                             std::size_t& headRead) override {
    headRead = 0;
    if (status != nullptr) *status = {};
    Fd fd;
    if (FileResult result = OpenForReading(path, fd, length, status); !result) return result;
    const std::size_t want =
        std::min(headSize, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
    if (FileResult result = ReadAllAt(fd.get(), head, want, 0); !result) return result;
    headRead = want;
    if (length < static_cast<std::int64_t>(TrailerSize)) return {};
    return ReadAllAt(fd.get(), tail, TrailerSize,
                     static_cast<off_t>(length - static_cast<std::int64_t>(TrailerSize)));
  }

  FileResult ReadAt(const char* path, std::int64_t offset, void* data, std::size_t size) override {
    return ReadAtPlanned({path, {}}, offset, data, size);
  }

  FileResult ReadAtPlanned(const PlannedPath& path, std::int64_t offset, void* data,
                           std::size_t size) override {
    if (offset < 0) return Failure(EINVAL);
    Fd fd;
    std::int64_t length = 0;
    if (FileResult result = OpenForReading(path, fd, length); !result) return result;
    return platform::ReadAllAt(fd.get(), data, size, static_cast<off_t>(offset));
  }

  FileResult Truncate(const char* path, std::int64_t length) override {
    return TruncatePlanned({path, {}}, length);
  }

  FileResult TruncatePlanned(const PlannedPath& path, std::int64_t length) override {
    if (length < 0) return Failure(EINVAL);
    Fd fd;
    if (FileResult result = Open(path, O_WRONLY, fd); !result) return result;
    if (::ftruncate(fd.get(), static_cast<off_t>(length)) != 0) return LastError();
    return FileResult{fd.Close()};
  }

  FileResult Append(const char* path, const void* data, std::size_t size) override {
    return AppendPlanned({path, {}}, data, size);
  }

  FileResult AppendPlanned(const PlannedPath& path, const void* data, std::size_t size) override {
    Fd fd;
    struct stat st {};
    if (FileResult result = Open(path, O_WRONLY | O_APPEND, fd, &st); !result) return result;
    const FileResult result = WriteAll(fd.get(), data, size, 0, false);
    if (!result) {
      // A half-written trailer would read as garbage; cut it off again
      // (best effort: the write error is what the caller hears about).
      [[maybe_unused]] const int ignored = ::ftruncate(fd.get(), st.st_size);
      return result;
    }
    return FileResult{fd.Close()};
  }

  FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                     std::size_t size) override {
    return WriteAtPlanned({path, {}}, offset, data, size);
  }

  FileResult WriteAtPlanned(const PlannedPath& path, std::int64_t offset, const void* data,
                            std::size_t size) override {
    if (offset < 0) return Failure(EINVAL);
    Fd fd;
    if (FileResult result = Open(path, O_WRONLY, fd); !result) return result;
    const FileResult result = WriteAll(fd.get(), data, size, static_cast<off_t>(offset), true);
    if (!result) return result;
    return FileResult{fd.Close()};
  }

  FileResult WriteSynced(const char* path, std::span<const FilePiece> pieces,
                         std::int64_t length) override {
    return WriteSyncedPlanned({path, {}}, pieces, length);
  }

  FileResult WriteSyncedPlanned(const PlannedPath& path, std::span<const FilePiece> pieces,
                                std::int64_t length) override {
    std::string native;
    FileResult result;
    if (!NativeOf(path, native, result)) return result;
    return WriteSyncedNative(native, pieces, length);
  }

  FileResult RebuildFile(const RebuildPlan& plan, FileStatus& placed) override {
    std::string native, beside;
    FileResult result;
    placed = {};
    if (!NativeOf({plan.path, plan.nativePath}, native, result) ||
        !NativeOf({plan.beside, plan.nativeBeside}, beside, result))
      return result;
    return RebuildNative(native, beside, plan, placed);
  }

  FileStatus Status(const char* path) override {
    std::string native;
    if (!Cp932PathToNative(path, native)) return {};
    return NativeStatus(native);
  }

  FileStatus StatusPlanned(const PlannedPath& path) override {
    return path.native.empty() ? Status(path.cp932) : NativeStatusAt(path.native.data());
  }

  FileResult Delete(const char* path) override { return DeletePlanned({path, {}}); }

  FileResult DeletePlanned(const PlannedPath& path) override {
    std::string made;
    FileResult result;
    const char* native = NativeFor(path, made, result);
    if (native == nullptr) return result;
    // unlink refuses folders (EISDIR) by itself.
    if (::unlink(native) != 0) return LastError();
    return {};
  }

  FileResult Move(const char* from, const char* to) override {
    std::string nativeFrom, nativeTo;
    FileResult result;
    if (!ToNative(from, nativeFrom, result) || !ToNative(to, nativeTo, result)) return result;
    return MoveNative(nativeFrom.c_str(), nativeTo.c_str(), options_, to, nullptr);
  }

  FileResult MovePlanned(const PlannedPath& from, const PlannedPath& to,
                         FileStatus* moved) override {
    if (from.native.empty() || to.native.empty())
      return moved != nullptr ? MoveAndStatus(from.cp932, to.cp932, *moved)
                              : Move(from.cp932, to.cp932);
    return MoveNative(from.native.data(), to.native.data(), options_, to.cp932, moved);
  }

  FileResult MoveToOtherCase(const char* from, const char* to) override {
    return MoveToOtherCasePlanned({from, {}}, {to, {}});
  }

  FileResult MoveToOtherCasePlanned(const PlannedPath& from, const PlannedPath& to) override {
    std::string nativeFrom, nativeTo;
    FileResult result;
    if (!NativeOf(from, nativeFrom, result) || !NativeOf(to, nativeTo, result)) return result;
    return NativeMoveToOtherCase(nativeFrom, nativeTo);
  }

  FileResult MoveAndStatus(const char* from, const char* to, FileStatus& moved) override {
    std::string nativeFrom, nativeTo;
    FileResult result;
    if (!ToNative(from, nativeFrom, result) || !ToNative(to, nativeTo, result)) {
      moved = {};
      return result;
    }
    return MoveNative(nativeFrom.c_str(), nativeTo.c_str(), options_, to, &moved);
  }

  // Any descriptor of the file will do: one that may read, else (a file
  // only its writer may touch) one that may write.
  FileResult SyncFile(const char* path) override { return SyncFilePlanned({path, {}}); }

  FileResult SyncFilePlanned(const PlannedPath& path) override {
    Fd fd;
    FileResult result = Open(path, O_RDONLY, fd);
    if (result.error == EACCES) result = Open(path, O_WRONLY, fd);
    if (!result) return result;
    if (::fdatasync(fd.get()) != 0) return LastError();
    return {};
  }

  FileResult SyncFolder(const char* path) override {
    std::string native;
    FileResult result;
    if (!ToNative(path, native, result)) return result;
    // A folder that is gone has no names to keep, and one that cannot be
    // opened cannot be synced by anyone: neither may hold a change back.
    Fd folder(OpenRetrying(native.c_str(), O_RDONLY | O_DIRECTORY));
    if (!folder.valid())
      return errno == ENOENT || errno == ENOTDIR || errno == EACCES ? FileResult{} : LastError();
    if (::fsync(folder.get()) == 0) return {};
    // Some file systems have no sync for a folder; their names are as
    // lasting as they can be made.
    const int error = errno;
    if (error == EINVAL || error == ENOTSUP || error == ENOSYS || error == EROFS) return {};
    return Failure(error);
  }

  std::function<FileResult(PlaceholderStep, const char*)> SetPlaceholderRecord(
      std::function<FileResult(PlaceholderStep, const char*)> record) override {
    return std::exchange(options_.placeholder, std::move(record));
  }

 private:
  MoveOptions options_;

  static FileResult ReadTailOf(const char* path, unsigned char* tail, std::int64_t& length,
                               FileStatus* status) {
    Fd fd;
    if (FileResult result = OpenForReading({path, {}}, fd, length, status); !result) return result;
    if (length < static_cast<std::int64_t>(TrailerSize)) return {};
    std::size_t done = 0;
    while (done < TrailerSize) {
      const ssize_t n =
          ::pread(fd.get(), tail + done, TrailerSize - done,
                  static_cast<off_t>(length) - static_cast<off_t>(TrailerSize - done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      if (n == 0) return Failure(EIO);  // shrunk while being read
      done += static_cast<std::size_t>(n);
    }
    return {};
  }
};

}  // namespace

FileResult FileOps::ReadEnds(const char* path, unsigned char* tail, std::int64_t& length,
                             FileStatus* status, unsigned char* head, std::size_t headSize,
                             std::size_t& headRead) {
  headRead = 0;
  const FileResult read = status != nullptr ? ReadTailAndStatus(path, tail, length, *status)
                                            : ReadTail(path, tail, length);
  if (!read) return read;
  const std::size_t want =
      std::min(headSize, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
  if (want > 0 && ReadAt(path, 0, head, want)) headRead = want;
  return read;
}

std::string ErrorText(int error) {
  const char* own = nullptr;
  switch (error) {
    case NotRegularFileError:
      own = "通常のファイルではありません（パイプ、デバイスなど）";
      break;
    case EISDIR:
      own = "フォルダです";
      break;
    case EILSEQ:
      own = "ファイル名にできない文字が含まれています";
      break;
    case ChangedSinceLookError:
      own = "確認したあとでファイルが変更されました";
      break;
    case LinkedFileError:
      own =
          "シンボリックリンクのため、タグを広げて書き込めません（リンク先のファイルを開いてください"
          "）";
      break;
    default:
      break;
  }
  if (own != nullptr) return Cp932(own);
  char buffer[256] = {};
  const char* text = PickText(strerror_r(error, buffer, sizeof buffer), buffer);
  std::string out;
  if (text == nullptr || !NativeToCp932(text, out)) out = "errno " + std::to_string(error);
  return out;
}

FileOps& SystemFileOps() {
  static SystemOps ops;
  return ops;
}

std::unique_ptr<FileOps> NewSystemFileOps(MoveOptions options) {
  return std::make_unique<SystemOps>(std::move(options));
}

bool NativeCurrentDirectory(std::string& native) {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  native.assign(buffer.data());
  if (native.empty() || native.back() != '/') native.push_back('/');
  return true;
}

bool CurrentDirectory(std::string& cp932) {
  std::string native;
  return NativeCurrentDirectory(native) && NativePathToCp932(native, cp932);
}

}  // namespace selvane
