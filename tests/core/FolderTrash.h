#pragma once
// A trash of its own in a test's folder, in the freedesktop layout
// (files/NAME, info/NAME.trashinfo), so that restoring and finding run the
// same code as with the desktop's trash.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/Trash.h"

namespace selvane {

class FolderTrash : public FreedesktopTrash {
 public:
  explicit FolderTrash(std::string root) : root_(std::move(root)) {
    ::mkdir((root_ + "/files").c_str(), 0700);
    ::mkdir((root_ + "/info").c_str(), 0700);
  }

  FileResult MoveToTrash(const PlannedPath& path, TrashedFile& trashed) override {
    std::string native(path.native);
    if (native.empty() && !Cp932PathToNative(path.cp932, native)) return FileResult{EILSEQ};
    const std::string base = native.substr(native.find_last_of('/') + 1);
    // The info file is made first and exclusively: it reserves the name.
    for (int n = 1; n < 100; ++n) {
      const std::string name = n == 1 ? base : base + "." + std::to_string(n);
      const std::string info = root_ + "/info/" + name + ".trashinfo";
      const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
      if (fd < 0) continue;
      const std::string text =
          "[Trash Info]\nPath=" + native + "\nDeletionDate=2024-12-09T10:31:00\n";
      const bool written =
          ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      ::close(fd);
      trashed.nativePath = root_ + "/files/" + name;
      const FileResult moved = written ? NativeMove(native, trashed.nativePath) : FileResult{EIO};
      if (!moved) {
        ::unlink(info.c_str());
        return moved;
      }
      trashed.file = NativeStatus(trashed.nativePath);
      return {};
    }
    return FileResult{EEXIST};
  }

  const std::string& root() const { return root_; }

 protected:
  std::vector<std::string> TrashFolders(const std::string&) override { return {root_}; }

 private:
  std::string root_;
};

}  // namespace selvane
