// The desktop's own trash, kept in a test's folder (XDG_DATA_HOME) on the
// file system of the files it takes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/platform/Trash.h"
#include "tests/core/EnvironmentGuard.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// A music folder reached through a link: the entry keeps the folder as it
// really is, which is where the desktop's restore looks from (its current
// folder resolved), and undo, given the path through the link, still finds
// the entry and brings the file back there.
TEST(Trash, AFolderReachedThroughALinkIsRecordedAsItReallyIs) {
  TempFolder data, music, home;
  const EnvironmentGuard dataHome("XDG_DATA_HOME", data.path().c_str());
  const std::string real = music.Write("Song 1.mp3", "replaced bytes");
  ASSERT_EQ(::symlink(music.path().c_str(), (home / "Music").c_str()), 0);
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

// A name taken in files/ by a stray file with no entry: the name reserved for
// it in info/ is given up again (no entry may describe the stray file as the
// one trashed), and the file goes in under the next name.
TEST(Trash, AStrayFileInTheTrashLeavesNoEntryForIt) {
  TempFolder data, music;
  const EnvironmentGuard dataHome("XDG_DATA_HOME", data.path().c_str());
  const std::string files = data / "Trash/files", info = data / "Trash/info";
  std::filesystem::create_directories(files);
  std::filesystem::create_directories(info);
  WriteBytes(files + "/Song.mp3", "stray");
  FreedesktopTrash trash;
  TrashedFile trashed;
  ASSERT_TRUE(trash.MoveToTrash(music.Write("Song.mp3", "replaced").c_str(), trashed));
  EXPECT_EQ(trashed.nativePath, files + "/Song.mp3.2");
  EXPECT_FALSE(PathExists(info + "/Song.mp3.trashinfo"));
  EXPECT_TRUE(PathExists(info + "/Song.mp3.2.trashinfo"));
  EXPECT_EQ(ReadBytes(files + "/Song.mp3"), "stray");
}

}  // namespace
}  // namespace selvane
