// The names a medium refuses: too long for it (counted as it counts them),
// and on FAT and exFAT the trailing dot or space and the Windows device names.
#include <gtest/gtest.h>

#include <string>

#include "core/platform/Cp932.h"
#include "core/platform/MediumNames.h"

namespace selvane {
namespace {

TEST(MediumNameRefusal, LimitsAndWindowsNamesPerMedium) {
  const Medium fat{true, 255}, ext4{false, 255};
  const std::string kana255(255 * 2, '\x82'), kana = Cp932("あ");
  std::string names255;  // 255 characters, 510 bytes in CP932, 765 in UTF-8
  for (int i = 0; i < 255; ++i) names255 += kana;
  struct Row {
    std::string name;
    const Medium& medium;
    NameRefusalKind kind;
  } rows[] = {
      {names255, fat, NameRefusalKind::None},
      {names255 + "a", fat, NameRefusalKind::TooLong},
      {std::string(86, 'x') + Cp932("あ") + std::string(84, 'x'), ext4, NameRefusalKind::None},
      {names255, ext4, NameRefusalKind::TooLong},  // bytes count there
      {"song.", fat, NameRefusalKind::TrailingDotOrSpace},
      {"song ", fat, NameRefusalKind::TrailingDotOrSpace},
      {"song.", ext4, NameRefusalKind::None},
      {"CON", fat, NameRefusalKind::DeviceName},
      {"con.mp3", fat, NameRefusalKind::DeviceName},
      {"Lpt9.tar.mp3", fat, NameRefusalKind::DeviceName},
      {"AUX .mp3", fat, NameRefusalKind::DeviceName},
      {"COM0.mp3", fat, NameRefusalKind::None},
      {"CONSOLE.mp3", fat, NameRefusalKind::None},
      {"NUL.mp3", ext4, NameRefusalKind::None},
      {Cp932("曲.mp3"), fat, NameRefusalKind::None},
  };
  for (const Row& row : rows)
    EXPECT_EQ(MediumNameRefusal(row.name, row.medium), row.kind) << row.name.substr(0, 20);
}

}  // namespace
}  // namespace selvane
