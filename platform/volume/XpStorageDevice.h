#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Which device holds a volume, read from sysfs by walking up from the
// volume's block device to the USB device. Every function takes the
// volume's root (its mount point, with or without the trailing '/'). With
// checkDrive, a root that is not mounted now, or that stat cannot reach,
// gives kXpErrFileNotFound before anything else is read. Nothing is cached.

// Bus kinds.
inline constexpr uint32_t kXpStorageBusUnknown = 0;
inline constexpr uint32_t kXpStorageBusUsb = 3;
inline constexpr uint32_t kXpStorageBus1394 = 4;
inline constexpr uint32_t kXpStorageBusPcCard = 5;

// A vendor or product id that was not found.
inline constexpr uint32_t kXpStorageNoId = 0xFFFFFFFF;

// The bus and, for USB, the vendor and product ids ("idVendor",
// "idProduct") with their texts ("manufacturer", "product", else the SCSI
// "vendor" and "model"). kXpOk for USB, IEEE 1394 and PC Card devices (ids
// only for USB); kXpErrNotSupportedByOs, bus 0 and ids kXpStorageNoId for
// any other device. Outputs may be null.
[[nodiscard]] XpResult XpStorageDeviceGetVenIdAndProdId(const XpString& root, uint32_t* busKind,
                                                        uint32_t* vendorId, uint32_t* productId,
                                                        XpString* vendorText, XpString* productText,
                                                        bool checkDrive);

// The USB serial number as a 64-bit value (the "serial" text read as hex
// when it is 1-16 hex digits, else its FNV-1a-64 hash) and the device
// release number ("bcdDevice"). kXpErrNotSupportedByOs for a device that is
// not USB or has no serial. Outputs may be null.
[[nodiscard]] XpResult XpStorageDeviceGetUsbSerialAndBcdDevice(const XpString& root, uint64_t* serial,
                                                               uint32_t* bcdDevice, bool checkDrive);

// XpStorageDeviceGetUsbSerialAndBcdDevice without the release number.
[[nodiscard]] XpResult XpStorageDeviceGetUsbSerial(const XpString& root, uint64_t* serial, bool checkDrive);
