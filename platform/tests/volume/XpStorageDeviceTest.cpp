#include "platform/volume/XpStorageDevice.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/tests/volume/VolumeTestTree.h"

namespace {

using fstest::ToXp;
using volumetest::kCardDisk;
using volumetest::kUsbDevice;

struct Identity {
  XpResult result = 0;
  uint32_t bus = 0;
  uint32_t vendor = 0;
  uint32_t product = 0;
  XpString vendorText;
  XpString productText;
};

Identity IdentityOf(const XpString& root, bool checkDrive = true) {
  Identity id;
  id.result = XpStorageDeviceGetVenIdAndProdId(root, &id.bus, &id.vendor, &id.product,
                                               &id.vendorText, &id.productText, checkDrive);
  return id;
}

class StorageDeviceFixture : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    card_ = RootOf(AddCard());
  }
  XpString card_;
};
using XpStorageDevice = StorageDeviceFixture;

TEST_F(XpStorageDevice, UsbCardIdentity) {
  const Identity id = IdentityOf(card_);
  EXPECT_EQ(id.result, kXpOk);
  EXPECT_EQ(id.bus, kXpStorageBusUsb);
  EXPECT_EQ(id.vendor, 0x1F3Au);
  EXPECT_EQ(id.product, 601u);
  EXPECT_EQ(id.vendorText, u"Kavo");
  EXPECT_EQ(id.productText, u"K2");

  uint64_t serial = 0;
  uint32_t release = 0;
  EXPECT_EQ(XpStorageDeviceGetUsbSerialAndBcdDevice(card_, &serial, &release, true), kXpOk);
  EXPECT_EQ(serial, 0x0123456789ABu);
  EXPECT_EQ(release, 0x100u);
  serial = 0;
  EXPECT_EQ(XpStorageDeviceGetUsbSerial(card_, &serial, false), kXpOk);
  EXPECT_EQ(serial, 0x0123456789ABu);
  // The mount point without its '/' names the same volume; null outputs are fine.
  EXPECT_EQ(XpStorageDeviceGetVenIdAndProdId(ToXp(Root() / "media/card"), nullptr, nullptr,
                                             nullptr, nullptr, nullptr, true),
            kXpOk);
}

TEST_F(XpStorageDevice, SerialTextIsHexOrHashed) {
  struct Case {
    const char* text;
    uint64_t serial;
  };
  const Case cases[] = {
      {"0123456789AB", 0x0123456789ABu},
      {"ffffffffffffffff", 0xFFFFFFFFFFFFFFFFu},
      {"7", 7u},
      {"foobar", 0x85944171F73967E8u},
      // Seventeen digits no longer fit: hashed, not cut.
      {"10000000000000000", 0x2BF5C65B896F8EFCu},
  };
  for (const Case& c : cases) {
    Fake().WriteAttribute(kUsbDevice, "serial", c.text);
    uint64_t serial = 0;
    EXPECT_EQ(XpStorageDeviceGetUsbSerial(card_, &serial, true), kXpOk) << c.text;
    EXPECT_EQ(serial, c.serial) << c.text;
  }
}

TEST_F(XpStorageDevice, EachCallReadsSysfsAfresh) {
  EXPECT_EQ(IdentityOf(card_).product, 601u);
  Fake().WriteAttribute(kUsbDevice, "idProduct", "025b");
  EXPECT_EQ(IdentityOf(card_).product, 603u);
}

TEST_F(XpStorageDevice, MissingProductIdAndTexts) {
  Fake().RemoveAttribute(kUsbDevice, "idProduct");
  Fake().RemoveAttribute(kUsbDevice, "manufacturer");
  Fake().RemoveAttribute(kUsbDevice, "product");
  const Identity id = IdentityOf(card_);
  EXPECT_EQ(id.result, kXpOk);
  EXPECT_EQ(id.vendor, 0x1F3Au);
  EXPECT_EQ(id.product, kXpStorageNoId);
  // The SCSI texts, without their padding.
  EXPECT_EQ(id.vendorText, u"Generic");
  EXPECT_EQ(id.productText, u"Card Reader");
}

TEST_F(XpStorageDevice, NoSerialIsNotSupported) {
  Fake().RemoveAttribute(kUsbDevice, "serial");
  uint64_t serial = 1;
  uint32_t release = 1;
  EXPECT_EQ(XpStorageDeviceGetUsbSerialAndBcdDevice(card_, &serial, &release, true),
            kXpErrNotSupportedByOs);
  EXPECT_EQ(serial, 0u);
}

TEST_F(XpStorageDevice, OtherBuses) {
  struct Case {
    const char* device;
    uint32_t bus;
    XpResult result;
  };
  const Case cases[] = {
      {"devices/pci0000:00/0000:00:04.0/virtio2/block/vda", kXpStorageBusUnknown,
       kXpErrNotSupportedByOs},
      {"devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda",
       kXpStorageBusUnknown, kXpErrNotSupportedByOs},
      {"devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", kXpStorageBusUnknown,
       kXpErrNotSupportedByOs},
      {"devices/pci0000:00/0000:00:1e.0/0000:05:00.0/fw0/fw0.0/host7/target7:0:0/7:0:0:0/block/sdd",
       kXpStorageBus1394, kXpOk},
      {"devices/pci0000:00/0000:00:1e.0/0000:06:00.0/pcmcia_socket0/0.0/host8/block/sde",
       kXpStorageBusPcCard, kXpOk},
  };
  unsigned minor = 0;
  for (const Case& c : cases) {
    Fake().AddBlockDevice(259, minor, c.device);
    const std::filesystem::path mountPoint = Dir("disk" + std::to_string(minor));
    Fake().AddMount({mountPoint.string(), "ext4", "/dev/x", 259, minor});
    const Identity id = IdentityOf(RootOf(mountPoint));
    EXPECT_EQ(id.result, c.result) << c.device;
    EXPECT_EQ(id.bus, c.bus) << c.device;
    EXPECT_EQ(id.vendor, kXpStorageNoId) << c.device;
    EXPECT_EQ(id.product, kXpStorageNoId) << c.device;
    uint64_t serial = 0;
    EXPECT_EQ(XpStorageDeviceGetUsbSerial(RootOf(mountPoint), &serial, true),
              kXpErrNotSupportedByOs)
        << c.device;
    ++minor;
  }
}

TEST_F(XpStorageDevice, DriveCheck) {
  const XpString unmounted = ToXp(Dir("folder")) + u"/";
  uint64_t serial = 0;
  EXPECT_EQ(IdentityOf(unmounted).result, kXpErrFileNotFound);
  EXPECT_EQ(XpStorageDeviceGetUsbSerial(unmounted, &serial, true), kXpErrFileNotFound);
  EXPECT_EQ(IdentityOf(unmounted, false).result, kXpErrNotSupportedByOs);
  // A card path that is not the mount point itself is no drive root.
  EXPECT_EQ(IdentityOf(card_ + u"DCIM/").result, kXpErrFileNotFound);

  // Mounted, but the card does not answer.
  testsupport::FaultInjection faults;
  faults.Add(testsupport::Fault(testsupport::SysCall::kStat, (Root() / "media/card").string())
                 .Errno(EIO));
  EXPECT_EQ(IdentityOf(card_).result, kXpErrFileNotFound);
  EXPECT_EQ(IdentityOf(card_, false).result, kXpOk);
}

}  // namespace
