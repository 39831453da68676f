// The medium a tag update records while one history stays open over many
// updates: a volume mounted or unmounted in between is the one recorded.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/tags/TagWriter.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// Updates the tag of a new file at `path` and gives the mount point its
// batch recorded.
std::string RecordedMount(History& history, const std::string& path) {
  WriteBytes(path, std::string(300, '\x55') + "TAG" + std::string(125, ' '));
  FileEntry entry{};
  CopyField(entry.path, path);
  RecordingPrompts ui;
  if (!WriteTagRecorded(entry, BuildTrailer({"new", {}, {}, {}, {}, -1}, 0), SystemFileOps(),
                        history, ui))
    return "<not written>";
  StoredBatch batch;
  sql::Status status;
  std::string aside;
  if (history.store().LoadNewest(batch, status, aside) != HistoryStore::Loaded::Ready)
    return "<not loaded>";
  return batch.volume.mountPoint;
}

TEST(TagChangeMediumTest, AVolumeMountedWhileTheHistoryIsOpenIsTheOneRecorded) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  TempFolder music, state;
  History history(state / "history.sqlite3");
  const std::string stick = music / "stick";
  ASSERT_EQ(::mkdir(stick.c_str(), 0755), 0);
  const std::string outside = RecordedMount(history, music / "a.mp3");
  ASSERT_NE(outside, stick);

  if (::mount("selvane-test", stick.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "tmpfs cannot be mounted here";
  EXPECT_EQ(RecordedMount(history, stick + "/b.mp3"), stick);
  ASSERT_EQ(::umount2(stick.c_str(), MNT_DETACH), 0);
  EXPECT_EQ(RecordedMount(history, stick + "/c.mp3"), outside);
}

}  // namespace
}  // namespace selvane
