#pragma once
// Where the program keeps what it learns across runs (the history), and the
// making of that folder. Native paths.
#include <string>

namespace selvane {

// $XDG_STATE_HOME/selvane/history.sqlite3 (default ~/.local/state/...);
// empty when there is no home to put it in.
std::string DefaultHistoryPath();

// The folder that holds `file`, made with its missing parents (mode 0700).
// False with errno set when it is not a folder and cannot be made one.
bool MakeParentFolders(const std::string& file);

// The folder part of a native path: "." for a bare name, "/" at the root.
std::string ParentFolder(const std::string& path);

}  // namespace selvane
