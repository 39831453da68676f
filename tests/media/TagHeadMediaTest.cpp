// Both tags written on exFAT and NTFS through FUSE (no shared extents, new
// inode numbers at every mount): a tag that grows and one that fits, then
// undone after a restart (and on exFAT a replug), byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Undo.h"
#include "core/platform/Cp932.h"
#include "core/platform/Trash.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/media/MediaEnv.h"

namespace selvane {
namespace {

// A 2.3 tag without padding whose title is `title` (ASCII), 3 MiB of
// audio, and a trailer.
std::string Song(const std::string& title) {
  std::string text = "\x01\xFF\xFE";
  for (const char c : title) text += std::string{c, '\0'};
  const std::string frame =
      std::string("TIT2\0\0\0", 7) + static_cast<char>(text.size()) + std::string(2, '\0') + text;
  const std::string header = std::string("ID3\x03\0\0\0\0\0", 9) + static_cast<char>(frame.size());
  return header + frame + std::string(3 << 20, '\x77') + TrailerBytes("old");
}

class TagHeadMedia : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    medium_ = Env(GetParam());
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    folder_ = medium_ + "/tag-head";
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Update(const std::string& path, const char* title) {
    FileEntry entry{};
    CopyField(entry.path, path);
    Id3v2Changes changes;
    changes.title = title;
    History history;
    RecordingPrompts ui;
    Id3v2Refusal refusal = Id3v2Refusal::None;
    const FileResult written =
        WriteBothTagsRecorded(entry, BuildTrailer({title, {}, {}, {}, {}, -1}, 0), changes,
                              SystemFileOps(), history, ui, refusal);
    ASSERT_TRUE(written.ok()) << ErrorText(written.error);
  }
  void Undo() {
    History history;
    RecordingPrompts ui;
    ui.answers.push_back(true);
    FreedesktopTrash trash;
    ASSERT_TRUE(RunUndo(history.store(), SystemFileOps(), trash, ui).undone);
    EXPECT_TRUE(ui.refusals.empty()) << ui.refusals[0].text;
  }

  std::string medium_, folder_;
  TempFolder state_;
};

TEST_P(TagHeadMedia, BothTagsComeBackByteForByte) {
  const std::string path = folder_ + "/song.mp3", before = Song("short");
  WriteBytes(path, before);
  Update(path, "a title much longer than the old one");  // grows
  const std::string grown = ReadBytes(path);
  Update(path, "shorter");  // fits the padding the growth left
  EXPECT_EQ(ReadBytes(path).size(), grown.size());
  if (std::string(GetParam()) == "SELVANE_MEDIA_EXFAT") {
    const std::string away = Env("SELVANE_MEDIA_WORK") + "/exfat-tag-head";
    ASSERT_EQ(std::system((Env("SELVANE_MEDIA_REPLUG") + " " + medium_ + " " + away).c_str()), 0);
    Undo();
    Undo();
    EXPECT_TRUE(ReadBytes(away + "/tag-head/song.mp3") == before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(away + "/tag-head"), {}), 1);
    ASSERT_EQ(std::system((Env("SELVANE_MEDIA_REPLUG") + " " + away + " " + medium_).c_str()), 0);
    return;
  }
  Undo();
  Undo();
  EXPECT_TRUE(ReadBytes(path) == before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Media, TagHeadMedia,
                         ::testing::Values("SELVANE_MEDIA_EXFAT", "SELVANE_MEDIA_NTFS"));

}  // namespace
}  // namespace selvane
