// The desktop's own trash, kept in a test's folder (XDG_DATA_HOME) on the
// file system of the files it takes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/platform/Trash.h"
#include "tests/core/EnvironmentGuard.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// A music folder reached through a link (and the data folder too): the file
// goes to the home trash, the entry keeps the folder as it really is, which
// is where the desktop's restore looks from (its current folder resolved),
// and undo, given the path through the link, still finds the entry and
// brings the file back there.
TEST(Trash, AFolderReachedThroughALinkIsRecordedAsItReallyIs) {
  TempFolder data, music, home;
  const EnvironmentGuard dataHome("XDG_DATA_HOME", (home / "data").c_str());
  const std::string real = music.Write("Song 1.mp3", "replaced bytes");
  ASSERT_EQ(::symlink(music.path().c_str(), (home / "Music").c_str()), 0);
  ASSERT_EQ(::symlink(data.path().c_str(), (home / "data").c_str()), 0);
  const std::string viaLink = home / "Music/Song 1.mp3";

  FreedesktopTrash trash;
  TrashedFile trashed;
  ASSERT_TRUE(trash.MoveToTrash(viaLink.c_str(), trashed));
  EXPECT_EQ(trashed.nativePath, data / "Trash/files/Song 1.mp3");
  EXPECT_NE(ReadBytes(data / "Trash/info/Song 1.mp3.trashinfo")
                .find("\nPath=" + EscapeTrashPath(real) + "\n"),
            std::string::npos);

  const std::string found = trash.Find(trashed.file, "bytes", {}, viaLink);
  EXPECT_EQ(found, trashed.nativePath);
  ASSERT_TRUE(trash.Restore(found, viaLink.c_str()));
  EXPECT_EQ(ReadBytes(real), "replaced bytes");
  EXPECT_FALSE(PathExists(data / "Trash/info/Song 1.mp3.trashinfo"));
}

}  // namespace
}  // namespace selvane
