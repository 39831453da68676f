// The folder listing behind the command line's wildcard search.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "core/platform/FolderListing.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// The names, a link's marked with "@"; none when the folder was not read.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  const bool read = FolderListing::ForEach(folder, [&](std::string_view name, bool maybeLink) {
    names.emplace(std::string(name) + (maybeLink ? "@" : ""));
    return true;
  });
  EXPECT_EQ(read, FolderListing(folder).IsOpen()) << folder;
  return names;
}

// Every name as the system holds it, a byte that is no UTF-8 included, a
// link told as one; a folder that is not there, or a file, lists nothing.
TEST(FolderListingTest, ListsEveryNameAsStoredAndNothingWhereNoFolderIs) {
  TempFolder folder;
  WriteBytes(folder / "a.mp3", "");
  WriteBytes(folder / "lost\xFF.mp3", "");
  ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("a.mp3", (folder / "link.mp3").c_str()), 0);
  EXPECT_EQ(Names(folder.path()),
            (std::set<std::string>{"a.mp3", "link.mp3@", "lost\xFF.mp3", "sub"}));
  for (const std::string& none : {folder / "missing", folder / "a.mp3"}) {
    SCOPED_TRACE(none);
    EXPECT_FALSE(FolderListing(none).IsOpen());
    EXPECT_TRUE(Names(none).empty());
  }
}

// A folder is listed at its 64th ask, once; then every name it holds is
// found, however many share a hash slot, and every other is absent.
TEST(FolderListingTest, ListedFolderAnswersForEveryNameFromItsOneListing) {
  int listings = 0;
  ListedFolders folders([&](std::string_view folder, const ListedFolders::Each& each) {
    ++listings;
    bool whole = each("song.mp3", true);
    for (int i = 0; whole && i < 3000; ++i)
      whole = each(std::string(folder) + std::to_string(i), false);
    return whole;
  });
  for (int ask = 1; ask < ListedFolders::ReadFrom; ++ask)
    ASSERT_EQ(folders.Find("d", "d1"), ListedFolders::Holds::NotListed) << ask;
  EXPECT_EQ(folders.Find("d", "song.mp3"), ListedFolders::Holds::MaybeLink);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(folders.Find("d", "d" + std::to_string(i)), ListedFolders::Holds::Name) << i;
    ASSERT_EQ(folders.Find("d", "e" + std::to_string(i)), ListedFolders::Holds::Absent) << i;
  }
  EXPECT_EQ(listings, 1);
}

}  // namespace
}  // namespace selvane
