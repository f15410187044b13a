#include "platform/volume/XpStorageDevice.h"

#include <sys/stat.h>

#include <charconv>
#include <string>
#include <string_view>

#include "platform/fs/XpSysCalls.h"
#include "platform/volume/XpVolumeDevice.h"

namespace {

constexpr const char* kVendorIdFile = "idVendor";
constexpr const char* kProductIdFile = "idProduct";
constexpr const char* kManufacturerFile = "manufacturer";
constexpr const char* kProductFile = "product";
constexpr const char* kSerialFile = "serial";
constexpr const char* kReleaseFile = "bcdDevice";
constexpr const char* kScsiVendorFile = "device/vendor";
constexpr const char* kScsiModelFile = "device/model";
constexpr std::string_view kUsbPrefix = "usb";
constexpr std::string_view kFireWirePrefix = "fw";
constexpr std::string_view kFireWireName = "firewire";
constexpr std::string_view kPcCardName = "pcmcia";
constexpr std::string_view kSysfsTop = "/sys";
constexpr size_t kMaxHexSerialDigits = 16;
constexpr int kHexBase = 16;
constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

struct Device {
  uint32_t bus = kXpStorageBusUnknown;
  // The sysfs folder of the USB device (the first one up with idVendor).
  std::string usbFolder;
  std::string diskFolder;
};

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

bool ParseHex(const std::string& text, uint64_t* value) {
  uint64_t parsed = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, parsed, kHexBase);
  if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
  *value = parsed;
  return true;
}

uint32_t HexIdOr(const std::string& folder, const char* name, uint32_t fallback) {
  std::string text;
  uint64_t value = 0;
  if (!XpVolumeDevice::ReadSysfsText(folder, name, &text) || !ParseHex(text, &value)) {
    return fallback;
  }
  return static_cast<uint32_t>(value);
}

uint64_t Fnv1a64(std::string_view bytes) {
  uint64_t hash = kFnvOffsetBasis;
  for (const char ch : bytes) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= kFnvPrime;
  }
  return hash;
}

uint64_t SerialValue(const std::string& text) {
  uint64_t value = 0;
  if (text.size() <= kMaxHexSerialDigits && ParseHex(text, &value)) return value;
  return Fnv1a64(text);
}

bool ComponentIsFireWire(std::string_view component) {
  if (component.find(kFireWireName) != std::string_view::npos) return true;
  return component.substr(0, kFireWirePrefix.size()) == kFireWirePrefix &&
         component.size() > kFireWirePrefix.size() && IsDigit(component[kFireWirePrefix.size()]);
}

// The bus of a device, told by the folders on its sysfs path.
uint32_t BusOf(std::string_view path) {
  bool fireWire = false;
  bool pcCard = false;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component.substr(0, kUsbPrefix.size()) == kUsbPrefix) return kXpStorageBusUsb;
    fireWire = fireWire || ComponentIsFireWire(component);
    pcCard = pcCard || component.find(kPcCardName) != std::string_view::npos;
    start = end + 1;
  }
  if (fireWire) return kXpStorageBus1394;
  return pcCard ? kXpStorageBusPcCard : kXpStorageBusUnknown;
}

std::string ParentOf(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
}

// Walks up from folder to the first folder with an idVendor file.
std::string FindUsbFolder(std::string folder) {
  std::string ignored;
  while (folder.size() > kSysfsTop.size() && folder.compare(0, kSysfsTop.size(), kSysfsTop) == 0) {
    if (XpVolumeDevice::ReadSysfsText(folder, kVendorIdFile, &ignored)) return folder;
    folder = ParentOf(folder);
  }
  return std::string();
}

bool RootAnswers(const XpString& root) {
  struct stat info {};
  return XpSysCalls::Current().Stat(root.ToMultiByte().CStr(), &info) == 0;
}

[[nodiscard]] XpResult FindDevice(const XpString& root, bool checkDrive, Device* device) {
  XpVolumeDevice volume;
  const bool mounted = volume.Find(root);
  if (checkDrive && (!mounted || !RootAnswers(root))) return kXpErrFileNotFound;
  const std::string folder = volume.DeviceFolder();
  if (folder.empty()) return kXpErrNotSupportedByOs;
  device->bus = BusOf(folder);
  device->diskFolder = volume.DiskFolder();
  if (device->bus == kXpStorageBusUsb) device->usbFolder = FindUsbFolder(folder);
  return kXpOk;
}

// The text of the USB device's file, else of the disk's SCSI file.
XpString DeviceText(const Device& device, const char* usbName, const char* scsiName) {
  std::string text;
  if (!device.usbFolder.empty() &&
      XpVolumeDevice::ReadSysfsText(device.usbFolder, usbName, &text) && !text.empty()) {
    return XpString::FromUtf8(text);
  }
  if (XpVolumeDevice::ReadSysfsText(device.diskFolder, scsiName, &text))
    return XpString::FromUtf8(text);
  return XpString();
}

template <typename T>
void Store(T* output, const T& value) {
  if (output != nullptr) *output = value;
}

}  // namespace

[[nodiscard]] XpResult XpStorageDeviceGetVenIdAndProdId(const XpString& root, uint32_t* busKind,
                                                        uint32_t* vendorId, uint32_t* productId,
                                                        XpString* vendorText, XpString* productText,
                                                        bool checkDrive) {
  Store(busKind, kXpStorageBusUnknown);
  Store(vendorId, kXpStorageNoId);
  Store(productId, kXpStorageNoId);
  Device device;
  const XpResult found = FindDevice(root, checkDrive, &device);
  if (found != kXpOk) return found;
  if (device.bus == kXpStorageBusUnknown) return kXpErrNotSupportedByOs;

  Store(busKind, device.bus);
  if (!device.usbFolder.empty()) {
    Store(vendorId, HexIdOr(device.usbFolder, kVendorIdFile, kXpStorageNoId));
    Store(productId, HexIdOr(device.usbFolder, kProductIdFile, kXpStorageNoId));
  }
  if (vendorText != nullptr) *vendorText = DeviceText(device, kManufacturerFile, kScsiVendorFile);
  if (productText != nullptr) *productText = DeviceText(device, kProductFile, kScsiModelFile);
  return kXpOk;
}

[[nodiscard]] XpResult XpStorageDeviceGetUsbSerialAndBcdDevice(const XpString& root,
                                                               uint64_t* serial,
                                                               uint32_t* bcdDevice,
                                                               bool checkDrive) {
  Store(serial, uint64_t{0});
  Store(bcdDevice, uint32_t{0});
  Device device;
  const XpResult found = FindDevice(root, checkDrive, &device);
  if (found != kXpOk) return found;
  std::string text;
  if (device.usbFolder.empty() ||
      !XpVolumeDevice::ReadSysfsText(device.usbFolder, kSerialFile, &text) || text.empty()) {
    return kXpErrNotSupportedByOs;
  }
  Store(serial, SerialValue(text));
  Store(bcdDevice, HexIdOr(device.usbFolder, kReleaseFile, 0));
  return kXpOk;
}

[[nodiscard]] XpResult XpStorageDeviceGetUsbSerial(const XpString& root, uint64_t* serial,
                                                   bool checkDrive) {
  return XpStorageDeviceGetUsbSerialAndBcdDevice(root, serial, nullptr, checkDrive);
}
