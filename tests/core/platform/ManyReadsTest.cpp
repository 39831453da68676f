// The ends read many at a time answer as the system FileOps does, for every
// kind of name, on a local folder and on the slow FUSE medium.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/EndsReadAhead.h"
#include "core/platform/ManyReads.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"
#include "core/tags/Id3v2Read.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// Every kind of name the intake may meet.
std::vector<std::string> FillFolder(const std::string& folder) {
  const auto at = [&folder](const char* name) { return folder + "/" + name; };
  WriteBytes(at("tagged.mp3"),
             "ID3\x03" + std::string(4092, 'a') + TrailerBytes("Title", "Artist"));
  WriteBytes(at("exact.mp3"), TrailerBytes("Exact"));
  WriteBytes(at("short.mp3"), std::string(50, 's'));
  WriteBytes(at("empty.mp3"), "");
  WriteBytes(at("曲.mp3"), std::string(200, 'k'));
  ::mkfifo(at("pipe.mp3").c_str(), 0644);
  ::mkdir(at("folder.mp3").c_str(), 0755);
  [[maybe_unused]] const int link = ::symlink("tagged.mp3", at("link.mp3").c_str());
  [[maybe_unused]] const int dangling = ::symlink("gone.mp3", at("dangling.mp3").c_str());
  std::vector<std::string> paths;
  for (const char* name :
       {"tagged.mp3", "exact.mp3", "short.mp3", "empty.mp3", "曲.mp3", "missing.mp3", "pipe.mp3",
        "folder.mp3", "link.mp3", "dangling.mp3", "folder.mp3/x.mp3"})
    paths.push_back(at(name));
  return paths;
}

// `got` against the system FileOps: ReadTailAndStatus without a head,
// ReadEnds with one.
void ExpectAsFileOps(const std::string& native, std::size_t headSize, const EndsRead& got) {
  SCOPED_TRACE(native + " head " + std::to_string(headSize));
  std::string cp932;
  ASSERT_TRUE(NativePathToCp932(native, cp932));
  unsigned char tail[TrailerSize] = {};
  std::int64_t length = -1;
  FileStatus status;
  std::vector<unsigned char> head(headSize);
  std::size_t headRead = 0;
  const FileResult want =
      headSize == 0 ? SystemFileOps().ReadTailAndStatus(cp932.c_str(), tail, length, status)
                    : SystemFileOps().ReadEnds(cp932.c_str(), tail, length, &status, head.data(),
                                               headSize, headRead);
  const auto fields = [](const FileStatus& s) {
    return std::tie(s.kind, s.device, s.inode, s.length, s.modified, s.link, s.nameDevice,
                    s.nameInode, s.linkText);
  };
  EXPECT_EQ(got.result.error, want.error);
  EXPECT_EQ(fields(got.status), fields(status));
  if (!want) return;
  EXPECT_EQ(got.length, length);
  head.resize(headRead);
  EXPECT_EQ(got.head, head);
  if (length >= static_cast<std::int64_t>(TrailerSize)) {
    EXPECT_EQ(std::string(got.tail, got.tail + TrailerSize), std::string(tail, tail + TrailerSize));
  }
}

void ExpectFolderReadAsFileOps(const std::vector<std::string>& paths) {
  for (const std::size_t headSize : {std::size_t{0}, std::size_t{10}, std::size_t{1024}}) {
    for (const std::string& path : paths)
      ExpectAsFileOps(path, headSize, ReadEndsOf(path, headSize));
    ManyReadsOptions options;
    options.headSize = headSize;
    options.inFlight = 4;
    std::set<std::size_t> seen;
    const std::size_t delivered =
        ReadManyEnds(paths, options, [&](std::size_t index, EndsRead& read) {
          EXPECT_TRUE(seen.insert(index).second) << "delivered twice: " << index;
          ExpectAsFileOps(paths.at(index), headSize, read);
        });
    EXPECT_EQ(delivered, paths.size());
    EXPECT_EQ(seen.size(), paths.size());
  }
}

// Stopped once `stopAfter` are delivered (0: before the start), the reads
// end early; none is delivered twice and the last progress counts them all.
std::size_t DeliveredBeforeStop(const std::string& folder, std::size_t stopAfter) {
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) {
    paths.push_back(folder + "/" + std::to_string(i) + ".mp3");
    WriteBytes(paths.back(), TrailerBytes("x"));
  }
  std::atomic<bool> stop{stopAfter == 0};
  ManyReadsOptions options;
  options.inFlight = 8;
  options.stop = &stop;
  std::size_t reported = 0;
  options.progress = [&reported](std::size_t done, std::size_t) { reported = done; };
  std::set<std::size_t> seen;
  const std::size_t delivered = ReadManyEnds(paths, options, [&](std::size_t index, EndsRead&) {
    EXPECT_TRUE(seen.insert(index).second) << "delivered twice: " << index;
    if (seen.size() == stopAfter) stop = true;
  });
  EXPECT_EQ(delivered, seen.size());
  EXPECT_EQ(reported, delivered);
  return delivered;
}

TEST(ManyReadsTest, EveryKindOfNameReadsAsFileOpsReadsItAndAStopStartsNone) {
  TempFolder folder;
  ExpectFolderReadAsFileOps(FillFolder(folder.path()));
  EXPECT_FALSE(MediumWaits().PaysForWaiting(folder.path()));
  EXPECT_EQ(DeliveredBeforeStop(folder.path(), 0), 0U);
}

// The slow medium served by tools/slowfs over a fresh folder; unmounted at
// the end.
class SlowMedium {
 public:
  explicit SlowMedium(const std::string& work) : source_(work + "/src"), mount_(work + "/mnt") {
    ::mkdir(source_.c_str(), 0755);
    ::mkdir(mount_.c_str(), 0755);
  }
  // The program built beside the tests, or the one SELVANE_SLOWFS names
  // (for a build without it, such as the sanitizers').
  bool Mount() {
#ifdef SELVANE_SLOWFS
    const char* slowfs = SELVANE_SLOWFS;
#else
    const char* slowfs = std::getenv("SELVANE_SLOWFS");
#endif
    if (slowfs == nullptr) return false;
    server_ = ::fork();
    if (server_ == 0) {
      ::execl(slowfs, slowfs, "-f", "--delay-us", "300", source_.c_str(), mount_.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 500 && !Mounted() && ::waitpid(server_, nullptr, WNOHANG) == 0; ++i)
      ::usleep(10000);
    return Mounted();
  }
  ~SlowMedium() {
    if (server_ <= 0) return;
    if (::umount2(mount_.c_str(), 0) != 0) ::umount2(mount_.c_str(), MNT_DETACH);
    ::waitpid(server_, nullptr, 0);
  }
  const std::string& source() const { return source_; }
  const std::string& mount() const { return mount_; }

 private:
  bool Mounted() const {
    struct stat inner {
    }, outer{};
    return ::stat(mount_.c_str(), &inner) == 0 && ::stat(source_.c_str(), &outer) == 0 &&
           inner.st_dev != outer.st_dev;
  }
  std::string source_, mount_;
  pid_t server_ = -1;
};

TEST(ManyReadsTest, EveryKindOfNameReadsAsFileOpsReadsItOnTheSlowMediumAndStops) {
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
    GTEST_SKIP() << "needs root and /dev/fuse";
  TempFolder work;
  SlowMedium medium(work.path());
  FillFolder(medium.source());
  if (!medium.Mount()) GTEST_SKIP() << "slowfs is not built here or did not mount";
  std::vector<std::string> paths = FillFolder(medium.mount());
  ExpectFolderReadAsFileOps(paths);
  EXPECT_TRUE(MediumWaits().PaysForWaiting(medium.mount()));
  EXPECT_LT(DeliveredBeforeStop(medium.mount(), 20), 100U);
}

// The names made through the reads ahead on the slow medium are those made
// on the folder beneath it; stopped at once, the rows not reached keep theirs.
TEST(ManyReadsTest, NamesOnTheSlowMediumAreThoseOfTheFolderBeneathAndAStopKeepsTheRest) {
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
    GTEST_SKIP() << "needs root and /dev/fuse";
  TempFolder work;
  SlowMedium medium(work.path());
  if (!medium.Mount()) GTEST_SKIP() << "slowfs is not built here or did not mount";
  for (int i = 0; i < 300; ++i)
    WriteBytes(medium.source() + "/" + std::to_string(i) + ".mp3",
               (i % 3 == 0 ? "ID3\x03" + std::string(600, 'a') : std::string(40, 'b')) +
                   TrailerBytes("T" + std::to_string(i), Cp932("曲")));
  const auto names = [](const std::string& folder, const std::atomic<bool>* stop) {
    EntryTable table;
    table.tagSources = TagSources::WithId3v2;
    std::vector<std::string> paths;
    for (int i = 0; i < 300; ++i) {
      table.Append(std::make_unique<FileEntry>());
      paths.emplace_back();
      EXPECT_TRUE(NativePathToCp932(folder + "/" + std::to_string(i) + ".mp3", paths.back()));
      CopyField(table[i].path, paths.back());
    }
    ManyReadsOptions options;
    options.headSize = Id3v2HeadChunk;
    options.stop = stop;
    EndsReadAhead ahead(SystemFileOps(), paths, options);
    ExpandAll(Cp932("$T-$A.mp3"), table, ahead);
    std::vector<std::string> got;
    for (int i = 0; i < 300; ++i)
      got.push_back(std::string(table[i].newPath).substr(std::string(table[i].path).rfind('/')));
    return got;
  };
  const std::vector<std::string> local = names(medium.source(), nullptr);
  EXPECT_EQ(local[7], Cp932("/T7-曲.mp3"));
  EXPECT_EQ(names(medium.mount(), nullptr), local);
  const std::atomic<bool> stopped{true};
  const std::vector<std::string> kept = names(medium.mount(), &stopped);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(kept[i], "/" + std::to_string(i) + ".mp3") << i;
}

// Over many rows of one folder on a share the forecast reads the folder
// once rather than asking after each new name over the network.
TEST(ManyReadsTest, TheForecastOnTheSlowMediumAsksNoStatusPerNewName) {
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
    GTEST_SKIP() << "needs root and /dev/fuse";
  TempFolder work;
  SlowMedium medium(work.path());
  if (!medium.Mount()) GTEST_SKIP() << "slowfs is not built here or did not mount";
  struct Counting final : ForwardingFileOps {
    Counting() : ForwardingFileOps(SystemFileOps()) {}
    FileStatus Status(const char* path) override {
      ++statuses;
      return inner_.Status(path);
    }
    int statuses = 0;
  } ops;
  EntryTable table;
  std::vector<FileStatus> origins;
  for (int i = 0; i < 200; ++i) {
    const std::string path = medium.mount() + "/" + std::to_string(i) + ".mp3";
    WriteBytes(path, "x");
    table.Append(std::make_unique<FileEntry>());
    CopyField(table[i].path, path);
    CopyField(table[i].newPath, medium.mount() + "/n" + std::to_string(i) + ".mp3");
    origins.push_back(SystemFileOps().Status(path.c_str()));
  }
  WriteBytes(medium.mount() + "/n7.mp3", "taken");
  const std::vector<RowOutlook> forecast = ForecastRename(table, ops, &origins);
  EXPECT_EQ(forecast[7].outlook, Outlook::AsksExisting);
  EXPECT_EQ(forecast[8].outlook, Outlook::Moves);
  EXPECT_LT(ops.statuses, 20);
}

// The calls are answered from what was read, so a file gone since is still
// answered; one that could not be read is asked again, and a longer head
// than was read goes to the system too.
TEST(ManyReadsTest, TheReadAheadAnswersFromMemoryAndAsksAgainWhatItLacks) {
  TempFolder folder;
  const std::string tagged = folder.Write("tagged.mp3", std::string(3000, 'h') + TrailerBytes("T"));
  const std::string later = folder / "later.mp3";
  std::vector<std::string> paths;
  for (const std::string& native : {tagged, later, tagged}) {
    paths.emplace_back();
    ASSERT_TRUE(NativePathToCp932(native, paths.back()));
  }
  ManyReadsOptions options;
  options.headSize = 1024;
  EndsReadAhead ahead(SystemFileOps(), paths, options, [](const std::string&) { return true; });
  EXPECT_EQ(ahead.readAhead(), 2U);

  WriteBytes(later, TrailerBytes("Later"));
  const std::string before = ReadBytes(tagged);
  ASSERT_EQ(::unlink(tagged.c_str()), 0);
  unsigned char tail[TrailerSize];
  std::int64_t length = 0;
  FileStatus status;
  std::vector<unsigned char> head(2048);
  std::size_t headRead = 0;
  ASSERT_TRUE(ahead.ReadEnds(paths[0].c_str(), tail, length, &status, head.data(), 1024, headRead));
  EXPECT_EQ(length, 3128);
  EXPECT_EQ(headRead, 1024U);
  EXPECT_EQ(std::string(tail, tail + TrailerSize), before.substr(3000));
  EXPECT_EQ(
      ahead.ReadEnds(paths[0].c_str(), tail, length, &status, head.data(), 2048, headRead).error,
      ENOENT);
  ASSERT_TRUE(ahead.ReadTailAndStatus(paths[1].c_str(), tail, length, status));
  EXPECT_EQ(std::string(tail, tail + TrailerSize), TrailerBytes("Later"));
}

TEST(ManyReadsTest, NetworkAndFuseMediaPayForWaitingLocalDisksDoNot) {
  for (const std::int64_t type : {0x6969LL, 0xFF534D42LL, 0xFE534D42LL, 0x65735546LL, 0x01021997LL})
    EXPECT_TRUE(TypePaysForWaiting(type)) << std::hex << type;
  for (const std::int64_t type : {0xEF53LL, 0x58465342LL, 0x9123683ELL, 0x01021994LL, 0x4D44LL})
    EXPECT_FALSE(TypePaysForWaiting(type)) << std::hex << type;
  // The folders need not exist: a share's is known from the table alone.
  MediumWaits media(
      MountTable::Parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                        "2 1 0:50 / /mnt/nas rw - nfs4 nas:/music rw\n"
                        "3 1 0:51 / /media/stick rw - fuseblk /dev/sdb1 rw\n"
                        "4 2 8:2 / /mnt/nas/disk rw - ext4 /dev/sda2 rw\n"));
  EXPECT_TRUE(media.PaysForWaiting("/mnt/nas/Album/CD1"));
  EXPECT_TRUE(media.PaysForWaiting("/media/stick"));
  EXPECT_FALSE(media.PaysForWaiting("/mnt/nasty"));
  EXPECT_FALSE(media.PaysForWaiting("/mnt/nas/disk/Album"));
  EXPECT_TRUE(media.PaysForWaitingOnDevice(makedev(0, 50)));
  EXPECT_FALSE(media.PaysForWaitingOnDevice(makedev(8, 1)));
}

}  // namespace
}  // namespace selvane
