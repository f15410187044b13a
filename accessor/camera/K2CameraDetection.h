#pragma once

#include <cstdint>
#include <vector>

#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"
#include "platform/volume/XpVolume.h"

// Which mounted volumes are connected K2 cameras, told by the USB vendor and
// product identifiers of the device behind each volume. Every volume is
// named by its root, the mount point with or without its trailing '/'.
// Nothing is cached: each call reads the mount table and sysfs again.

// What the device behind one volume is.
enum CameraKind : uint32_t {
  // No device of the maker, an optical volume, identifiers that cannot be
  // read, or, with the test-device override, any device but the test one.
  kCameraKindNone = 0,
  // A device of the maker that none of the kinds below names.
  kCameraKindMakerDevice = 1,
  kCameraKindMakerProduct593 = 2,
  // A supported K2 camera, or the test device of the override.
  kCameraKindSupported = 3,
  kCameraKindMakerProduct597 = 4,
};

// The connected supported cameras, in mount-point order.
using K2CameraList = std::vector<XpSharedPtr<XpVolume>>;

// The maker's USB vendor identifier.
inline constexpr uint32_t kK2MakerVendorId = 0x1F3A;

// The test-device override, read only from the user's registry.
inline constexpr const char16_t* kK2TestOverrideKeyPath =
    u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0\\ForTest";
inline constexpr const char16_t* kK2TestVendorValue = u"DummySupportedDeviceVid";
inline constexpr const char16_t* kK2TestProductValue = u"DummySupportedDevicePid";
inline constexpr const char16_t* kK2TestDriveValue = u"DummyDrive";

// True when the override names a test device: both identifier values exist
// with data and both are non-zero. Only then are vendor and product set.
bool ReadTestDeviceOverride(uint32_t* vendor, uint32_t* product);

// The kind of the device behind root. vendor and product (may be null)
// receive the identifiers read, 0 when there are none: for an optical
// volume, a root that is no longer mounted or a device whose identifiers
// cannot be read. With the override present only its test device is a
// camera.
CameraKind GetConnectedCameraKind(const XpString& root, uint32_t* vendor, uint32_t* product);

// root holds a supported camera: its kind is kCameraKindSupported, or its
// kind is kCameraKindNone and the override's "DummyDrive" is root (with or
// without the trailing '/', compared case-sensitively).
bool IsSupportedCameraDrive(const XpString& root);

// Empties list, then fills it with the ready volumes that hold supported
// cameras, in mount-point order. A removable local volume is always tested;
// any other only when its root holds a DCF root folder.
void CollectConnectedCameras(K2CameraList& list);

// A volume in list has exactly path as its path (the root with '/'),
// compared case-sensitively.
bool ContainsCameraPath(const K2CameraList& list, const XpString& path);
