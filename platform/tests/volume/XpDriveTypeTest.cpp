#include "platform/volume/XpDriveType.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/tests/volume/VolumeTestTree.h"

namespace {

using fstest::ToXp;

constexpr unsigned kOpticalMajor = 11;

class XpDriveType : public volumetest::VolumeFixture {
 protected:
  // A path below a mount point, which need not exist.
  static XpString Below(const std::filesystem::path& mountPoint, const char* rest) {
    return ToXp(mountPoint / rest);
  }

  std::filesystem::path AddVolume(const std::string& name, const std::string& type, bool removable,
                                  testsupport::FakeBus bus) {
    testsupport::FakeVolume volume;
    volume.mountPoint = Dir(name).string();
    volume.fileSystemType = type;
    volume.removable = removable;
    volume.bus = bus;
    Fake().AddVolume(volume);
    return volume.mountPoint;
  }
};

TEST_F(XpDriveType, EachKindOfMountGivesItsType) {
  const auto fixed = AddFixedDisk("fixed", "ext4");
  const auto usbFixed = AddVolume("usbfixed", "ext4", false, testsupport::FakeBus::kUsb);
  const auto stick = AddVolume("stick", "vfat", true, testsupport::FakeBus::kUsb);
  const auto net = AddVolume("net", "cifs", false, testsupport::FakeBus::kNetwork);
  Fake().AddBlockDevice(kOpticalMajor, 0, "devices/pci0000:00/0000:00:1f.2/ata2/host1/block/sr0");
  const auto cd = Dir("cd");
  Fake().AddMount({cd.string(), "iso9660", "/dev/sr0", kOpticalMajor, 0});
  const auto ram = Dir("ram");
  Fake().AddMount({ram.string(), "tmpfs", "tmpfs", 0, 77});

  struct Case {
    XpString path;
    uint32_t type;
  } const cases[] = {
      {Below(fixed, "a/b"), kXpDriveFixed},        {volumetest::VolumeFixture::RootOf(fixed), kXpDriveFixed},
      {Below(usbFixed, "Apps/"), kXpDriveFixed},   {Below(stick, "QMV/"), kXpDriveRemovable},
      {Below(net, "x/"), kXpDriveRemote},          {Below(cd, "x/"), kXpDriveCdRom},
      {Below(ram, "x"), kXpDriveRamDisk},          {u"rel/x", kXpDriveNoRootDir},
      {u"", kXpDriveNoRootDir},                    {Below(Root(), "elsewhere/x"), kXpDriveNoRootDir},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpGetDriveType(c.path), c.type) << c.path.ToMultiByte().CStr();
  }
}

TEST_F(XpDriveType, AnUnmountedVolumeHasNoRoot) {
  const auto stick = AddVolume("stick", "vfat", true, testsupport::FakeBus::kUsb);
  ASSERT_EQ(XpGetDriveType(Below(stick, "x")), kXpDriveRemovable);
  Fake().RemoveMount(stick.string());
  EXPECT_EQ(XpGetDriveType(Below(stick, "x")), kXpDriveNoRootDir);
}

}  // namespace
