// The move that never replaces, also on media whose rename cannot refuse to
// (FUSE, shares; here a rename that answers as they do): its placeholders,
// a change of letter case alone, and the identity it hands back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "core/platform/FileOps.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

int AnswerEinval(const char*, const char*) {
  errno = EINVAL;
  return -1;
}
int AnswerExdev(const char*, const char*) {
  errno = EXDEV;
  return -1;
}
int AnswerEnosys(const char*, const char*) {
  errno = ENOSYS;
  return -1;
}

struct Road {
  const char* name;
  int (*rename)(const char*, const char*);
};
void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

class ReservedMoveTest : public ::testing::TestWithParam<Road> {
 protected:
  // Each step the record hears, as "step:path".
  std::vector<std::string> heard_;
  FileResult refuseRecord_{};
  // Removed when the record hears of the reservation: the rename then fails.
  std::string vanishOnReserving_;
  std::unique_ptr<FileOps> ops_ = NewSystemFileOps(
      MoveOptions{[this](PlaceholderStep step, const char* path) {
                    static const char* const names[] = {"reserving", "filled", "gone", "left"};
                    heard_.push_back(std::string(names[static_cast<int>(step)]) + ":" + path);
                    if (step == PlaceholderStep::Reserving && !vanishOnReserving_.empty())
                      ::unlink(vanishOnReserving_.c_str());
                    return step == PlaceholderStep::Reserving ? refuseRecord_ : FileResult{};
                  },
                  GetParam().rename});
  TempFolder folder_;
};

TEST_P(ReservedMoveTest, MovesIntoAFreeNameAndNeverReplaces) {
  const std::string a = folder_.Write("a.mp3", "AAA"), b = folder_.Write("b.mp3", "BBB");
  const std::string c = folder_ / "c.mp3";

  EXPECT_EQ(ops_->Move(a.c_str(), b.c_str()).error, EEXIST);
  EXPECT_EQ(ReadBytes(a), "AAA");
  EXPECT_EQ(ReadBytes(b), "BBB");
  // An empty file looks like a placeholder but is the user's.
  const std::string empty = folder_.Write("empty.mp3", "");
  EXPECT_EQ(ops_->Move(a.c_str(), empty.c_str()).error, EEXIST);
  EXPECT_EQ(ReadBytes(a), "AAA");

  FileStatus moved;
  ASSERT_TRUE(ops_->MoveAndStatus(a.c_str(), c.c_str(), moved).ok());
  EXPECT_FALSE(PathExists(a));
  EXPECT_EQ(ReadBytes(c), "AAA");
  struct stat st {};
  ASSERT_EQ(::lstat(c.c_str(), &st), 0);
  // The identity handed back is the file's as it lies now (a copy is new).
  EXPECT_EQ(moved.inode, static_cast<std::uint64_t>(st.st_ino));
  EXPECT_EQ(moved.length, 3);
}

INSTANTIATE_TEST_SUITE_P(Roads, ReservedMoveTest,
                         ::testing::Values(Road{"Placeholder", &AnswerEinval},
                                           Road{"NoRenameat2", &AnswerEnosys},
                                           Road{"Copy", &AnswerExdev}),
                         [](const auto& road) { return std::string(road.param.name); });

class PlaceholderRecordTest : public ReservedMoveTest {};

// What the record hears, and what is left, on each way through.
TEST_P(PlaceholderRecordTest, RecordHearsOfThePlaceholderBeforeItIsMade) {
  const std::string a = folder_.Write("a.mp3", "AAA");
  const std::string taken = folder_.Write("taken.mp3", "T"), free = folder_ / "free.mp3";

  EXPECT_EQ(ops_->Move(a.c_str(), taken.c_str()).error, EEXIST);
  EXPECT_EQ(heard_, (std::vector<std::string>{"reserving:" + taken, "gone:" + taken}));

  heard_.clear();
  refuseRecord_ = FileResult{ENOSPC};  // a record that cannot be written stops it
  EXPECT_EQ(ops_->Move(a.c_str(), free.c_str()).error, ENOSPC);
  EXPECT_FALSE(PathExists(free));
  EXPECT_EQ(heard_, (std::vector<std::string>{"reserving:" + free}));

  heard_.clear();
  refuseRecord_ = {};
  ASSERT_TRUE(ops_->Move(a.c_str(), free.c_str()).ok());
  EXPECT_EQ(heard_, (std::vector<std::string>{"reserving:" + free, "filled:" + free}));
  EXPECT_EQ(ReadBytes(free), "AAA");

  // The rename fails after the reservation: the placeholder goes again.
  heard_.clear();
  const std::string b = folder_.Write("b.mp3", "B"), other = folder_ / "other.mp3";
  vanishOnReserving_ = b;
  EXPECT_EQ(ops_->Move(b.c_str(), other.c_str()).error, ENOENT);
  EXPECT_EQ(heard_, (std::vector<std::string>{"reserving:" + other, "gone:" + other}));
  EXPECT_FALSE(PathExists(other));
}

INSTANTIATE_TEST_SUITE_P(Placeholder, PlaceholderRecordTest,
                         ::testing::Values(Road{"Placeholder", &AnswerEinval}),
                         [](const auto& road) { return std::string(road.param.name); });

TEST(IsOwnPlaceholder, OnlyAnEmptyFileAtTheRecordedPathMadeAfterTheRecord) {
  TempFolder folder;
  const std::string empty = folder.Write("empty.mp3", ""), full = folder.Write("full.mp3", "x");
  const std::string emptyFolder = folder / "album";
  ASSERT_EQ(::mkdir(emptyFolder.c_str(), 0700), 0);
  const std::int64_t now = std::time(nullptr);
  struct Row {
    std::string path, recorded;
    std::int64_t recordedAt;
    bool own;
  } rows[] = {
      {empty, empty, now, true},
      {emptyFolder, emptyFolder, now, true},
      {full, full, now, false},                   // a file with bytes is someone's
      {empty, folder / "other.mp3", now, false},  // not the recorded path
      {empty, empty, now + 3600, false},          // older than the record
      {folder / "gone.mp3", folder / "gone.mp3", now, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsOwnPlaceholder(row.path, row.recorded, row.recordedAt), row.own) << row.path;
  folder.Write("album/song.mp3", "");
  EXPECT_FALSE(IsOwnPlaceholder(emptyFolder, emptyFolder, now));
}

TEST(MoveToOtherCase, TakesAFreeSpellingAndNeverAnotherFile) {
  TempFolder folder;
  FileOps& ops = SystemFileOps();
  const std::string lower = folder.Write("song.mp3", "s"), upper = folder.Write("SONG.mp3", "S");
  struct Row {
    std::string from, to;
    int error;
  } rows[] = {
      {lower, upper, EEXIST},           // listed under its own name: another file
      {lower, folder / "Song.mp3", 0},  // free
      {folder / "gone.mp3", folder / "GONE.mp3", ENOENT},
      {upper, folder / "sub/song.mp3", EINVAL},  // not a change of case in one folder
  };
  for (const Row& row : rows)
    EXPECT_EQ(ops.MoveToOtherCase(row.from.c_str(), row.to.c_str()).error, row.error) << row.to;
  EXPECT_EQ(ReadBytes(upper) + ReadBytes(folder / "Song.mp3"), "Ss");
}

// The planned identity handed in stands only where the name was renamed in
// place; a copy or a move through a placeholder is looked at again, so a
// file changed since it was planned is recorded as it lies.
TEST(MoveAndStatus, KeepsAPlannedIdentityOnlyAfterARenameInPlace) {
  const Road roads[] = {
      {"in place", nullptr}, {"copy", AnswerExdev}, {"placeholder", AnswerEinval}};
  for (const Road& road : roads) {
    TempFolder folder;
    const std::unique_ptr<FileOps> ops = NewSystemFileOps(MoveOptions{{}, road.rename});
    const std::string a = folder.Write("a.mp3", "AAA"), b = folder / "b.mp3";
    FileStatus moved = NativeStatus(a);
    WriteBytes(a, "AAAAA");  // changed after the plan
    ASSERT_TRUE(ops->MoveAndStatus(a.c_str(), b.c_str(), moved).ok()) << road.name;
    EXPECT_TRUE(moved.SameFileAs(NativeStatus(b))) << road.name;
    EXPECT_EQ(moved.length, road.rename == nullptr ? 3 : 5) << road.name;
  }
}

}  // namespace
}  // namespace selvane
