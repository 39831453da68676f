#include "core/platform/Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

#include "core/platform/Cp932.h"
#include "core/platform/Descriptor.h"
#include "core/platform/Volume.h"

namespace selvane {
namespace {

using namespace platform;  // this file is the platform's own

// The path with its folder resolved as the system resolves it (links, ".",
// ".."): the medium the file really lies on shows only then, and desktop
// trash tools record and compare the real folder too. `native` itself when
// its folder cannot be resolved (gone since).
std::string RealFolderPath(const std::string& native) {
  const std::size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return native;
  std::unique_ptr<char, decltype(&std::free)> real(
      ::realpath(FolderOfNative(native).c_str(), nullptr), &std::free);
  if (!real) return native;
  const std::string folder = real.get();
  return (folder == "/" ? std::string() : folder) + native.substr(slash);
}

// The home trash, its folder resolved: a data folder reached through a link
// (~/.local a link to another disk) is still the home trash, on that disk.
std::string HomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return RealFolderPath(std::string(data) + "/Trash");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return RealFolderPath(std::string(home) + "/.local/share/Trash");
  return {};
}

// The top of the file system that really holds `native`: the mount point the
// system's table gives for its resolved folder, never a walk up the path's
// text (a link on the way leads to another medium). Read afresh each time: a
// medium may have come or gone, and a trash is sought only for an agreed
// overwrite or an undo.
std::string TopOf(const std::string& native) {
  const MountTable mounts = MountTable::Read();
  const Volume* volume = mounts.MountOf(RealFolderPath(native));
  return volume != nullptr ? volume->mountPoint : std::string();
}

// Makes what was written into the folder last. A file system that cannot
// sync a folder is no failure; one that reports a lost write is.
bool SyncFolder(const std::string& folder) {
  Fd dir(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY));
  return !dir.valid() || ::fsync(dir.get()) == 0 || errno != EIO;
}

// The device of the nearest folder of `path` that exists (a trash folder may
// not have been made yet).
bool DeviceOfNearest(std::string path, dev_t& device) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/" || path.empty()) return false;
    path = FolderOfNative(path);
  }
  device = st.st_dev;
  return true;
}

// Makes `path` and the folders above it that are missing (0700, as the
// format asks for the trash's own folders).
bool MakeFolders(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (path == "/" || !MakeFolders(FolderOfNative(path))) return false;
  if (::mkdir(path.c_str(), 0700) != 0) return errno == EEXIST;
  SyncFolder(FolderOfNative(path));
  return true;
}

// A trash folder, with files/ and info/ made where missing, that a file on
// `device` may be moved into without a copy. `top` is the top of the file's
// own file system, for a Path relative to it (empty for the home trash).
struct TrashPlace {
  std::string folder, top;
};

bool Usable(const std::string& folder, dev_t device) {
  struct stat st {};
  return MakeFolders(folder + "/files") && MakeFolders(folder + "/info") &&
         ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == device;
}

bool PlaceFor(const std::string& native, dev_t device, TrashPlace& place) {
  dev_t homeDevice = 0;
  const std::string home = HomeTrash();
  if (!home.empty() && DeviceOfNearest(home, homeDevice) && homeDevice == device &&
      Usable(home, device)) {
    place = {home, {}};
    return true;
  }
  const std::string top = TopOf(native);
  if (top.empty()) return false;
  const std::string base = top == "/" ? std::string() : top;
  const std::string uid = std::to_string(::getuid());
  // TOPDIR/.Trash counts only as a real folder (no link) with the sticky bit.
  struct stat shared {};
  if (::lstat((base + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
      (shared.st_mode & S_ISVTX) != 0 && Usable(base + "/.Trash/" + uid, device)) {
    place = {base + "/.Trash/" + uid, top};
    return true;
  }
  if (Usable(base + "/.Trash-" + uid, device)) {
    place = {base + "/.Trash-" + uid, top};
    return true;
  }
  return false;
}

std::string InfoText(const std::string& native, const std::string& top) {
  // A trash on the medium keeps the path from its top, so that the entry
  // still names the file when the medium is mounted elsewhere.
  std::string path = native;
  if (!top.empty() && top != "/" && native.compare(0, top.size() + 1, top + "/") == 0)
    path = native.substr(top.size() + 1);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char date[32] = {};
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  return "[Trash Info]\nPath=" + EscapeTrashPath(path) + "\nDeletionDate=" + date + "\n";
}

// Writes the entry's .trashinfo whole and makes it last (the file, then its
// folder) before the file moves in: a power cut must never keep a file in
// files/ whose entry does not say where it came from. Made exclusively, it
// reserves the name (EEXIST when taken); on a failure nothing is left.
FileResult WriteInfo(const std::string& info, const std::string& text) {
  Fd fd(OpenRetrying(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
  if (!fd.valid()) return LastError();
  FileResult result = WriteAll(fd.get(), text.data(), text.size(), 0, false);
  if (result && ::fsync(fd.get()) != 0) result = LastError();
  if (const int error = fd.Close(); result && error != 0) result = Failure(error);
  if (result && !SyncFolder(FolderOfNative(info))) result = LastError();
  if (!result) ::unlink(info.c_str());
  return result;
}

}  // namespace

std::string EscapeTrashPath(const std::string& native) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(native.size());
  for (const char c : native) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(hex[byte >> 4]);
      out.push_back(hex[byte & 0x0F]);
    }
  }
  return out;
}

FileResult FreedesktopTrash::MoveToTrash(const PlannedPath& path, TrashedFile& trashed) {
  std::string native(path.native);
  if (native.empty() && !Cp932PathToNative(path.cp932, native)) return FileResult{EILSEQ};
  if (native.empty() || native[0] != '/') {
    std::string here;
    if (!NativeCurrentDirectory(here)) return FileResult{errno != 0 ? errno : ENOENT};
    native = here + native;
  }
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return FileResult{errno};
  const std::string real = RealFolderPath(native);
  TrashPlace place;
  if (!PlaceFor(real, st.st_dev, place)) return FileResult{EXDEV};
  const std::string base = real.substr(real.find_last_of('/') + 1);
  const std::string text = InfoText(real, place.top);
  for (int n = 1; n < 1000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = place.folder + "/info/" + name + ".trashinfo";
    if (const FileResult written = WriteInfo(info, text); !written) {
      if (written.error == EEXIST) continue;
      return written;
    }
    const std::string inTrash = place.folder + "/files/" + name;
    if (const FileResult moved = NativeMove(native, inTrash); !moved) {
      // The entry was made to last: its removal must last as well.
      ::unlink(info.c_str());
      SyncFolder(place.folder + "/info");
      if (moved.error == EEXIST) continue;  // a stray entry under that name
      return moved;
    }
    trashed.nativePath = inTrash;
    trashed.file = NativeStatus(inTrash);
    return {};
  }
  return FileResult{EEXIST};
}

FileResult FreedesktopTrash::Restore(const std::string& nativeInTrash, const PlannedPath& path) {
  std::string target(path.native);
  if (target.empty() && !Cp932PathToNative(path.cp932, target)) return FileResult{EILSEQ};
  if (FileResult moved = NativeMove(nativeInTrash, target); !moved) return moved;
  // The entry is back; a .trashinfo left behind would describe nothing.
  const std::string files = FolderOfNative(nativeInTrash);
  const std::size_t slash = nativeInTrash.find_last_of('/');
  if (files.size() >= 6 && files.compare(files.size() - 6, 6, "/files") == 0)
    ::unlink((FolderOfNative(files) + "/info/" + nativeInTrash.substr(slash + 1) + ".trashinfo")
                 .c_str());
  return {};
}

namespace {

std::string UnescapeTrashPath(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      plain += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

std::string ReadSmallFile(const std::string& path, std::size_t limit) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  ssize_t n = 0;
  while (text.size() < limit && (n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

// The Path= of an entry's .trashinfo, made absolute against the top of the
// medium whose trash holds it (a trash there keeps paths from its top).
std::string OriginalOf(const std::string& inTrash) {
  const std::string files = FolderOfNative(inTrash);
  const std::string folder = FolderOfNative(files);
  const std::string info = ReadSmallFile(
      folder + "/info/" + inTrash.substr(inTrash.find_last_of('/') + 1) + ".trashinfo", 1 << 16);
  const std::size_t at = info.find("\nPath=");
  if (at == std::string::npos) return {};
  const std::size_t from = at + 6, end = info.find('\n', from);
  std::string path = UnescapeTrashPath(std::string_view(info).substr(
      from, end == std::string::npos ? std::string::npos : end - from));
  if (!path.empty() && path.front() != '/') {
    // TOPDIR/.Trash/UID or TOPDIR/.Trash-UID
    std::string top = FolderOfNative(folder);
    if (top.size() >= 7 && top.compare(top.size() - 7, 7, "/.Trash") == 0)
      top = FolderOfNative(top);
    path = (top == "/" ? std::string() : top) + "/" + path;
  }
  return path;
}

bool EndsIn(const std::string& native, std::int64_t length, const std::string& tail) {
  const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::string end(tail.size(), '\0');
  const ssize_t n = ::pread(fd, end.data(), end.size(),
                            static_cast<off_t>(length - static_cast<std::int64_t>(tail.size())));
  ::close(fd);
  return n == static_cast<ssize_t>(tail.size()) && end == tail;
}

}  // namespace

std::string FreedesktopTrash::Find(const FileStatus& file, const std::string& tail,
                                   const std::string& hint, const std::string& original) {
  if (file.kind == FileKind::Missing || original.empty()) return {};
  // An entry keeps the real folder; one from elsewhere may keep the path as given.
  const std::string real = RealFolderPath(original);
  const auto matches = [&](const std::string& inTrash, const struct stat& st) {
    if (!S_ISREG(st.st_mode) || static_cast<std::int64_t>(st.st_size) != file.length) return false;
    if (tail.empty()) {
      if (static_cast<std::uint64_t>(st.st_dev) != file.nameDevice ||
          static_cast<std::uint64_t>(st.st_ino) != file.nameInode)
        return false;
    } else if (!EndsIn(inTrash, file.length, tail)) {
      return false;
    }
    const std::string was = OriginalOf(inTrash);
    return was == original || was == real;
  };
  struct stat st {};
  if (!hint.empty() && ::lstat(hint.c_str(), &st) == 0 && matches(hint, st)) return hint;
  for (const std::string& folder : TrashFolders(real)) {
    const std::string files = folder + "/files";
    std::unique_ptr<DIR, platform::DirCloser> dir(::opendir(files.c_str()));
    if (!dir) continue;
    while (const dirent* item = ::readdir(dir.get())) {
      if (::fstatat(::dirfd(dir.get()), item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      const std::string inTrash = files + "/" + item->d_name;
      if (matches(inTrash, st)) return inTrash;
    }
  }
  return {};
}

std::vector<std::string> FreedesktopTrash::TrashFolders(const std::string& nearNative) {
  std::vector<std::string> folders;
  if (std::string home = HomeTrash(); !home.empty()) folders.push_back(std::move(home));
  const std::string top = TopOf(nearNative);
  if (!top.empty()) {
    const std::string base = top == "/" ? std::string() : top;
    const std::string uid = std::to_string(::getuid());
    folders.push_back(base + "/.Trash/" + uid);
    folders.push_back(base + "/.Trash-" + uid);
  }
  return folders;
}

}  // namespace selvane
