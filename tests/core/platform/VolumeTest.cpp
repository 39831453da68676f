// The mount table: each volume's mount point, type, source and device as
// the system lists them, and the volume every path lies on.
#include <gtest/gtest.h>

#include "core/platform/Volume.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

TEST(MountTable, ReadsMountPointsTypesAndDevices) {
  const MountTable table = MountTable::Parse(
      "22 1 253:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "46 22 7:4 / /media/My\\040Music rw,nosuid - fuseblk /dev/loop4 rw,user_id=0\n"
      "47 22 0:50 / /mnt/share rw master:3 propagation:x - cifs //nas/music rw\n"
      "broken line\n");
  ASSERT_EQ(table.volumes().size(), 3U);
  EXPECT_EQ(table.volumes()[1].mountPoint, "/media/My Music");
  EXPECT_EQ(table.volumes()[1].fsType, "fuseblk");
  EXPECT_EQ(table.volumes()[1].source, "/dev/loop4");
  EXPECT_EQ(table.volumes()[1].device, (7ULL << 8) | 4U);
  EXPECT_EQ(table.volumes()[2].fsType, "cifs");  // optional fields skipped
}

TEST(MountTable, EveryPathLiesOnAMountedVolume) {
  MountTable table = MountTable::Read();
  TempFolder folder;
  const Volume* here = table.VolumeOf(folder.path());
  ASSERT_NE(here, nullptr);
  // A name not made yet lies where its folder lies.
  EXPECT_EQ(table.VolumeOf(folder / "not/yet.mp3"), here);
  EXPECT_EQ(table.FindMounted("no-such-uuid", ""), nullptr);
}

}  // namespace
}  // namespace selvane
