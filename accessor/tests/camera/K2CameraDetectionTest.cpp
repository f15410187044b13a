#include "accessor/camera/K2CameraDetection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::FakeBus;
using testsupport::FakeVolume;

constexpr uint16_t kMaker = 0x1F3A;
constexpr uint16_t kStickVendor = 0x0781;
constexpr uint16_t kStickProduct = 0x5567;
constexpr uint32_t kNoTestId = 0xFFFFFFFF;

FakeVolume Usb(uint16_t vendor, uint16_t product, const std::string& type = "vfat",
               bool removable = true) {
  FakeVolume volume;
  volume.fileSystemType = type;
  volume.removable = removable;
  volume.vendorId = vendor;
  volume.productId = product;
  volume.serial = "0123456789AB";
  return volume;
}

FakeVolume OnBus(FakeBus bus, const std::string& type, bool removable) {
  FakeVolume volume;
  volume.bus = bus;
  volume.fileSystemType = type;
  volume.removable = removable;
  return volume;
}

// The optional override values: an absent one is not written.
struct OverrideValues {
  bool writeVendor = true;
  uint32_t vendor = 0;
  bool writeProduct = true;
  uint32_t product = 0;
};

class K2CameraDetection : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  }

  // Mounts volume at $T/name and returns its root, with '/'; device
  // receives where its device is.
  std::string Mount(const std::string& name, FakeVolume volume, bool dcim = false,
                    testsupport::FakeVolumeDevice* device = nullptr) {
    volume.mountPoint = (Root() / name).string();
    const testsupport::FakeVolumeDevice added = fake_->AddVolume(volume);
    if (device != nullptr) *device = added;
    if (dcim) fs::create_directories(Root() / name / "DCIM");
    return volume.mountPoint + "/";
  }

  void Unmount(const std::string& name) { fake_->RemoveMount((Root() / name).string()); }

  testsupport::FakeSysfs& Fake() { return *fake_; }

  static XpRegistry* OpenOverride() {
    return XpRegistry::OpenNew(kK2TestOverrideKeyPath, XpRegistry::kRootCurrentUser,
                               XpRegistry::kAccessWrite);
  }

  static void SetOverride(const OverrideValues& values) {
    XpRegistry* key = OpenOverride();
    ASSERT_NE(key, nullptr);
    if (values.writeVendor) {
      EXPECT_EQ(key->SetDword(kK2TestVendorValue, values.vendor), kXpOk);
    }
    if (values.writeProduct) {
      EXPECT_EQ(key->SetDword(kK2TestProductValue, values.product), kXpOk);
    }
    XpRegistry::CloseAndDelete(key);
  }

  static void SetTestDrive(const std::string& drive) {
    XpRegistry* key = OpenOverride();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->SetString(kK2TestDriveValue, XpString::FromUtf8(drive)), kXpOk);
    XpRegistry::CloseAndDelete(key);
  }

  static std::vector<std::string> Collected() {
    K2CameraList list;
    CollectConnectedCameras(list);
    std::vector<std::string> paths;
    for (const XpSharedPtr<XpVolume>& volume : list)
      paths.push_back(volume->GetPath().ToMultiByte().ToStdString());
    return paths;
  }

  struct Kind {
    CameraKind kind;
    uint32_t vendor;
    uint32_t product;
  };

  static Kind KindOf(const std::string& root) {
    Kind result{kCameraKindNone, kNoTestId, kNoTestId};
    result.kind = GetConnectedCameraKind(XpString::FromUtf8(root), &result.vendor, &result.product);
    return result;
  }

  // The volumes of the collection tests, in mount-point order: a camera, a
  // fixed disk of the maker with and one without "DCIM", network shares
  // with and without "DCIM" and a stick with "DCIM".
  void MountCollectionVolumes() {
    camera_ = Mount("cam", Usb(kMaker, 0x0259));
    stick_ = Mount("stick", Usb(kStickVendor, kStickProduct), true);
    fixedDcim_ = Mount("fixed-dcim", Usb(kMaker, 0x0259, "ext4", false), true, &fixedDcimDevice_);
    fixedPlain_ = Mount("fixed-plain", Usb(kMaker, 0x0259, "ext4", false));
    share_ = Mount("share", OnBus(FakeBus::kNetwork, "cifs", false), true);
    sharePlain_ = Mount("share-plain", OnBus(FakeBus::kNetwork, "nfs", false));
  }

  std::string camera_;
  std::string stick_;
  std::string fixedDcim_;
  testsupport::FakeVolumeDevice fixedDcimDevice_;
  std::string fixedPlain_;
  std::string share_;
  std::string sharePlain_;

 private:
  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

TEST_F(K2CameraDetection, KindComesFromTheUsbIdentifiersOfTheDeviceBehindTheRoot) {
  struct Case {
    const char* name;
    FakeVolume volume;
    CameraKind kind;
    uint32_t vendor;
    uint32_t product;
  };
  FakeVolume noVendorFile = Usb(kMaker, 0x0259);
  const Case cases[] = {
      {"k2-601", Usb(kMaker, 0x0259), kCameraKindSupported, 7994, 601},
      {"k2-603", Usb(kMaker, 0x025B), kCameraKindSupported, 7994, 603},
      {"maker-593", Usb(kMaker, 0x0251), kCameraKindMakerProduct593, 7994, 593},
      {"maker-597", Usb(kMaker, 0x0255), kCameraKindMakerProduct597, 7994, 597},
      {"maker-598", Usb(kMaker, 0x0256), kCameraKindMakerProduct597, 7994, 598},
      {"maker-608", Usb(kMaker, 0x0260), kCameraKindMakerDevice, 7994, 608},
      {"maker-602", Usb(kMaker, 0x025A), kCameraKindMakerDevice, 7994, 602},
      {"maker-596", Usb(kMaker, 0x0254), kCameraKindMakerDevice, 7994, 596},
      {"stick", Usb(kStickVendor, kStickProduct), kCameraKindNone, kStickVendor, kStickProduct},
      {"disc", Usb(kMaker, 0x0259, "iso9660"), kCameraKindNone, 0, 0},
      {"virtio", OnBus(FakeBus::kVirtio, "ext4", false), kCameraKindNone, 0, 0},
      {"firewire", OnBus(FakeBus::kFireWire, "vfat", true), kCameraKindNone, 0, 0},
      {"share", OnBus(FakeBus::kNetwork, "cifs", false), kCameraKindNone, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string root = Mount(c.name, c.volume);
    const Kind got = KindOf(root);
    EXPECT_EQ(got.kind, c.kind) << c.name;
    EXPECT_EQ(got.vendor, c.vendor) << c.name;
    EXPECT_EQ(got.product, c.product) << c.name;
    EXPECT_EQ(IsSupportedCameraDrive(XpString::FromUtf8(root)), c.kind == kCameraKindSupported)
        << c.name;
    // The root without its '/' names the same volume.
    EXPECT_EQ(KindOf(root.substr(0, root.size() - 1)).kind, c.kind) << c.name;
  }
}

TEST_F(K2CameraDetection, WhatCannotBeReadIsNoCameraWithNoIdentifiers) {
  const std::string removed = Mount("removed", Usb(kMaker, 0x0259));
  Unmount("removed");
  const std::string camera = Mount("cam", Usb(kMaker, 0x0259));
  testsupport::FakeVolumeDevice device;
  const std::string noVendor = Mount("novendor", Usb(kMaker, 0x0259), false, &device);
  Fake().RemoveAttribute(device.usbFolder, "idVendor");

  struct Case {
    const char* name;
    std::string root;
  };
  const Case cases[] = {
      {"a root removed from the table", removed},
      {"a folder inside a camera", camera + "DCIM/"},
      {"a device whose vendor cannot be read", noVendor},
      {"an empty root", ""},
  };
  for (const Case& c : cases) {
    const Kind got = KindOf(c.root);
    EXPECT_EQ(got.kind, kCameraKindNone) << c.name;
    EXPECT_EQ(got.vendor, 0u) << c.name;
    EXPECT_EQ(got.product, 0u) << c.name;
    EXPECT_FALSE(IsSupportedCameraDrive(XpString::FromUtf8(c.root))) << c.name;
  }
  EXPECT_EQ(GetConnectedCameraKind(XpString::FromUtf8(camera), nullptr, nullptr),
            kCameraKindSupported)
      << "null outputs are allowed";
}

TEST_F(K2CameraDetection, OverrideIsPresentOnlyWithBothIdentifiersNonZero) {
  struct Case {
    const char* name;
    OverrideValues values;
    bool present;
  };
  const Case cases[] = {
      {"both", {true, kStickVendor, true, kStickProduct}, true},
      {"vendor only", {true, kStickVendor, false, 0}, false},
      {"product only", {false, 0, true, kStickProduct}, false},
      {"vendor 0", {true, 0, true, kStickProduct}, false},
      {"product 0", {true, kStickVendor, true, 0}, false},
  };
  const std::string camera = Mount("cam", Usb(kMaker, 0x0259));
  const std::string stick = Mount("stick", Usb(kStickVendor, kStickProduct));
  for (const Case& c : cases) {
    // A key left over would make the next case fail, never pass.
    (void)XpRegistry::DeleteKeyTree(kK2TestOverrideKeyPath, XpRegistry::kRootCurrentUser);
    SetOverride(c.values);
    uint32_t vendor = kNoTestId;
    uint32_t product = kNoTestId;
    EXPECT_EQ(ReadTestDeviceOverride(&vendor, &product), c.present) << c.name;
    if (c.present) {
      EXPECT_EQ(vendor, c.values.vendor) << c.name;
      EXPECT_EQ(product, c.values.product) << c.name;
    }
    // With the override the maker's rules are not looked at.
    EXPECT_EQ(KindOf(stick).kind, c.present ? kCameraKindSupported : kCameraKindNone) << c.name;
    EXPECT_EQ(KindOf(camera).kind, c.present ? kCameraKindNone : kCameraKindSupported) << c.name;
  }
}

TEST_F(K2CameraDetection, OverrideNeedsDwordValuesAndAKey) {
  uint32_t vendor = kNoTestId;
  uint32_t product = kNoTestId;
  EXPECT_FALSE(ReadTestDeviceOverride(&vendor, &product)) << "no key";
  XpRegistry* key = OpenOverride();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->SetString(kK2TestVendorValue, u"0781"), kXpOk);
  EXPECT_EQ(key->SetDword(kK2TestProductValue, kStickProduct), kXpOk);
  XpRegistry::CloseAndDelete(key);
  EXPECT_FALSE(ReadTestDeviceOverride(&vendor, &product)) << "a vendor stored as text";
  EXPECT_EQ(vendor, kNoTestId);
  EXPECT_EQ(product, kNoTestId);
}

TEST_F(K2CameraDetection, OverrideMakesTheTestDeviceTheOnlyCamera) {
  SetOverride({true, kStickVendor, true, kStickProduct});
  Mount("cam", Usb(kMaker, 0x0259));
  const std::string stick = Mount("stick", Usb(kStickVendor, kStickProduct));
  EXPECT_THAT(Collected(), ElementsAre(stick));
  EXPECT_EQ(KindOf(stick).vendor, kStickVendor);
}

TEST_F(K2CameraDetection, DeviceWithoutIdentifiersNeverMatchesAnOverride) {
  // Identifiers that are not there read as 0, whatever the override holds.
  SetOverride({true, kNoTestId, true, kNoTestId});
  const std::string disk = Mount("firewire", OnBus(FakeBus::kFireWire, "vfat", true));
  const Kind got = KindOf(disk);
  EXPECT_EQ(got.kind, kCameraKindNone);
  EXPECT_EQ(got.vendor, 0u);
  EXPECT_EQ(got.product, 0u);
  EXPECT_THAT(Collected(), IsEmpty());
}

TEST_F(K2CameraDetection, TestDriveNamesOneRootOfKindNone) {
  const std::string virtio = Mount("fixed", OnBus(FakeBus::kVirtio, "ext4", false), true);
  const std::string maker = Mount("maker", Usb(kMaker, 0x0260));
  const std::string maker593 = Mount("maker593", Usb(kMaker, 0x0251));
  const std::string maker597 = Mount("maker597", Usb(kMaker, 0x0255));
  const std::string upper = (Root() / "FIXED/").string();
  struct Case {
    const char* name;
    std::string drive;
    std::vector<std::string> collected;
  };
  const Case cases[] = {
      {"a virtio root holding DCIM", virtio, {virtio}},
      {"the same root without '/'", virtio.substr(0, virtio.size() - 1), {virtio}},
      {"the root in other case", upper, {}},
      {"the root with two '/'", virtio + "/", {}},
      {"a maker device of kind 1", maker, {}},
      {"a maker device of kind 2", maker593, {}},
      {"a maker device of kind 4", maker597, {}},
      {"a drive letter", "G", {}},
      {"a drive letter with colon", "G:\\", {}},
  };
  for (const Case& c : cases) {
    SetTestDrive(c.drive);
    EXPECT_EQ(Collected(), c.collected) << c.name;
  }
  SetTestDrive("G");
  EXPECT_FALSE(IsSupportedCameraDrive(u"G"));
}

TEST_F(K2CameraDetection, CollectionTakesRemovableLocalVolumesAndOthersWithADcfRoot) {
  MountCollectionVolumes();
  EXPECT_THAT(Collected(), ElementsAre(camera_, fixedDcim_));
}

TEST_F(K2CameraDetection, OnlyTestedVolumesCanBeTheTestDrive) {
  MountCollectionVolumes();
  // A volume that is tested and of kind 0 is collected through the test
  // drive; one that is never tested is not, whatever it holds.
  struct Case {
    const char* name;
    std::string drive;
    std::vector<std::string> collected;
  };
  const Case cases[] = {
      {"a network share holding DCIM", share_, {camera_, fixedDcim_, share_}},
      {"a network share without DCIM", sharePlain_, {camera_, fixedDcim_}},
      {"a removable stick", stick_, {camera_, fixedDcim_, stick_}},
      {"a fixed camera without DCIM", fixedPlain_, {camera_, fixedDcim_}},
  };
  for (const Case& c : cases) {
    SetTestDrive(c.drive);
    EXPECT_EQ(Collected(), c.collected) << c.name;
  }
}

TEST_F(K2CameraDetection, CollectionAsksTheDevicesAgainEveryTime) {
  MountCollectionVolumes();
  Unmount("cam");
  EXPECT_THAT(Collected(), ElementsAre(fixedDcim_)) << "the camera was removed";

  Fake().WriteAttribute(fixedDcimDevice_.usbFolder, "idProduct", "0260");
  EXPECT_THAT(Collected(), IsEmpty()) << "a camera that now reports 0260";

  Mount("cam", Usb(kMaker, 0x025B));
  EXPECT_THAT(Collected(), ElementsAre(camera_)) << "a camera plugged in again";
}

TEST_F(K2CameraDetection, CollectionEmptiesTheListFirst) {
  MountCollectionVolumes();
  K2CameraList list;
  CollectConnectedCameras(list);
  ASSERT_EQ(list.size(), 2u);
  list.push_back(list.front());
  CollectConnectedCameras(list);
  EXPECT_EQ(list.size(), 2u);

  fs::remove(Root() / "sysroot/proc/self/mountinfo");
  CollectConnectedCameras(list);
  EXPECT_THAT(list, IsEmpty()) << "no mount table: no volume";
}

TEST_F(K2CameraDetection, ContainsCameraPathComparesTheWholePathExactly) {
  MountCollectionVolumes();
  K2CameraList list;
  CollectConnectedCameras(list);
  const std::string t = Root().string();
  struct Case {
    std::string path;
    bool contained;
  };
  const Case cases[] = {
      {t + "/cam/", true},        {t + "/CAM/", false},       {t + "/cam", false},
      {t + "/fixed-dcim/", true}, {t + "/stick/", false},     {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContainsCameraPath(list, XpString::FromUtf8(c.path)), c.contained) << c.path;
  }
  EXPECT_FALSE(ContainsCameraPath(K2CameraList(), XpString::FromUtf8(t + "/cam/")));
}

}  // namespace
