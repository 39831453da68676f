#pragma once
// The desktop's trash: where a file replaced by a rename goes instead of
// being deleted, and where undo looks for it again.
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/FileOps.h"

namespace selvane {

// A file that went into the trash: where it lies there (native) and its
// status as it lies there (the same inode as before, unless the trash had
// to copy it).
struct TrashedFile {
  std::string nativePath;
  FileStatus file;
};

class Trash {
 public:
  virtual ~Trash() = default;
  // Moves the file at the path into the trash. Fails (and changes
  // nothing) when no trash can be reached for it.
  virtual FileResult MoveToTrash(const PlannedPath& path, TrashedFile& trashed) = 0;
  // Brings the trashed entry back to the path, never replacing anything
  // there, and drops its .trashinfo.
  virtual FileResult Restore(const std::string& nativeInTrash, const PlannedPath& path) = 0;
  // The trashed entry of the file that lay at `original` (native; its
  // entry's Path), of `file`'s length, and ending in `tail` when that is
  // known, else with `file`'s own device and inode: first at `hint`, where
  // it was put, else by a look through every trash that may hold it. An
  // inode number alone never finds it: a file that took a freed number
  // later is not the one replaced. Empty when there is none.
  virtual std::string Find(const FileStatus& file, const std::string& tail, const std::string& hint,
                           const std::string& original) = 0;
};

// The freedesktop.org layout: a trash folder holds files/NAME and
// info/NAME.trashinfo; there is the home trash and one per file system
// (TOPDIR/.Trash/UID, TOPDIR/.Trash-UID).
class FreedesktopTrash : public Trash {
 public:
  // Into the home trash when the file lies on its file system, else into
  // the trash at the top of the file's own (its folder resolved, so that a
  // folder reached through a link finds the medium it lies on); never a copy
  // across file systems (EXDEV when no trash there takes it). ENOENT when
  // nothing has that name. The entry is on disk before the file moves in.
  FileResult MoveToTrash(const PlannedPath& path, TrashedFile& trashed) override;
  FileResult Restore(const std::string& nativeInTrash, const PlannedPath& path) override;
  std::string Find(const FileStatus& file, const std::string& tail, const std::string& hint,
                   const std::string& original) override;

 protected:
  // The trash folders that may hold a file that lay at `nearNative`: the
  // home trash, and those at the top of the file system its folder really
  // lies on.
  virtual std::vector<std::string> TrashFolders(const std::string& nearNative);
};

// A native path as the .trashinfo's Path= keeps it: escaped as in URLs,
// every byte but letters, digits, "-._~" and "/" as %XX.
std::string EscapeTrashPath(const std::string& native);

}  // namespace selvane
