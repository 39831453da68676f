// The desktop's own trash: its entries, the home trash and each medium's own,
// and a folder reached through a link, kept in a test's folder (XDG_DATA_HOME).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/platform/Trash.h"
#include "tests/core/EnvironmentGuard.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

TEST(Trash, EntryPathIsEscapedAsInUrls) {
  EXPECT_EQ(EscapeTrashPath("/m/Remix %41.mp3"), "/m/Remix%20%2541.mp3");
  EXPECT_EQ(EscapeTrashPath("/m/a-b_c.~/#?&"), "/m/a-b_c.~/%23%3F%26");
  EXPECT_EQ(EscapeTrashPath("/\xE3\x81\x82"), "/%E3%81%82");
}

TEST(Trash, MovesIntoTheHomeTrashWithAnEntryAndKeepsBothOfOneName) {
  TempFolder folder;
  const std::string home = folder / "data";
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string before = saved != nullptr ? saved : "";
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  FreedesktopTrash trash;
  TrashedFile first, second;
  ASSERT_TRUE(trash.MoveToTrash({folder.Write("Remix %41.mp3", "1").c_str(), {}}, first).ok());
  ASSERT_TRUE(trash.MoveToTrash({folder.Write("Remix %41.mp3", "2").c_str(), {}}, second).ok());
  EXPECT_EQ(first.nativePath, home + "/Trash/files/Remix %41.mp3");
  EXPECT_EQ(second.nativePath, home + "/Trash/files/Remix %41.mp3.2");
  EXPECT_EQ(ReadBytes(second.nativePath), "2");
  const std::string info = ReadBytes(home + "/Trash/info/Remix %41.mp3.2.trashinfo");
  EXPECT_EQ(info.find("[Trash Info]\nPath=" + EscapeTrashPath(folder / "Remix %41.mp3") + "\n"), 0U)
      << info;
  EXPECT_EQ(trash.Find(second.file, "2", "", folder / "Remix %41.mp3"), second.nativePath);
  // A hint where another file lies now, or an inode of another device, is
  // not the file.
  EXPECT_EQ(trash.Find(first.file, "1", second.nativePath, folder / "Remix %41.mp3"),
            first.nativePath);
  FileStatus elsewhere = second.file;
  ++elsewhere.nameDevice;
  EXPECT_EQ(trash.Find(elsewhere, "", "", folder / "Remix %41.mp3"), "");
  // Put back, the file leaves no entry behind.
  ASSERT_TRUE(trash.Restore(second.nativePath, {(folder / "back.mp3").c_str(), {}}).ok());
  EXPECT_EQ(ReadBytes(folder / "back.mp3"), "2");
  EXPECT_FALSE(PathExists(home + "/Trash/info/Remix %41.mp3.2.trashinfo"));
  if (saved != nullptr)
    ::setenv("XDG_DATA_HOME", before.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

// A file on another medium goes to the trash at the top of that medium.
TEST(Trash, OtherMediumsTrashLiesAtItsTop) {
  struct Folders : FreedesktopTrash {
    using FreedesktopTrash::TrashFolders;
  } trash;
  if (SameFileSystem("/", "/dev/shm")) GTEST_SKIP() << "/dev/shm is no medium of its own here";
  TempFolder other("/dev/shm");
  const std::vector<std::string> folders = trash.TrashFolders(other / "x.mp3");
  const std::string own = "/dev/shm/.Trash-" + std::to_string(::getuid());
  EXPECT_NE(std::find(folders.begin(), folders.end(), own), folders.end()) << folders.back();
}
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
  ASSERT_TRUE(trash.MoveToTrash({viaLink.c_str(), {}}, trashed));
  EXPECT_EQ(trashed.nativePath, data / "Trash/files/Song 1.mp3");
  EXPECT_NE(ReadBytes(data / "Trash/info/Song 1.mp3.trashinfo")
                .find("\nPath=" + EscapeTrashPath(real) + "\n"),
            std::string::npos);

  const std::string found = trash.Find(trashed.file, "bytes", {}, viaLink);
  EXPECT_EQ(found, trashed.nativePath);
  ASSERT_TRUE(trash.Restore(found, {viaLink.c_str(), {}}));
  EXPECT_EQ(ReadBytes(real), "replaced bytes");
  EXPECT_FALSE(PathExists(data / "Trash/info/Song 1.mp3.trashinfo"));
}

}  // namespace
}  // namespace selvane
