#include "accessor/camera/K2CameraDetection.h"

#include <algorithm>

#include "camerastore/dcf/XpDCFNames.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "platform/volume/XpStorageDevice.h"
#include "platform/volume/XpVolumeEnumerator.h"

namespace {

constexpr uint32_t kProduct593 = 593;
constexpr uint32_t kProduct597 = 597;
constexpr uint32_t kProduct598 = 598;
constexpr uint32_t kProduct601 = 601;
constexpr uint32_t kProduct603 = 603;

// An identifier the device did not give reads as 0.
uint32_t KnownId(uint32_t id) { return id == kXpStorageNoId ? 0 : id; }

CameraKind MakerKind(uint32_t vendor, uint32_t product) {
  if (vendor != kK2MakerVendorId) return kCameraKindNone;
  switch (product) {
    case kProduct593:
      return kCameraKindMakerProduct593;
    case kProduct597:
    case kProduct598:
      return kCameraKindMakerProduct597;
    case kProduct601:
    case kProduct603:
      return kCameraKindSupported;
    default:
      return kCameraKindMakerDevice;
  }
}

bool OpenOverrideKey(XpRegistry* key) {
  return key->Open(kK2TestOverrideKeyPath, XpRegistry::kRootCurrentUser,
                   XpRegistry::kAccessRead) == kXpOk;
}

// The mount point without its trailing '/'; "" for a path that is no
// absolute root, which no "DummyDrive" value can then name.
XpString MountPointOf(const XpString& root) {
  if (root.IsEmpty() || root.CStr()[0] != u'/') return XpString();
  XpString mountPoint = root;
  XpPathRemoveTrailingBackslash(mountPoint);
  return mountPoint;
}

bool IsTestDrive(const XpString& root) {
  XpRegistry key;
  if (!OpenOverrideKey(&key)) return false;
  const XpString drive = key.QueryString(kK2TestDriveValue, XpString());
  const XpString mountPoint = MountPointOf(root);
  if (drive.IsEmpty() || mountPoint.IsEmpty()) return false;
  XpString withSlash = mountPoint;
  XpPathAddTrailingBackslash(withSlash);
  return drive == mountPoint || drive == withSlash;
}

bool IsCandidate(XpVolume& volume) {
  if (volume.IsRemovable() && !volume.IsRemote()) return true;
  return XpDCFHasRootFolder(volume.GetPath());
}

}  // namespace

bool ReadTestDeviceOverride(uint32_t* vendor, uint32_t* product) {
  XpRegistry key;
  if (!OpenOverrideKey(&key)) return false;
  if (!key.HasValue(kK2TestVendorValue) || !key.HasValue(kK2TestProductValue)) return false;
  const uint32_t testVendor = key.QueryDword(kK2TestVendorValue, 0);
  const uint32_t testProduct = key.QueryDword(kK2TestProductValue, 0);
  if (testVendor == 0 || testProduct == 0) return false;
  *vendor = testVendor;
  *product = testProduct;
  return true;
}

CameraKind GetConnectedCameraKind(const XpString& root, uint32_t* vendor, uint32_t* product) {
  uint32_t readVendor = 0;
  uint32_t readProduct = 0;
  if (vendor != nullptr) *vendor = 0;
  if (product != nullptr) *product = 0;
  if (XpVolume(root).IsCdRom()) return kCameraKindNone;
  uint32_t bus = kXpStorageBusUnknown;
  const XpResult found = XpStorageDeviceGetVenIdAndProdId(root, &bus, &readVendor, &readProduct,
                                                          nullptr, nullptr, true);
  if (found != kXpOk) return kCameraKindNone;
  readVendor = KnownId(readVendor);
  readProduct = KnownId(readProduct);
  if (vendor != nullptr) *vendor = readVendor;
  if (product != nullptr) *product = readProduct;

  uint32_t testVendor = 0;
  uint32_t testProduct = 0;
  if (ReadTestDeviceOverride(&testVendor, &testProduct)) {
    const bool isTestDevice = readVendor == testVendor && readProduct == testProduct;
    return isTestDevice ? kCameraKindSupported : kCameraKindNone;
  }
  return MakerKind(readVendor, readProduct);
}

bool IsSupportedCameraDrive(const XpString& root) {
  const CameraKind kind = GetConnectedCameraKind(root, nullptr, nullptr);
  if (kind != kCameraKindNone) return kind == kCameraKindSupported;
  return IsTestDrive(root);
}

void CollectConnectedCameras(K2CameraList& list) {
  list.clear();
  XpVolumeEnumerator volumes;
  volumes.Reset(false);
  while (XpSharedPtr<XpVolume> volume = volumes.Next()) {
    if (!IsCandidate(*volume)) continue;
    if (IsSupportedCameraDrive(volume->GetPath())) list.push_back(volume);
  }
  volumes.Close();
}

bool ContainsCameraPath(const K2CameraList& list, const XpString& path) {
  return std::any_of(list.begin(), list.end(), [&path](const XpSharedPtr<XpVolume>& volume) {
    return volume && volume->GetPath() == path;
  });
}
