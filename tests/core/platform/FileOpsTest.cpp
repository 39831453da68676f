// The system file operations: moves that never replace, on one file system
// and across two, status, tails, writes, and what is never opened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/platform/ReadAhead.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

std::string Tail128(char fill) { return std::string(128, fill); }

// Runs `call` with the file-size limit at `limit` bytes (SIGXFSZ ignored,
// so the write fails with EFBIG instead of killing the test), then restores.
template <typename Call>
FileResult UnderSizeLimit(rlim_t limit, Call call) {
  struct rlimit saved {};
  if (::getrlimit(RLIMIT_FSIZE, &saved) != 0) return FileResult{errno};
  struct rlimit small = saved;
  small.rlim_cur = limit;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return FileResult{errno};
  const FileResult result = call();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  return result;
}

class FileOpsTest : public ::testing::Test {
 protected:
  FileOps& ops_ = SystemFileOps();
  TempFolder folder_;
};

TEST_F(FileOpsTest, MoveNeverReplacesAndMovesOtherwise) {
  const std::string a = folder_ / "a.mp3", b = folder_ / "b.mp3", c = folder_ / "c.mp3";
  WriteBytes(a, "first");
  WriteBytes(b, "second");

  EXPECT_EQ(ops_.Move(a.c_str(), b.c_str()).error, EEXIST);
  EXPECT_EQ(ReadBytes(a), "first");
  EXPECT_EQ(ReadBytes(b), "second");

  EXPECT_TRUE(ops_.Move(a.c_str(), c.c_str()).ok());
  EXPECT_FALSE(PathExists(a));
  EXPECT_EQ(ReadBytes(c), "first");

  EXPECT_EQ(ops_.Move(a.c_str(), (folder_ / "d.mp3").c_str()).error, ENOENT);
  EXPECT_EQ(ops_.Move(c.c_str(), (folder_ / "no/such/dir.mp3").c_str()).error, ENOENT);
  EXPECT_EQ(ReadBytes(c), "first");
}

TEST_F(FileOpsTest, Cp932NamesReachTheNativeName) {
  // "曲.mp3" in CP932; on disk the UTF-8 name.
  const std::string cp932 = folder_.path() + "/\x8B\xC8.mp3";
  WriteBytes(folder_ / "曲.mp3", "x");
  EXPECT_EQ(ops_.Status(cp932.c_str()).kind, FileKind::Regular);
  const std::string moved = folder_.path() + "/\x83\x5C.mp3";  // "ソ.mp3": trail byte 0x5C
  ASSERT_TRUE(ops_.Move(cp932.c_str(), moved.c_str()).ok());
  EXPECT_EQ(ReadBytes(folder_ / "ソ.mp3"), "x");

  // A lead byte without a valid trail byte has no native form.
  const std::string broken = folder_.path() + "/\x81\x20.mp3";
  std::int64_t length = 0;
  EXPECT_EQ(ops_.Length(broken.c_str(), length).error, EILSEQ);
  EXPECT_EQ(ops_.Move(moved.c_str(), broken.c_str()).error, EILSEQ);
  EXPECT_EQ(ops_.Status(broken.c_str()).kind, FileKind::Missing);
  EXPECT_EQ(ReadBytes(folder_ / "ソ.mp3"), "x");
}

TEST_F(FileOpsTest, StatusAndDelete) {
  const std::string file = folder_ / "f.mp3", dir = folder_ / "sub", fifo = folder_ / "p.mp3",
                    dangling = folder_ / "l.mp3", twin = folder_ / "twin.mp3",
                    alias = folder_ / "alias.mp3";
  WriteBytes(file, "x");
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("nowhere", dangling.c_str()), 0);
  ASSERT_EQ(::link(file.c_str(), twin.c_str()), 0);
  ASSERT_EQ(::symlink("f.mp3", alias.c_str()), 0);

  EXPECT_EQ(ops_.Status(file.c_str()).kind, FileKind::Regular);
  EXPECT_EQ(ops_.Status(dir.c_str()).kind, FileKind::Folder);
  EXPECT_EQ(ops_.Status(fifo.c_str()).kind, FileKind::Other);
  EXPECT_EQ(ops_.Status(dangling.c_str()).kind, FileKind::Other);  // the name is taken
  EXPECT_EQ(ops_.Status((folder_ / "none").c_str()).kind, FileKind::Missing);
  EXPECT_TRUE(ops_.Status(file.c_str()).SameFileAs(ops_.Status(twin.c_str())));
  EXPECT_FALSE(ops_.Status(file.c_str()).SameFileAs(ops_.Status(dir.c_str())));
  // A link leads to its target's bytes but is an entry of its own; a hard
  // link is the same entry.
  const FileStatus viaLink = ops_.Status(alias.c_str());
  EXPECT_TRUE(viaLink.link);
  EXPECT_EQ(viaLink.length, 1);
  EXPECT_TRUE(viaLink.SameFileAs(ops_.Status(file.c_str())));
  EXPECT_FALSE(viaLink.SameEntryAs(ops_.Status(file.c_str())));
  EXPECT_TRUE(ops_.Status(twin.c_str()).SameEntryAs(ops_.Status(file.c_str())));

  EXPECT_FALSE(ops_.Delete(dir.c_str()).ok());
  EXPECT_TRUE(PathExists(dir));
  EXPECT_TRUE(ops_.Delete(file.c_str()).ok());
  EXPECT_FALSE(PathExists(file));
  EXPECT_EQ(ops_.Delete(file.c_str()).error, ENOENT);
}

TEST_F(FileOpsTest, ReadTailGivesLastBytesAndLength) {
  const std::string path = folder_ / "t.mp3";
  unsigned char tail[128];
  std::int64_t length = -1;

  WriteBytes(path, "");
  ASSERT_TRUE(ops_.ReadTail(path.c_str(), tail, length).ok());
  EXPECT_EQ(length, 0);

  WriteBytes(path, std::string(127, 'a'));
  ASSERT_TRUE(ops_.ReadTail(path.c_str(), tail, length).ok());
  EXPECT_EQ(length, 127);

  WriteBytes(path, "head" + Tail128('z'));
  ASSERT_TRUE(ops_.ReadTail(path.c_str(), tail, length).ok());
  EXPECT_EQ(length, 132);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(tail), 128), Tail128('z'));

  EXPECT_EQ(ops_.ReadTail((folder_ / "none").c_str(), tail, length).error, ENOENT);
}

// The command line's tails, read ahead, answer for their own files under
// the paths their entries hold (a relative argument made absolute), from
// what was read then; a file not read ahead (before `first`, or missing
// then) is read as it is now.
TEST_F(FileOpsTest, TailsReadAheadAnswerForTheirOwnFilesOnly) {
  std::vector<std::string> paths;
  for (const char fill : {'a', 'b', 'c'})
    paths.push_back(folder_.Write(std::string(1, fill) + ".mp3", "head" + Tail128(fill)));
  paths.push_back(folder_ / "later.mp3");
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(folder_.path().c_str()), 0);
  const std::unique_ptr<TailsReadAhead> ahead =
      ReadAheadOfArguments({"a.mp3", "b.mp3", "./c.mp3", paths[3]}, 1);
  ahead->Finish();
  ASSERT_EQ(::chdir(here), 0);
  for (const char fill : {'A', 'B', 'C'}) WriteBytes(paths[fill - 'A'], "head" + Tail128(fill));
  WriteBytes(paths[3], Tail128('L'));
  for (const auto& [path, fill] :
       {std::pair{paths[0], 'A'}, {paths[1], 'b'}, {paths[2], 'c'}, {paths[3], 'L'}}) {
    unsigned char tail[128];
    std::int64_t length = 0;
    unsigned char head[TailsReadAhead::HeadSize];
    std::size_t headRead = 0;
    FileStatus status;
    // As the naming asks: both ends, for an ID3v2 header at the head.
    ASSERT_TRUE(
        ahead->ReadEnds(path.c_str(), tail, length, &status, head, sizeof head, headRead).ok())
        << path;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tail), 128), Tail128(fill)) << path;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), headRead),
              fill == 'L' ? std::string(10, 'L') : "head" + Tail128(fill).substr(0, 6))
        << path;
    EXPECT_EQ(status.inode, ops_.Status(path.c_str()).inode) << path;
  }
}

// Files nobody here made: a pipe with no writer (an open of it for reading
// would wait forever), a pipe with no reader, a folder, a device. None is
// opened; each call comes back at once with its reason.
TEST_F(FileOpsTest, NothingButARegularFileIsOpened) {
  const std::string fifo = folder_ / "pipe.mp3", dir = folder_ / "d";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  unsigned char tail[128];
  std::int64_t length = 0;
  const struct {
    std::string path;
    int error;
  } cases[] = {{fifo, NotRegularFileError}, {dir, EISDIR}, {"/dev/null", NotRegularFileError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ops_.ReadTail(c.path.c_str(), tail, length).error, c.error);
    EXPECT_EQ(ops_.Length(c.path.c_str(), length).error, c.error);
    EXPECT_EQ(ops_.Append(c.path.c_str(), "TAG", 3).error, c.error);
    EXPECT_EQ(ops_.WriteAt(c.path.c_str(), 0, "TAG", 3).error, c.error);
    EXPECT_EQ(ops_.Truncate(c.path.c_str(), 0).error, c.error);
  }
  // The reason as the user reads it.
  EXPECT_EQ(ErrorText(NotRegularFileError),
            Cp932("通常のファイルではありません（パイプ、デバイスなど）"));
}

TEST_F(FileOpsTest, TruncateAppendWriteAtChangeOnlyWhatTheyName) {
  const std::string path = folder_ / "w.mp3";
  WriteBytes(path, "audio" + Tail128('T'));

  ASSERT_TRUE(ops_.Truncate(path.c_str(), 5).ok());
  EXPECT_EQ(ReadBytes(path), "audio");

  ASSERT_TRUE(ops_.Append(path.c_str(), "TAG", 3).ok());
  EXPECT_EQ(ReadBytes(path), "audioTAG");

  ASSERT_TRUE(ops_.WriteAt(path.c_str(), 1, "UD", 2).ok());
  EXPECT_EQ(ReadBytes(path), "aUDioTAG");

  std::int64_t length = 0;
  ASSERT_TRUE(ops_.Length(path.c_str(), length).ok());
  EXPECT_EQ(length, 8);

  // None of them creates a file.
  const std::string missing = folder_ / "missing.mp3";
  EXPECT_EQ(ops_.Append(missing.c_str(), "x", 1).error, ENOENT);
  EXPECT_EQ(ops_.WriteAt(missing.c_str(), 0, "x", 1).error, ENOENT);
  EXPECT_EQ(ops_.Truncate(missing.c_str(), 0).error, ENOENT);
  EXPECT_FALSE(PathExists(missing));
}

// A tag update that cannot be written whole (a full disk, a size limit) must
// not leave half a trailer glued to the audio.
TEST_F(FileOpsTest, FailedAppendCutsThePartialTrailerOff) {
  const std::string path = folder_ / "a.mp3";
  const std::string audio(1000, 'a');
  WriteBytes(path, audio);
  const std::string trailer = "TAG" + std::string(125, 't');
  const FileResult result = UnderSizeLimit(
      1060, [&] { return ops_.Append(path.c_str(), trailer.data(), trailer.size()); });
  EXPECT_EQ(result.error, EFBIG);
  EXPECT_EQ(ReadBytes(path), audio);

  // Written in place across the limit: the rest is a failure, not written
  // over what went before it.
  const FileResult inPlace = UnderSizeLimit(
      1060, [&] { return ops_.WriteAt(path.c_str(), 990, trailer.data(), trailer.size()); });
  EXPECT_EQ(inPlace.error, EFBIG);
  EXPECT_EQ(ReadBytes(path), audio.substr(0, 990) + trailer.substr(0, 70));
}

// The copy road needs two file systems; /dev/shm is usually memory-backed.
class CrossFileSystemTest : public FileOpsTest {
 protected:
  void SetUp() override {
    if (SameFileSystem(folder_.path(), other_.path()))
      GTEST_SKIP() << "/dev/shm is on the same file system as /tmp here";
  }

  TempFolder other_{"/dev/shm"};
};

TEST_F(CrossFileSystemTest, MoveCopiesKeepsModeAndTimesAndRemovesSource) {
  const std::string from = folder_ / "x.mp3", to = other_ / "x.mp3";
  const std::string bytes = std::string(300000, 'm') + Tail128('T');
  WriteBytes(from, bytes);
  ASSERT_EQ(::chmod(from.c_str(), 0640), 0);
  const struct timespec times[2] = {{1000000000, 0}, {1200000000, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, from.c_str(), times, 0), 0);

  ASSERT_TRUE(ops_.Move(from.c_str(), to.c_str()).ok());
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ(ReadBytes(to), bytes);
  struct stat st {};
  ASSERT_EQ(::stat(to.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
}

TEST_F(CrossFileSystemTest, MoveNeverReplacesAcrossAndLeavesSourceOnFailure) {
  const std::string from = folder_ / "x.mp3", taken = other_ / "taken.mp3";
  WriteBytes(from, "source");
  WriteBytes(taken, "other");
  EXPECT_EQ(ops_.Move(from.c_str(), taken.c_str()).error, EEXIST);
  EXPECT_EQ(ReadBytes(from), "source");
  EXPECT_EQ(ReadBytes(taken), "other");

  // Folders are not copied across; the folder stays whole.
  const std::string dir = folder_ / "album";
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  WriteBytes(dir + "/in.mp3", "inside");
  EXPECT_EQ(ops_.Move(dir.c_str(), (other_ / "album").c_str()).error, EXDEV);
  EXPECT_EQ(ReadBytes(dir + "/in.mp3"), "inside");
  EXPECT_FALSE(PathExists(other_ / "album"));
}

// A copy that breaks off half-way (here: the file size limit) removes its
// partial target and leaves the source whole.
TEST_F(CrossFileSystemTest, FailedCopyRemovesPartialTarget) {
  const std::string from = folder_ / "big.mp3", to = other_ / "big.mp3";
  const std::string bytes(400000, 'b');
  WriteBytes(from, bytes);

  const FileResult result =
      UnderSizeLimit(200000, [&] { return ops_.Move(from.c_str(), to.c_str()); });

  EXPECT_EQ(result.error, EFBIG);
  EXPECT_FALSE(PathExists(to));
  EXPECT_EQ(ReadBytes(from), bytes);
}

// A copy whose source cannot be removed (a folder the user may not write)
// is taken back: the file never ends up with two names. Root may write
// anywhere, so the move runs as "nobody" then.
TEST_F(CrossFileSystemTest, SourceThatCannotBeRemovedKeepsItsOnlyName) {
  const std::string source = folder_ / "ro", from = source + "/x.mp3", to = other_ / "x.mp3";
  ASSERT_EQ(::mkdir(source.c_str(), 0755), 0);
  WriteBytes(from, "audio");
  ASSERT_EQ(::chmod(from.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(other_.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(source.c_str(), 0555), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(SystemFileOps().Move(from.c_str(), to.c_str()).error == EACCES ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(source.c_str(), 0755);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(ReadBytes(from), "audio");
  EXPECT_FALSE(PathExists(to));
}

}  // namespace
}  // namespace selvane
