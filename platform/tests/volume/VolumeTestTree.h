#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpString.h"

namespace volumetest {

// The USB card reader of the camera, as sysfs shows it.
inline constexpr const char* kUsbDevice = "devices/pci0000:00/0000:00:14.0/usb2/2-1";
inline constexpr const char* kCardDisk =
    "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
inline constexpr const char* kCardPartition =
    "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1";
inline constexpr unsigned kCardMajor = 8;
inline constexpr unsigned kCardMinor = 17;

// A virtio disk: fixed, on no bus the storage queries know.
inline constexpr const char* kFixedDisk = "devices/pci0000:00/0000:00:04.0/virtio2/block/vda";
inline constexpr unsigned kFixedMajor = 254;

// A test with a fake system tree below KAVO_SYSROOT whose mount points are
// real folders below the test's root.
class VolumeFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  }

  testsupport::FakeSysfs& Fake() { return *fake_; }

  // The root of a mount point: the folder with a trailing '/'.
  static XpString RootOf(const std::filesystem::path& mountPoint) {
    return fstest::ToXp(mountPoint) + u"/";
  }

  // The camera's card: a USB card reader with its ids and serial, a FAT
  // partition sdb1 with the UUID "1234-ABCD", mounted at media/card.
  std::filesystem::path AddCard() {
    Fake().AddBlockDevice(kCardMajor, kCardMinor, kCardPartition, 1);
    Fake().WriteAttribute(kCardDisk, "removable", "1");
    Fake().WriteAttribute(kCardDisk, "device/vendor", "Generic ");
    Fake().WriteAttribute(kCardDisk, "device/model", "Card Reader     ");
    Fake().WriteAttribute(kUsbDevice, "idVendor", "1f3a");
    Fake().WriteAttribute(kUsbDevice, "idProduct", "0259");
    Fake().WriteAttribute(kUsbDevice, "manufacturer", "Kavo");
    Fake().WriteAttribute(kUsbDevice, "product", "K2");
    Fake().WriteAttribute(kUsbDevice, "serial", "0123456789AB");
    Fake().WriteAttribute(kUsbDevice, "bcdDevice", "0100");
    Fake().AddDiskLink("by-uuid", "1234-ABCD", "sdb1");
    const std::filesystem::path mountPoint = Dir("media/card");
    Fake().AddMount({mountPoint.string(), "vfat", "/dev/sdb1", kCardMajor, kCardMinor});
    return mountPoint;
  }

  // Partition minor of the virtio disk, mounted at name with type.
  std::filesystem::path AddFixedDisk(const std::string& name, const std::string& type,
                                     unsigned minor = 1) {
    const std::string partition = std::string(kFixedDisk) + "/vda" + std::to_string(minor);
    Fake().AddBlockDevice(kFixedMajor, minor, partition, minor);
    Fake().WriteAttribute(kFixedDisk, "removable", "0");
    const std::filesystem::path mountPoint = Dir(name);
    Fake().AddMount({mountPoint.string(), type, "/dev/vda" + std::to_string(minor), kFixedMajor,
                     minor});
    return mountPoint;
  }

 private:
  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

}  // namespace volumetest
