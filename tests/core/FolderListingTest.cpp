// The folder listing behind the command line's wildcard search.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/platform/FolderListing.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

std::set<std::string> Names(const std::string& folder) {
  FolderListing listing(folder);
  std::set<std::string> names;
  while (const auto name = listing.Next()) names.emplace(*name);
  return names;
}

// Every name as the system holds it, a byte that is no UTF-8 included; a
// folder that is not there, or a file, lists nothing.
TEST(FolderListingTest, ListsEveryNameAsStoredAndNothingWhereNoFolderIs) {
  TempFolder folder;
  WriteBytes(folder / "a.mp3", "");
  WriteBytes(folder / "lost\xFF.mp3", "");
  ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0700), 0);
  EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"a.mp3", "lost\xFF.mp3", "sub"}));
  for (const std::string& none : {folder / "missing", folder / "a.mp3"}) {
    SCOPED_TRACE(none);
    EXPECT_FALSE(FolderListing(none).IsOpen());
    EXPECT_TRUE(Names(none).empty());
  }
}

}  // namespace
}  // namespace selvane
