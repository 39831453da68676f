// The look before a tag change and the write after it: the file on disk, not
// the entry, decides, and a file changed between the two is left as it is.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/tags/TagChangePlan.h"
#include "core/tags/TagWriter.h"
#include "tests/core/TempFolder.h"
#include "tests/core/tags/TagFiles.h"

namespace selvane {
namespace {

class TagChangePlanTest : public ::testing::Test {
 protected:
  TempFolder folder_;
};

// Under an empty rule no tag is read, so the entry of a tagged file says
// "no tag": the file decides, and it never gets a second trailer.
TEST_F(TagChangePlanTest, FileNotTheEntryDecidesBetweenReplacingAndAppending) {
  const std::string tagged = folder_.Write("tagged.mp3", Audio + Titled("old", 1));
  const std::string bare = folder_.Write("bare.mp3", Audio);
  FileEntry taggedEntry{}, bareEntry{};
  CopyField(taggedEntry.path, tagged);
  CopyField(bareEntry.path, bare);
  bareEntry.hasTag = 1;  // read before another program stripped it

  bool replaced = false;
  ASSERT_TRUE(WriteTag(taggedEntry, BuildTrailer({"new", "", "", "", "", 2}, 0), SystemFileOps(),
                       &replaced));
  EXPECT_TRUE(replaced);
  EXPECT_EQ(ReadBytes(tagged), Audio + Titled("new", 2));

  ASSERT_TRUE(
      WriteTag(bareEntry, BuildTrailer({"new", "", "", "", "", 2}, 0), SystemFileOps(), &replaced));
  EXPECT_FALSE(replaced);
  EXPECT_EQ(ReadBytes(bare), Audio + Titled("new", 2));
}

// A question may stand between the look and the write: a file that another
// program changed or replaced meanwhile is left as it now is.
TEST_F(TagChangePlanTest, FileChangedSinceThePlanIsNotWritten) {
  const Bytes tagged = Audio + Titled("old", 1);
  const struct {
    const char* what;
    bool removes;
    Bytes meanwhile;  // the file's bytes once the plan is made
    bool replace;     // by another file under the same name
  } cases[] = {
      {"update after bytes were added", false, tagged + "more", false},
      {"removal after bytes were added", true, tagged + "more", false},
      {"update after the trailer was cut", false, Audio, false},
      {"update of a file replaced by one as long", false, Audio + Titled("new", 2), true},
      {"removal of a file replaced by one as long", true, Audio + Titled("new", 2), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder_.Write("c.mp3", tagged);
    FileEntry entry = Listed(path);
    TagChangePlan plan;
    ASSERT_TRUE(c.removes ? PlanTagRemoval(entry.path, SystemFileOps(), plan)
                          : PlanTagUpdate(entry.path, BuildTrailer({"x", "", "", "", "", 3}, 0),
                                          SystemFileOps(), plan));
    if (c.replace) {
      std::filesystem::rename(folder_.Write("other.mp3", c.meanwhile), path);
    } else {
      folder_.Write("c.mp3", c.meanwhile);
    }

    const FileResult result = c.removes ? RemoveTrailerAsPlanned(entry, plan, SystemFileOps())
                                        : WriteTrailerAsPlanned(entry, plan, SystemFileOps());

    EXPECT_EQ(result.error, ChangedSinceLookError);
    EXPECT_EQ(ReadBytes(path), c.meanwhile);
    EXPECT_STREQ(entry.title, "old");
  }
}

}  // namespace
}  // namespace selvane
