#include "platform/system/XpBlockDevice.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/system/FakeBlockDevices.h"

namespace {

using XpBlockDevice = testsupport::HermeticTest;

struct DeviceCase {
  uint32_t major;
  uint32_t minor;
  const char* disk;       // the disk folder's leaf; "" when unknown
  bool removable;
};

TEST_F(XpBlockDevice, RemovableComesFromTheDiskOfAPartition) {
  fakesysfs::StageBlockDevice("8:17", "sdb", "sdb1", "1");
  fakesysfs::StageBlockDevice("8:16", "sdb", "", "1");
  fakesysfs::StageBlockDevice("8:1", "sda", "sda1", "0");
  fakesysfs::StageBlockDevice("179:1", "mmcblk0", "mmcblk0p1", "0");
  fakesysfs::StageBlockDevice("259:0", "nvme0n1", "", nullptr);
  const DeviceCase cases[] = {
      {8, 17, "sdb", true},       {8, 16, "sdb", true},     {8, 1, "sda", false},
      {179, 1, "mmcblk0", true},  {259, 0, "nvme0n1", false}, {8, 99, "", false},
      {0, 42, "", false},
  };
  for (const DeviceCase& c : cases) {
    const std::string label = std::to_string(c.major) + ":" + std::to_string(c.minor);
    const std::string folder(XpBlockDeviceDiskFolder(c.major, c.minor).View());
    const std::string leaf = folder.empty() ? "" : folder.substr(folder.rfind('/') + 1);
    EXPECT_EQ(leaf, c.disk) << label;
    EXPECT_EQ(XpBlockDeviceIsRemovable(c.major, c.minor), c.removable) << label;
  }
}

TEST_F(XpBlockDevice, DiskFolderLiesBelowTheSystemRoot) {
  fakesysfs::StageBlockDevice("8:33", "sdc", "sdc1", "1");
  const std::string folder(XpBlockDeviceDiskFolder(8, 33).View());
  const std::string root = std::filesystem::canonical(fakesysfs::SysRoot()).string();
  EXPECT_EQ(folder, root + "/sys/devices/pci0000:00/usb1/1-1/block/sdc");
}

}  // namespace
