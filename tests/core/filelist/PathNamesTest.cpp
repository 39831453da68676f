// Finding the parts of a CP932 path: a trail byte of 0x5C is never a
// separator.
#include <gtest/gtest.h>

#include <string>

#include "core/filelist/PathNames.h"

namespace selvane {
namespace {

// "ソ" and "表" end in 0x5C, the byte of '\': as a trail byte it never
// splits a name, nor does a lead byte that ends the path take a separator.
TEST(PathNames, TrailByteIsNeverASeparator) {
  struct Row {
    std::string path, folder, prefix, name;
  };
  const Row rows[] = {
      {"/m/a.mp3", "/m", "/m/", "a.mp3"},
      {"C:\\m\\a.mp3", "C:\\m", "C:\\m\\", "a.mp3"},
      {"/m/\x83\x5C.mp3", "/m", "/m/", "\x83\x5C.mp3"},
      {"/m/\x95\x5C\\b", "/m/\x95\x5C", "/m/\x95\x5C\\", "b"},
      {"\x83\x5C", "", "", "\x83\x5C"},
      {"/m/\x83", "/m", "/m/", "\x83"},
      {"/m/..", "/m", "/m/..", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(FolderOf(row.path), row.folder);
    const ViewSplit split = SplitView(row.path);
    EXPECT_EQ(split.prefix, row.prefix);
    EXPECT_EQ(split.name, row.name);
  }
  EXPECT_FALSE(SameName("/m/\x83\x5C", "/m/\x83/"));
  EXPECT_TRUE(SameName("/m\\a", "/m//./a"));
}

}  // namespace
}  // namespace selvane
