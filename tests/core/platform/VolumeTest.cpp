// What the platform tells of a medium: its mounts, how it compares and
// limits names, and the desktop trash entries it writes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/FolderCase.h"
#include "core/platform/MediumNames.h"
#include "core/platform/Trash.h"
#include "core/platform/Volume.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

TEST(MountTable, ReadsMountPointsTypesAndDevices) {
  const MountTable table = MountTable::Parse(
      "22 1 253:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "46 22 7:4 / /media/My\\040Music rw,nosuid - fuseblk /dev/loop4 rw,user_id=0\n"
      "47 22 0:50 / /mnt/share rw master:3 propagation:x - cifs //nas/music rw\n"
      "broken line\n");
  ASSERT_EQ(table.volumes().size(), 3U);
  EXPECT_EQ(table.volumes()[1].mountPoint, "/media/My Music");
  EXPECT_EQ(table.volumes()[1].fsType, "fuseblk");
  EXPECT_EQ(table.volumes()[1].source, "/dev/loop4");
  EXPECT_EQ(table.volumes()[1].device, (7ULL << 8) | 4U);
  EXPECT_EQ(table.volumes()[2].fsType, "cifs");  // optional fields skipped
}

TEST(MountTable, EveryPathLiesOnAMountedVolume) {
  MountTable table = MountTable::Read();
  TempFolder folder;
  const Volume* here = table.VolumeOf(folder.path());
  ASSERT_NE(here, nullptr);
  // A name not made yet lies where its folder lies.
  EXPECT_EQ(table.VolumeOf(folder / "not/yet.mp3"), here);
  EXPECT_EQ(table.FindMounted("no-such-uuid", ""), nullptr);
}

TEST(MediumNameRefusal, LimitsAndWindowsNamesPerMedium) {
  const Medium fat{true, 255}, ext4{false, 255};
  const std::string kana255(255 * 2, '\x82'), kana = Cp932("あ");
  std::string names255;  // 255 characters, 510 bytes in CP932, 765 in UTF-8
  for (int i = 0; i < 255; ++i) names255 += kana;
  struct Row {
    std::string name;
    const Medium& medium;
    NameRefusalKind kind;
  } rows[] = {
      {names255, fat, NameRefusalKind::None},
      {names255 + "a", fat, NameRefusalKind::TooLong},
      {std::string(86, 'x') + Cp932("あ") + std::string(84, 'x'), ext4, NameRefusalKind::None},
      {names255, ext4, NameRefusalKind::TooLong},  // bytes count there
      {"song.", fat, NameRefusalKind::TrailingDotOrSpace},
      {"song ", fat, NameRefusalKind::TrailingDotOrSpace},
      {"song.", ext4, NameRefusalKind::None},
      {"CON", fat, NameRefusalKind::DeviceName},
      {"con.mp3", fat, NameRefusalKind::DeviceName},
      {"Lpt9.tar.mp3", fat, NameRefusalKind::DeviceName},
      {"AUX .mp3", fat, NameRefusalKind::DeviceName},
      {"COM0.mp3", fat, NameRefusalKind::None},
      {"CONSOLE.mp3", fat, NameRefusalKind::None},
      {"NUL.mp3", ext4, NameRefusalKind::None},
      {Cp932("曲.mp3"), fat, NameRefusalKind::None},
  };
  for (const Row& row : rows)
    EXPECT_EQ(MediumNameRefusal(row.name, row.medium), row.kind) << row.name.substr(0, 20);
}

TEST(CaseFoldKey, FoldsLettersNeverTrailBytes) {
  struct Row {
    const char* a;
    const char* b;
    bool same;
  } rows[] = {
      {"Song.MP3", "song.mp3", true},
      {"ａｂｃ", "ＡＢＣ", true},  // full-width letters fold on exFAT
      {"αω", "ΑΩ", true},
      {"жё", "ЖЁ", true},
      {"ⅰ", "Ⅰ", true},
      {"ａ", "a", false},
      {"ソ", "ソ", true},
      {"ソa", "ソA", true},
      // 0x83 0x61 (ャ) holds an "a" as its trail byte, 0x83 0x41 (ア) an "A".
      {"ャ", "ア", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(SameNameIgnoringCase(Cp932(row.a), Cp932(row.b)), row.same) << row.a;
}

TEST(FolderCase, AFolderThatKeepsCasesApartSaysSo) {
  TempFolder folder;
  MountTable mounts = MountTable::Read();
  FolderCase probe(mounts);
  folder.Write("Song.mp3", "x");
  EXPECT_FALSE(probe.IgnoresCase(folder.path()));
}

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
  ASSERT_TRUE(trash.MoveToTrash(folder.Write("Remix %41.mp3", "1").c_str(), first).ok());
  ASSERT_TRUE(trash.MoveToTrash(folder.Write("Remix %41.mp3", "2").c_str(), second).ok());
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
  ASSERT_TRUE(trash.Restore(second.nativePath, (folder / "back.mp3").c_str()).ok());
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

}  // namespace
}  // namespace selvane
