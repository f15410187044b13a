#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/volume/XpVolumeEnumerator.h"

namespace {

using fstest::ToXp;
using testsupport::FakeMount;

// The roots the enumerator yields, in order.
std::vector<XpString> Walk(::XpVolumeEnumerator& enumerator) {
  std::vector<XpString> roots;
  while (XpSharedPtr<::XpVolume> volume = enumerator.Next()) roots.push_back(volume->GetPath());
  return roots;
}

class VolumeEnumeratorFixture : public volumetest::VolumeFixture {
 protected:
  // Every kind of mount the enumerator must tell apart.
  void SetUp() override {
    VolumeFixture::SetUp();
    card_ = AddCard();
    data_ = AddFixedDisk("data", "ext4");
    net_ = Dir("net");
    floppy_ = Dir("floppy");
    Fake().AddBlockDevice(7, 0, "devices/virtual/block/loop0");
    Fake().AddBlockDevice(2, 0, "devices/platform/floppy.0/block/fd0");
    Fake().AddMount({Dir("snap/core").string(), "squashfs", "/dev/loop0", 7, 0, "/", "ro"});
    Fake().AddMount({Dir("scratch").string(), "tmpfs", "tmpfs", 0, 40});
    Fake().AddMount(
        {Dir("bound").string(), "ext4", "/dev/vda1", volumetest::kFixedMajor, 1, "/sub"});
    Fake().AddMount({Dir("media/card/again/longer").string(), "vfat", "/dev/sdb1",
                     volumetest::kCardMajor, volumetest::kCardMinor});
    Fake().AddMount({net_.string(), "cifs", "//server/share", 0, 61});
    Fake().AddMount({floppy_.string(), "vfat", "/dev/fd0", 2, 0});
    Fake().AddMount({(Root() / "gone").string(), "ext4", "/dev/vda2", volumetest::kFixedMajor, 2});
    Fake().AddMount({"/boot/efi", "vfat", "/dev/vda15", volumetest::kFixedMajor, 15});
  }

  std::filesystem::path card_;
  std::filesystem::path data_;
  std::filesystem::path net_;
  std::filesystem::path floppy_;
};
using XpVolumeEnumerator = VolumeEnumeratorFixture;

TEST_F(XpVolumeEnumerator, YieldsReadyVolumesInMountPointOrder) {
  ::XpVolumeEnumerator enumerator;
  EXPECT_EQ(Walk(enumerator), (std::vector<XpString>{RootOf(data_), RootOf(card_), RootOf(net_)}));
  EXPECT_FALSE(enumerator.Next());

  enumerator.Reset(true);
  EXPECT_EQ(Walk(enumerator),
            (std::vector<XpString>{RootOf(data_), RootOf(floppy_), RootOf(card_), RootOf(net_)}));

  enumerator.Reset(false);
  enumerator.Close();
  EXPECT_FALSE(enumerator.Next());
}

TEST_F(XpVolumeEnumerator, ListIsTakenWhenTheWalkStarts) {
  ::XpVolumeEnumerator enumerator;
  const std::filesystem::path stick = Dir("media/stick");
  Fake().AddMount({stick.string(), "exfat", "/dev/sdc1", 8, 33});
  EXPECT_EQ(Walk(enumerator).size(), 3u);
  enumerator.Reset(false);
  const std::vector<XpString> roots = Walk(enumerator);
  ASSERT_EQ(roots.size(), 4u);
  EXPECT_EQ(roots[2], RootOf(stick));
}

TEST_F(XpVolumeEnumerator, SecondMountOfADeviceKeepsTheShorterPoint) {
  std::vector<XpMountEntry> mounts(2);
  mounts[0].major = mounts[1].major = 8;
  mounts[0].minor = mounts[1].minor = 1;
  mounts[0].root = mounts[1].root = u"/";
  mounts[0].fileSystemType = mounts[1].fileSystemType = u"ext4";
  mounts[0].mountPoint = u"/srv/photos/archive";
  mounts[1].mountPoint = u"/srv/photo";
  const std::vector<XpMountEntry> volumes = ::XpVolumeEnumerator::SelectVolumes(mounts, false);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mountPoint, u"/srv/photo");
}

TEST_F(XpVolumeEnumerator, BootAndBelowAreSkipped) {
  std::vector<XpMountEntry> mounts(3);
  const char16_t* points[] = {u"/boot", u"/boot/efi", u"/bootstrap"};
  for (uint32_t i = 0; i < mounts.size(); ++i) {
    mounts[i].root = u"/";
    mounts[i].fileSystemType = u"ext4";
    mounts[i].mountPoint = points[i];
    mounts[i].major = 8;
    mounts[i].minor = i + 1;
  }
  const std::vector<XpMountEntry> volumes = ::XpVolumeEnumerator::SelectVolumes(mounts, true);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mountPoint, u"/bootstrap");
}

TEST_F(XpVolumeEnumerator, MountOnTopHidesTheOneBeneath) {
  std::vector<XpMountEntry> mounts(2);
  for (XpMountEntry& mount : mounts) {
    mount.root = u"/";
    mount.fileSystemType = u"ext4";
    mount.mountPoint = u"/mnt/x";
    mount.major = 8;
  }
  mounts[0].minor = 1;
  mounts[1].minor = 2;
  const std::vector<XpMountEntry> volumes = ::XpVolumeEnumerator::SelectVolumes(mounts, false);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].minor, 2u);
}

TEST_F(XpVolumeEnumerator, ReadinessAndFloppies) {
  EXPECT_TRUE(XpIsVolumeReady(RootOf(card_), false, 0));
  EXPECT_TRUE(XpIsVolumeReady(ToXp(card_), false, 1));
  EXPECT_FALSE(XpIsVolumeReady(ToXp(Root() / "gone/"), true, 0));
  EXPECT_TRUE(XpIsFloppyDrive(RootOf(floppy_)));
  EXPECT_FALSE(XpIsFloppyDrive(RootOf(card_)));
  EXPECT_FALSE(XpIsVolumeReady(RootOf(floppy_), false, 0));
  EXPECT_TRUE(XpIsVolumeReady(RootOf(floppy_), true, 0));
}

}  // namespace
