#include "core/platform/Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "core/platform/Cp932.h"

namespace selvane {
namespace {

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string HomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/Trash";
  return {};
}

// The top of the file system that holds `path`: the last folder upwards
// that still lies on the same device.
std::string TopOf(const std::string& path) {
  struct stat st {};
  std::string at = Parent(path);
  if (::stat(at.c_str(), &st) != 0) return {};
  const dev_t device = st.st_dev;
  while (at != "/") {
    const std::string up = Parent(at);
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    at = up;
  }
  return at;
}

bool SameName(const FileStatus& a, const FileStatus& b) {
  return a.kind != FileKind::Missing && b.kind != FileKind::Missing &&
         a.nameDevice == b.nameDevice && a.nameInode == b.nameInode;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

FileResult FreedesktopTrash::Restore(const std::string& nativeInTrash, const char* path) {
  std::string target;
  if (!Cp932PathToNative(path, target)) return FileResult{EILSEQ};
  if (FileResult moved = NativeMove(nativeInTrash, target); !moved) return moved;
  // The entry is back; a .trashinfo left behind would describe nothing.
  const std::string files = Parent(nativeInTrash);
  const std::size_t slash = nativeInTrash.find_last_of('/');
  if (files.size() >= 6 && files.compare(files.size() - 6, 6, "/files") == 0)
    ::unlink((Parent(files) + "/info/" + nativeInTrash.substr(slash + 1) + ".trashinfo").c_str());
  return {};
}

std::string FreedesktopTrash::Find(const FileStatus& file, const std::string& hint,
                                   const std::string& nearNative) {
  if (file.kind == FileKind::Missing) return {};
  if (!hint.empty() && SameName(NativeStatus(hint), file)) return hint;
  for (const std::string& folder : TrashFolders(nearNative)) {
    const std::string files = folder + "/files";
    std::unique_ptr<DIR, DirCloser> dir(::opendir(files.c_str()));
    if (!dir) continue;
    // Every entry is looked at: on an overlay the inode that readdir gives,
    // and the device of the folder, need not be those that stat gives.
    struct stat st {};
    while (const dirent* item = ::readdir(dir.get())) {
      if (::fstatat(::dirfd(dir.get()), item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (static_cast<std::uint64_t>(st.st_dev) == file.nameDevice &&
          static_cast<std::uint64_t>(st.st_ino) == file.nameInode)
        return files + "/" + item->d_name;
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
