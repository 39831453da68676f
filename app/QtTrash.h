#pragma once
// The desktop's trash through Qt, which finds the right trash folder for a
// file (the home trash, or the one at the top of the file's own file
// system) and writes its .trashinfo. Restoring and finding are the core's.
#include "core/platform/Trash.h"

class QtTrash : public selvane::FreedesktopTrash {
 public:
  // Fails with ENOENT when nothing has that name, else with EXDEV when no
  // trash takes the file (Qt then leaves it where it was: it never copies
  // a file into a trash on another file system).
  selvane::FileResult MoveToTrash(const char* path, selvane::TrashedFile& trashed) override;
};
