// Names compared as a folder that ignores letter case compares them, and the
// probe that tells whether a folder does.
#include <gtest/gtest.h>

#include "core/platform/Cp932.h"
#include "core/platform/FolderCase.h"
#include "core/platform/Volume.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

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

}  // namespace
}  // namespace selvane
