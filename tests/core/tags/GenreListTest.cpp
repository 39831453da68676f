// The genre list: one text per ID3v1 genre byte, in the byte's order.
#include <gtest/gtest.h>

#include <string_view>

#include "core/tags/GenreList.h"

namespace selvane {
namespace {

TEST(GenreList, OneTextPerItemInOrder) {
  for (const std::string_view text : GenreList) EXPECT_FALSE(text.empty());  // none dropped
  EXPECT_EQ(GenreList[0], "Blues");
  EXPECT_EQ(GenreList[40], "AlternRock");
  EXPECT_EQ(GenreList[85], "Bebob");
  EXPECT_EQ(GenreList[123], "A capella");
  EXPECT_EQ(GenreList[147], "SynthPop");
  EXPECT_EQ(GenreList[GenreItemForByte(255)], "Unknown");
}

}  // namespace
}  // namespace selvane
