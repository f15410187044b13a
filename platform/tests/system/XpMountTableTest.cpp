#include "platform/system/XpMountTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

class MountTableFixture : public testsupport::HermeticTest {
 protected:
  void StageMountInfo(const std::string& text) {
    const std::filesystem::path proc = std::filesystem::path(std::getenv("KAVO_SYSROOT")) / "proc/self";
    std::filesystem::create_directories(proc);
    std::ofstream(proc / "mountinfo") << text;
  }
};
using XpMountTable = MountTableFixture;

TEST_F(XpMountTable, ParsesEveryField) {
  ::XpMountTable table;
  table.Parse(
      "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 shared:7 - ext3 /dev/root rw,errors=continue\n"
      "40 22 8:17 / /media/u/My\\040Card\\011\\012\\134x rw - vfat /dev/disk\\040a ro,uid=1000\n");
  ASSERT_EQ(table.Entries().size(), 2u);

  const XpMountEntry& first = table.Entries()[0];
  EXPECT_EQ(first.mountId, 36u);
  EXPECT_EQ(first.parentId, 35u);
  EXPECT_EQ(first.major, 98u);
  EXPECT_EQ(first.minor, 0u);
  EXPECT_EQ(first.root, u"/mnt1");
  EXPECT_EQ(first.mountPoint, u"/mnt2");
  EXPECT_EQ(first.mountOptions, u"rw,noatime");
  ASSERT_EQ(first.optionalFields.size(), 2u);
  EXPECT_EQ(first.optionalFields[0], u"master:1");
  EXPECT_EQ(first.optionalFields[1], u"shared:7");
  EXPECT_EQ(first.fileSystemType, u"ext3");
  EXPECT_EQ(first.source, u"/dev/root");
  EXPECT_EQ(first.superOptions, u"rw,errors=continue");

  const XpMountEntry& second = table.Entries()[1];
  EXPECT_EQ(second.major, 8u);
  EXPECT_EQ(second.minor, 17u);
  EXPECT_EQ(second.mountPoint, u"/media/u/My Card\t\n\\x");
  EXPECT_TRUE(second.optionalFields.empty());
  EXPECT_EQ(second.fileSystemType, u"vfat");
  EXPECT_EQ(second.source, u"/dev/disk a");
  EXPECT_EQ(second.superOptions, u"ro,uid=1000");
}

TEST_F(XpMountTable, SkipsMalformedLinesAndKeepsTheRest) {
  ::XpMountTable table;
  table.Parse(
      "garbage\n"
      "x 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 8 / / rw - ext4 /dev/sda1 rw\n"
      "3 1 8:1 / /a rw shared:1 ext4 /dev/sda1 rw\n"
      "4 1 8:1 / /b rw - ext4\n"
      "\n"
      "5 1 8:2 / /ok rw - ext4 /dev/sda2 rw");
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(table.Entries()[0].mountPoint, u"/ok");
  // Bytes that are not UTF-8 survive as surrogate escapes.
  EXPECT_EQ(::XpMountTable::DecodeField("/m/\\377"), u"/m/\xDCFF");
  EXPECT_EQ(::XpMountTable::DecodeField("a\\09b\\04"), u"a\\09b\\04");
}

TEST_F(XpMountTable, FindsTheMountThatHoldsAPath) {
  ::XpMountTable table;
  table.Parse(
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 8:17 / /media/u/CAM rw - vfat /dev/sdb1 rw\n"
      "3 1 8:33 / /media/u/CAM rw - vfat /dev/sdc1 rw\n"
      "4 1 8:49 / /media/u/CAM/inner rw - vfat /dev/sdd1 rw\n");
  const struct {
    const char16_t* path;
    uint32_t mountId;
  } cases[] = {
      {u"/media/u/CAM/DCIM", 3},  // the later of two mounts on one point is on top
      {u"/media/u/CAM", 3},
      {u"/media/u/CAMERA", 1},
      {u"/media/u/CAM/inner/x", 4},
      {u"/media/u/CAM/innerx", 3},
      {u"/", 1},
  };
  for (const auto& row : cases) {
    const XpMountEntry* entry = table.FindContaining(row.path);
    ASSERT_NE(entry, nullptr) << testing::PrintToString(XpString(row.path));
    EXPECT_EQ(entry->mountId, row.mountId) << testing::PrintToString(XpString(row.path));
  }
  EXPECT_EQ(table.FindContaining(u"relative"), nullptr);
  EXPECT_EQ(table.FindContaining(u""), nullptr);
}

TEST_F(XpMountTable, LoadsThroughTheSystemRootEachTime) {
  ::XpMountTable table;
  EXPECT_EQ(table.Load(), kXpErrPathNotFound);
  EXPECT_TRUE(table.Entries().empty());

  StageMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
  ASSERT_EQ(table.Load(), kXpOk);
  EXPECT_EQ(table.Entries().size(), 1u);

  StageMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:17 / /media/u/CAM rw - vfat /dev/sdb1 rw\n");
  ASSERT_EQ(table.Load(), kXpOk);
  ASSERT_EQ(table.Entries().size(), 2u);
  EXPECT_EQ(table.Entries()[1].mountPoint, u"/media/u/CAM");
}

}  // namespace
