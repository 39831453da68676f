#include "core/platform/StatePaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace selvane {

std::string DefaultHistoryPath() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    std::string homeFolder = home != nullptr && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
      struct passwd entry {};
      struct passwd* found = nullptr;
      char buffer[4096];
      if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 &&
          found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        homeFolder = found->pw_dir;
    }
    if (homeFolder.empty()) return {};
    base = homeFolder + "/.local/state";
  }
  return base + "/selvane/history.sqlite3";
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return slash == 0 ? "/" : ".";
  return path.substr(0, slash);
}

namespace {

bool MakeFolders(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (folder.empty() || folder == "/" || folder == ".") return false;
  if (!MakeFolders(ParentFolder(folder))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

bool MakeParentFolders(const std::string& file) { return MakeFolders(ParentFolder(file)); }

}  // namespace selvane
