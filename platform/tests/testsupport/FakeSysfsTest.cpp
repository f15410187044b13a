#include "platform/testsupport/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"
#include "platform/volume/XpStorageDevice.h"
#include "platform/volume/XpVolume.h"
#include "platform/volume/XpVolumeEnumerator.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FakeBus;
using testsupport::FakeVolume;
using testsupport::FakeVolumeDevice;

class FakeSysfsVolume : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  }

  // Adds volume at $T/name; returns its root with '/'.
  std::string Add(const std::string& name, FakeVolume volume, FakeVolumeDevice* device = nullptr) {
    volume.mountPoint = (Root() / name).string();
    const FakeVolumeDevice added = fake_->AddVolume(volume);
    if (device != nullptr) *device = added;
    return volume.mountPoint + "/";
  }

  static std::vector<std::string> Enumerated() {
    XpVolumeEnumerator volumes;
    volumes.Reset(false);
    std::vector<std::string> roots;
    while (XpSharedPtr<XpVolume> volume = volumes.Next())
      roots.push_back(volume->GetPath().ToMultiByte().ToStdString());
    return roots;
  }

  testsupport::FakeSysfs& Fake() { return *fake_; }

 private:
  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

TEST_F(FakeSysfsVolume, VolumesShowTheirBusRemovabilityAndKindToThePlatform) {
  struct Case {
    const char* name;
    FakeBus bus;
    const char* type;
    bool removable;
    XpResult idResult;
    uint32_t busKind;
    bool isRemovable;
    bool isRemote;
    bool isCdRom;
  };
  const Case cases[] = {
      {"usb", FakeBus::kUsb, "vfat", true, kXpOk, kXpStorageBusUsb, true, false, false},
      {"usb-fixed", FakeBus::kUsb, "ext4", false, kXpOk, kXpStorageBusUsb, false, false, false},
      {"usb-disc", FakeBus::kUsb, "iso9660", true, kXpOk, kXpStorageBusUsb, true, false, true},
      {"firewire", FakeBus::kFireWire, "vfat", true, kXpOk, kXpStorageBus1394, true, false, false},
      {"pccard", FakeBus::kPcCard, "vfat", true, kXpOk, kXpStorageBusPcCard, true, false, false},
      {"virtio", FakeBus::kVirtio, "ext4", false, kXpErrNotSupportedByOs, kXpStorageBusUnknown,
       false, false, false},
      {"share", FakeBus::kNetwork, "cifs", false, kXpErrNotSupportedByOs, kXpStorageBusUnknown,
       true, true, false},
  };
  for (const Case& c : cases) {
    FakeVolume volume;
    volume.bus = c.bus;
    volume.fileSystemType = c.type;
    volume.removable = c.removable;
    const std::string root = Add(c.name, volume);
    uint32_t bus = 99;
    EXPECT_EQ(XpStorageDeviceGetVenIdAndProdId(XpString::FromUtf8(root), &bus, nullptr, nullptr,
                                               nullptr, nullptr, true),
              c.idResult)
        << c.name;
    EXPECT_EQ(bus, c.busKind) << c.name;
    XpVolume mounted(XpString::FromUtf8(root));
    EXPECT_EQ(mounted.GetPath().ToMultiByte().ToStdString(), root) << c.name;
    EXPECT_EQ(mounted.IsRemovable(), c.isRemovable) << c.name;
    EXPECT_EQ(mounted.IsRemote(), c.isRemote) << c.name;
    EXPECT_EQ(mounted.IsCdRom(), c.isCdRom) << c.name;
  }
  EXPECT_EQ(Enumerated().size(), std::size(cases)) << "every volume on a device of its own";
}

TEST_F(FakeSysfsVolume, UsbVolumeCarriesItsIdentifiersSerialAndFileSystemNames) {
  FakeVolume volume;
  volume.vendorId = 0x1F3A;
  volume.productId = 0x0259;
  volume.serial = "0123456789AB";
  volume.manufacturer = "Kavo";
  volume.product = "K2";
  volume.uuid = "1234-ABCD";
  volume.label = "MY CARD";
  FakeVolumeDevice device;
  const std::string root = Add("card", volume, &device);
  EXPECT_TRUE(fs::is_directory(Root() / "card"));

  uint32_t vendor = 0;
  uint32_t product = 0;
  XpString vendorText;
  XpString productText;
  ASSERT_EQ(XpStorageDeviceGetVenIdAndProdId(XpString::FromUtf8(root), nullptr, &vendor, &product,
                                             &vendorText, &productText, true),
            kXpOk);
  EXPECT_EQ(vendor, 0x1F3Au);
  EXPECT_EQ(product, 0x0259u);
  EXPECT_EQ(vendorText.ToMultiByte().ToStdString(), "Kavo");
  EXPECT_EQ(productText.ToMultiByte().ToStdString(), "K2");
  uint64_t serial = 0;
  ASSERT_EQ(XpStorageDeviceGetUsbSerial(XpString::FromUtf8(root), &serial, true), kXpOk);
  EXPECT_EQ(serial, 0x0123456789ABu);

  XpVolume mounted(XpString::FromUtf8(root));
  EXPECT_EQ(mounted.GetVolumeSerial(), 0x1234ABCDu);
  EXPECT_EQ(mounted.GetName().ToMultiByte().ToStdString(), "MY CARD");
  EXPECT_EQ(mounted.GetPartitionNumber(), 1u);
  EXPECT_FALSE(device.usbFolder.empty());
  EXPECT_EQ(device.partitionFolder, device.diskFolder + "/" + device.kernelName);
}

TEST_F(FakeSysfsVolume, NewDisksSkipDeviceNumbersAlreadyTaken) {
  // A disk made by hand holds 8:1, as sda1.
  Fake().AddBlockDevice(8, 1, "devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1", 1);
  FakeVolumeDevice first;
  FakeVolumeDevice second;
  Add("one", FakeVolume{}, &first);
  Add("two", FakeVolume{}, &second);
  EXPECT_EQ(first.kernelName, "sdb1");
  EXPECT_EQ(first.minor, 17u);
  EXPECT_EQ(second.kernelName, "sdc1");

  FakeVolume share;
  share.bus = FakeBus::kNetwork;
  share.fileSystemType = "nfs";
  FakeVolumeDevice shareOne;
  FakeVolumeDevice shareTwo;
  Add("share1", share, &shareOne);
  Add("share2", share, &shareTwo);
  EXPECT_EQ(shareOne.major, 0u);
  EXPECT_NE(shareOne.minor, shareTwo.minor);
  EXPECT_EQ(Enumerated().size(), 4u);
}

TEST_F(FakeSysfsVolume, RemoveMountTakesTheDeviceAwayToo) {
  FakeVolume volume;
  volume.vendorId = 0x1F3A;
  volume.productId = 0x0259;
  volume.uuid = "1234-ABCD";
  volume.label = "CARD";
  FakeVolumeDevice device;
  const std::string root = Add("card", volume, &device);
  const std::string kept = Add("kept", FakeVolume{});
  Fake().RemoveMount((Root() / "card").string());

  EXPECT_EQ(Enumerated(), std::vector<std::string>{kept});
  const fs::path sys = Root() / "sysroot";
  EXPECT_FALSE(fs::exists(fs::symlink_status(
      sys / "sys/dev/block" / (std::to_string(device.major) + ":" + std::to_string(device.minor)))));
  EXPECT_FALSE(fs::exists(sys / "sys" / device.usbFolder));
  EXPECT_FALSE(fs::exists(fs::symlink_status(sys / "dev/disk/by-label/CARD")));
  EXPECT_TRUE(fs::is_directory(Root() / "card")) << "the mount point folder stays";
  EXPECT_EQ(XpStorageDeviceGetVenIdAndProdId(XpString::FromUtf8(root), nullptr, nullptr, nullptr,
                                             nullptr, nullptr, false),
            kXpErrNotSupportedByOs);

  FakeVolumeDevice again;
  Add("card", volume, &again);
  EXPECT_EQ(again.kernelName, device.kernelName) << "the freed number is used again";
  EXPECT_EQ(Enumerated().size(), 2u);
}

}  // namespace
