#pragma once
// The desktop's trash for the window program. The core writes it: Qt 6.4's
// QFile::moveToTrash leaves the .trashinfo's Path unescaped (a restore puts
// "Remix %41.mp3" back as "Remix A.mp3") and, where the data folder is
// missing, puts files into "files" and "info" of the working folder.
#include "core/platform/Trash.h"

class QtTrash : public selvane::FreedesktopTrash {};
