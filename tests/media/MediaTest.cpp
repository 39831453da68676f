// On real media, mounted by media_bench.sh: exFAT through exfat-fuse, NTFS
// through ntfs-3g, and a tmpfs as another file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/platform/FolderCase.h"
#include "core/platform/MediumNames.h"
#include "core/platform/Trash.h"
#include "core/platform/Volume.h"
#include "tests/core/EnvironmentGuard.h"
#include "tests/core/TempFolder.h"
#include "tests/media/MediaEnv.h"

namespace selvane {
namespace {

const std::string& Exfat() {
  static const std::string path = Env("SELVANE_MEDIA_EXFAT");
  return path;
}
const std::string& Ntfs() {
  static const std::string path = Env("SELVANE_MEDIA_NTFS");
  return path;
}
const std::string& Tmpfs() {
  static const std::string path = Env("SELVANE_MEDIA_TMPFS");
  return path;
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(MediaVolume, EachMediumIsKnownByWhatItIs) {
  struct Row {
    const std::string& mount;
    const char* type;
    const char* label;
    bool uuid;
  } rows[] = {
      {Exfat(), "exfat", "SELVEX", true},
      {Ntfs(), "ntfs", "SELVNT", true},
      {Tmpfs(), "tmpfs", "", false},
  };
  MountTable mounts = MountTable::Read();
  for (const Row& row : rows) {
    const Volume* volume = mounts.VolumeOf(row.mount + "/album/not-yet.mp3");
    ASSERT_NE(volume, nullptr) << row.mount;
    EXPECT_EQ(volume->mountPoint, row.mount);
    EXPECT_EQ(volume->fsType, row.type);
    EXPECT_EQ(volume->label, row.label);
    EXPECT_EQ(!volume->uuid.empty(), row.uuid) << volume->uuid;
    if (row.uuid) {
      const Volume* found = mounts.FindMounted(volume->uuid, "");
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->mountPoint, row.mount);
      EXPECT_EQ(mounts.FindMounted("", row.label), found);
    }
  }
}

TEST(MediaVolume, AMediumPluggedInElsewhereIsFollowedAndAnUnpluggedOneIsNotFound) {
  const std::string replug = Env("SELVANE_MEDIA_REPLUG");
  const std::string elsewhere = Env("SELVANE_MEDIA_WORK") + "/exfat-again";
  std::string uuid, device;
  {
    MountTable mounts = MountTable::Read();
    const Volume* volume = mounts.VolumeOf(Exfat());
    ASSERT_NE(volume, nullptr);
    uuid = volume->uuid;
    device = volume->source;
  }
  std::ofstream(Exfat() + "/kept.mp3") << "kept";

  ASSERT_EQ(Shell(replug + " " + Exfat() + " " + elsewhere), 0);
  MountTable afterReplug = MountTable::Read();
  const Volume* moved = afterReplug.FindMounted(uuid, "");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->mountPoint, elsewhere);
  EXPECT_EQ(ReadBytes(elsewhere + "/kept.mp3"), "kept");

  ASSERT_EQ(Shell(replug + " --unplug " + elsewhere), 0);
  MountTable unplugged = MountTable::Read();
  EXPECT_EQ(unplugged.FindMounted(uuid, ""), nullptr);

  ASSERT_EQ(Shell(replug + " --plug " + device + " " + Exfat()), 0);
  MountTable pluggedBack = MountTable::Read();
  const Volume* back = pluggedBack.FindMounted(uuid, "");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->mountPoint, Exfat());
  std::remove((Exfat() + "/kept.mp3").c_str());
}

TEST(MediaFolderCase, EachFolderAnswersForItself) {
  struct Row {
    const std::string& medium;
    bool withName;
    bool ignores;
  } rows[] = {
      {Exfat(), true, true},  {Exfat(), false, true},  // no name to ask with: the type answers
      {Ntfs(), true, false},  // ntfs-3g keeps cases apart unless told otherwise
      {Ntfs(), false, true},  // the type alone says FAT-like; asking wins
      {Tmpfs(), true, false}, {Tmpfs(), false, false},
  };
  MountTable mounts = MountTable::Read();
  FolderCase probe(mounts);
  for (const Row& row : rows) {
    TempFolder folder(row.medium);
    if (row.withName) folder.Write("Song.mp3", "x");
    EXPECT_EQ(probe.IgnoresCase(folder.path()), row.ignores) << folder.path();
  }
}

TEST(MediaFolderCase, NamesFoldAsExfatFoldsThem) {
  struct Row {
    const char* made;
    const char* asked;
  } rows[] = {
      {"abc", "ABC"}, {"ａｂｃ", "ＡＢＣ"}, {"жё", "ЖЁ"}, {"αω", "ΑΩ"},
      {"ⅰ", "Ⅰ"},     {"ャ", "ア"},         {"a", "ａ"},  {"曲", "曲a"},
  };
  TempFolder folder(Exfat());
  for (const Row& row : rows) {
    folder.Write(row.made, "x");
    EXPECT_EQ(SameNameIgnoringCase(Cp932(row.made), Cp932(row.asked)),
              PathExists(folder / row.asked))
        << row.made << " / " << row.asked;
    std::remove((folder / row.made).c_str());
  }
}

std::string Repeat(const char* text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

TEST(MediaNames, EachMediumRefusesWhatItWouldNotKeep) {
  struct Row {
    const std::string& medium;
    std::string name;  // UTF-8
    NameRefusalKind refusal;
  } rows[] = {
      {Exfat(), Repeat("あ", 255), NameRefusalKind::None},
      {Exfat(), Repeat("あ", 256), NameRefusalKind::TooLong},
      {Ntfs(), Repeat("あ", 255), NameRefusalKind::None},
      {Ntfs(), Repeat("あ", 256), NameRefusalKind::TooLong},
      {Tmpfs(), Repeat("あ", 85), NameRefusalKind::None},  // 255 bytes
      {Tmpfs(), Repeat("あ", 86), NameRefusalKind::TooLong},
      {Exfat(), "CON.mp3", NameRefusalKind::DeviceName},
      {Ntfs(), "lpt1", NameRefusalKind::DeviceName},
      {Exfat(), "song.", NameRefusalKind::TrailingDotOrSpace},
      {Ntfs(), "song ", NameRefusalKind::TrailingDotOrSpace},
      {Tmpfs(), "CON.mp3", NameRefusalKind::None},
  };
  MountTable mounts = MountTable::Read();
  for (const Row& row : rows) {
    const Medium medium = MediumOf(row.medium, mounts);
    std::string cp932;
    ASSERT_TRUE(NativeToCp932(row.name, cp932));
    EXPECT_EQ(MediumNameRefusal(cp932, medium), row.refusal) << row.medium << " " << row.name;
    // The length limit is the medium's own: what it refuses cannot be made.
    if (row.refusal == NameRefusalKind::None || row.refusal == NameRefusalKind::TooLong) {
      TempFolder folder(row.medium);
      std::ofstream(folder / row.name) << "x";
      EXPECT_EQ(PathExists(folder / row.name), row.refusal == NameRefusalKind::None) << row.name;
    }
  }
}

// What a move's placeholder record heard, as "step:path".
struct Heard {
  std::vector<std::string> steps;
  MoveOptions Options() {
    return MoveOptions{[this](PlaceholderStep step, const char* path) {
                         static const char* const names[] = {"reserving", "filled", "gone", "left"};
                         steps.push_back(std::string(names[static_cast<int>(step)]) + ":" + path);
                         return FileResult{};
                       },
                       nullptr};
  }
};

TEST(MediaMove, FuseMediaReserveTheNameAndNeverReplace) {
  for (const std::string& medium : {Exfat(), Ntfs()}) {
    TempFolder folder(medium);
    Heard heard;
    const std::unique_ptr<FileOps> ops = NewSystemFileOps(heard.Options());
    const std::string a = folder.Write("a.mp3", "AAA"), taken = folder.Write("taken.mp3", "T");
    const std::string free = folder / "free.mp3";

    EXPECT_EQ(ops->Move(a.c_str(), taken.c_str()).error, EEXIST) << medium;
    EXPECT_EQ(ReadBytes(a) + ReadBytes(taken), "AAAT");
    FileStatus moved;
    ASSERT_TRUE(ops->MoveAndStatus(a.c_str(), free.c_str(), moved).ok()) << medium;
    EXPECT_EQ(ReadBytes(free), "AAA");
    EXPECT_FALSE(PathExists(a));
    EXPECT_TRUE(moved.SameFileAs(NativeStatus(free)));
    // A taken name is refused by the system before any placeholder.
    EXPECT_EQ(heard.steps, (std::vector<std::string>{"reserving:" + free, "filled:" + free}))
        << medium;
  }
}

TEST(MediaMove, AcrossFileSystemsACopyNeverReplacesAndIsKnownAnew) {
  struct Row {
    const std::string& from;
    const std::string& to;
  } rows[] = {{Tmpfs(), Exfat()}, {Exfat(), Tmpfs()}, {Ntfs(), Exfat()}};
  for (const Row& row : rows) {
    TempFolder from(row.from), to(row.to);
    FileOps& ops = SystemFileOps();
    const std::string a = from.Write("a.mp3", "AAA"), taken = to.Write("taken.mp3", "T");
    const FileStatus before = NativeStatus(a);
    FileStatus moved;
    EXPECT_EQ(ops.MoveAndStatus(a.c_str(), taken.c_str(), moved).error, EEXIST);
    EXPECT_EQ(ReadBytes(a) + ReadBytes(taken), "AAAT");
    ASSERT_TRUE(ops.MoveAndStatus(a.c_str(), (to / "a.mp3").c_str(), moved).ok()) << row.to;
    EXPECT_FALSE(PathExists(a));
    EXPECT_EQ(ReadBytes(to / "a.mp3"), "AAA");
    EXPECT_NE(moved.device, before.device);
    EXPECT_TRUE(moved.SameFileAs(NativeStatus(to / "a.mp3")));
  }
}

// Listed names of a folder, in the order the folder gives them.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(MediaMove, ACaseChangeTakesTheNewSpellingButNeverAnotherFile) {
  {
    // Why it needs a move of its own: exFAT calls the new spelling taken.
    TempFolder folder(Exfat());
    const std::string from = folder.Write("song.mp3", "s"), to = folder / "Song.mp3";
    EXPECT_EQ(SystemFileOps().Move(from.c_str(), to.c_str()).error, EEXIST);
  }
  struct Row {
    const std::string& medium;
    bool otherFile;  // a file of its own under the new spelling
    int error;
    std::vector<std::string> after;
  } rows[] = {
      {Exfat(), false, 0, {"Song.mp3"}},  // the file itself answers to "Song.mp3" there
      {Ntfs(), false, 0, {"Song.mp3"}},
      {Ntfs(), true, EEXIST, {"Song.mp3", "song.mp3"}},
      {Tmpfs(), true, EEXIST, {"Song.mp3", "song.mp3"}},
  };
  for (const Row& row : rows) {
    TempFolder folder(row.medium);
    const std::string from = folder.Write("song.mp3", "s");
    if (row.otherFile) folder.Write("Song.mp3", "S");
    FileOps& ops = SystemFileOps();
    EXPECT_EQ(ops.MoveToOtherCase(from.c_str(), (folder / "Song.mp3").c_str()).error, row.error)
        << row.medium;
    EXPECT_EQ(Listing(folder.path()), row.after) << row.medium;
  }
}

TEST(MediaTrash, EntriesReadBackWithTrashCli) {
  const std::string home = Tmpfs() + "/home-data";
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  FreedesktopTrash trash;
  for (const std::string& medium : {Tmpfs(), Exfat(), Ntfs()}) {
    TempFolder folder(medium);
    const std::string original = folder.Write("Remix %41.mp3", "remix");
    TrashedFile trashed;
    ASSERT_TRUE(trash.MoveToTrash({original.c_str(), {}}, trashed).ok()) << medium;
    EXPECT_FALSE(PathExists(original));
    // trash-list prints "DATE TIME PATH" per entry, its path decoded.
    const std::string listed = Output("trash-list 2>/dev/null");
    EXPECT_NE(listed.find(" " + original + "\n"), std::string::npos) << listed;
    EXPECT_EQ(listed.find(folder / "Remix A.mp3"), std::string::npos) << listed;
    Output("echo 0 | trash-restore '" + folder.path() + "' >/dev/null 2>&1");
    EXPECT_EQ(ReadBytes(original), "remix") << medium;
  }
  ::unsetenv("XDG_DATA_HOME");
}

// A folder reached through a link on the root file system that leads onto
// the tmpfs: the replaced file goes to the trash of the medium it really
// lies on, undo finds it by the path through the link, and the desktop
// restores it from that folder.
TEST(MediaTrash, AFolderReachedThroughALinkUsesItsOwnMediumsTrash) {
  TempFolder home, data, music(Tmpfs());
  ASSERT_FALSE(SameFileSystem(home.path(), music.path()));
  const EnvironmentGuard dataHome("XDG_DATA_HOME", data.path().c_str());
  ASSERT_EQ(::symlink(music.path().c_str(), (home / "Music").c_str()), 0);
  music.Write("Linked Song.mp3", "replaced");
  const std::string viaLink = home / "Music/Linked Song.mp3";
  FreedesktopTrash trash;
  TrashedFile trashed;
  ASSERT_TRUE(trash.MoveToTrash({viaLink.c_str(), {}}, trashed).ok());
  const std::string own = Tmpfs() + "/.Trash-" + std::to_string(::getuid()) + "/files/";
  EXPECT_EQ(trashed.nativePath.rfind(own + "Linked Song.mp3", 0), 0U) << trashed.nativePath;
  EXPECT_EQ(trash.Find(trashed.file, "replaced", {}, viaLink), trashed.nativePath);
  Output("cd '" + home / "Music" + "' && echo 0 | trash-restore >/dev/null 2>&1");
  EXPECT_EQ(ReadBytes(viaLink), "replaced");
}

// After a power cut that kept the move into the trash (the folder synced
// since, the ext4 journal then cut without a flush and replayed), the entry
// is whole: the desktop lists and restores the file from the home trash on
// the medium and from the trash at its top (the home trash then elsewhere).
TEST(MediaTrash, AnEntryOutlastsAPowerCutThatKeptItsFile) {
  const std::string image = Env("SELVANE_MEDIA_WORK") + "/trash-ext4.img",
                    ext4 = Env("SELVANE_MEDIA_WORK") + "/trash-ext4", music = ext4 + "/Music";
  const std::string mount = "mount -o loop '" + image + "' '" + ext4 + "'";
  ASSERT_EQ(Shell("truncate -s 32M '" + image + "' && mkfs.ext4 -q '" + image + "' && mkdir '" +
                  ext4 + "' && " + mount + " && mkdir '" + music + "'"),
            0);
  struct Unmount {
    std::string at;
    ~Unmount() { Shell("umount '" + at + "' 2>/dev/null"); }
  } unmount{ext4};
  TempFolder elsewhere(Tmpfs());
  FreedesktopTrash trash;
  TrashedFile trashed;
  WriteBytes(music + "/Home.mp3", "/Home.mp3");
  WriteBytes(music + "/Top.mp3", "/Top.mp3");
  ASSERT_EQ(Shell("sync -f '" + music + "'"), 0);
  for (const std::string& dataHome : {ext4 + "/data", elsewhere.path()}) {
    const EnvironmentGuard guard("XDG_DATA_HOME", dataHome.c_str());
    const std::string name = dataHome == elsewhere.path() ? "/Top.mp3" : "/Home.mp3";
    ASSERT_TRUE(trash.MoveToTrash({(music + name).c_str(), {}}, trashed).ok());
  }
  const int folder = ::open(music.c_str(), O_RDONLY | O_DIRECTORY);
  std::uint32_t noLogFlush = 2;  // EXT4_GOING_FLAGS_NOLOGFLUSH
  ASSERT_EQ(::fsync(folder), 0);
  ASSERT_EQ(::ioctl(folder, _IOR('X', 125, std::uint32_t), &noLogFlush), 0);  // EXT4_IOC_SHUTDOWN
  ::close(folder);
  ASSERT_EQ(Shell("umount '" + ext4 + "' && " + mount), 0);

  const EnvironmentGuard guard("XDG_DATA_HOME", (ext4 + "/data").c_str());
  const std::string listed = Output("trash-list 2>/dev/null");
  for (const char* name : {"/Home.mp3", "/Top.mp3"}) {
    EXPECT_NE(listed.find(" " + music + name + "\n"), std::string::npos) << listed;
    Output("cd '" + music + "' && echo 0 | trash-restore >/dev/null 2>&1");
  }
  EXPECT_EQ(ReadBytes(music + "/Home.mp3") + ReadBytes(music + "/Top.mp3"), "/Home.mp3/Top.mp3");
}

}  // namespace
}  // namespace selvane
