// A path kept in the record or in a buffer of its own by its length: it reads
// back whole either way.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"

namespace selvane {
namespace {

// A path lies in the record or in a buffer of its own by its length; it
// reads back whole, NUL-terminated, on either road, also written from itself.
TEST(PathText, ReadsBackWholeOnEitherRoad) {
  PathText path;
  const std::string shortText(20, 's'), longText(600, 'l'), longest(1023, 'm');
  for (const std::string* text : {&shortText, &longText, &longest, &longText, &shortText}) {
    ASSERT_TRUE(CopyField(path, *text));
    EXPECT_EQ(std::string(path.c_str()), *text);
  }
  CopyField(path, longest);
  CopyField(path, std::string_view(path).substr(1));
  EXPECT_EQ(std::string(path.c_str()), longest.substr(1));
  CopyField(path, std::string_view(path).substr(0, 5));
  EXPECT_EQ(std::string(path.c_str()), longest.substr(1, 5));
  const PathText copy = path;
  EXPECT_TRUE(copy == path);
  CopyField(path, std::string_view("/a/b\0c", 6));  // a C text ends at its NUL
  EXPECT_EQ(std::string_view(path), "/a/b");
}

}  // namespace
}  // namespace selvane
