#include "platform/testsupport/FakeSysfs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

namespace testsupport {
namespace {

constexpr int kFirstMountId = 20;

// Device numbers of the disks AddVolume makes: 16 minors per disk, the
// volume on partition 1.
constexpr unsigned kScsiDiskMajor = 8;
constexpr unsigned kVirtioDiskMajor = 254;
constexpr unsigned kMinorsPerDisk = 16;
constexpr unsigned kDiskCount = 16;
constexpr unsigned kVolumePartition = 1;
// Anonymous device numbers of network shares start here.
constexpr unsigned kFirstNetworkMinor = 100;
// SCSI host numbers of the fake disks start here, clear of hand-made ones.
constexpr unsigned kFirstHost = 10;

std::string HexId(uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04x", static_cast<unsigned>(id));
  return text;
}

std::string LeafOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The bus's own folder of disk index (removed again with the volume) and
// the disk folder below it.
struct BusFolders {
  std::string own;
  std::string disk;
};

std::string ScsiDiskBelow(const std::string& parent, unsigned index) {
  const std::string host = std::to_string(kFirstHost + index);
  return parent + "/host" + host + "/target" + host + ":0:0/" + host + ":0:0:0/block/sd" +
         static_cast<char>('a' + index);
}

BusFolders FoldersOf(FakeBus bus, unsigned index) {
  const std::string port = std::to_string(index + 1);
  switch (bus) {
    case FakeBus::kUsb: {
      const std::string own = "devices/pci0000:00/0000:00:14.0/usb3/3-" + port;
      return {own, ScsiDiskBelow(own + "/3-" + port + ":1.0", index)};
    }
    case FakeBus::kFireWire: {
      const std::string own = "devices/pci0000:00/0000:00:1c.0/fw" + port;
      return {own, ScsiDiskBelow(own + "/fw" + port + ".0", index)};
    }
    case FakeBus::kPcCard: {
      const std::string own = "devices/pci0000:00/0000:00:1e.0/pcmcia_socket" + port;
      return {own, ScsiDiskBelow(own, index)};
    }
    case FakeBus::kVirtio:
    case FakeBus::kNetwork:
      break;
  }
  const std::string own = "devices/pci0000:00/0000:00:1f.0/virtio" + port;
  return {own, own + "/block/vd" + static_cast<char>('a' + index)};
}

// A mountinfo field: space, tab, newline and backslash as octal escapes.
std::string EscapeField(const std::string& text) {
  std::string escaped;
  for (const char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\\') {
      char code[5];
      std::snprintf(code, sizeof(code), "\\%03o", static_cast<unsigned char>(ch));
      escaped += code;
    } else {
      escaped += ch;
    }
  }
  return escaped;
}

bool IsSafeLabelChar(unsigned char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
         ch == '#' || ch == '+' || ch == '-' || ch == '.' || ch == ':' || ch == '=' || ch == '@' ||
         ch == '_' || ch >= 0x80;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void ReplaceLink(const std::filesystem::path& link, const std::filesystem::path& target) {
  std::filesystem::create_directories(link.parent_path());
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

}  // namespace

FakeSysfs::FakeSysfs(std::filesystem::path sysRoot) : sysRoot_(std::move(sysRoot)) {
  WriteMountTable();
}

int FakeSysfs::AddMount(const FakeMount& mount) {
  mounts_.push_back(mount);
  WriteMountTable();
  return kFirstMountId + static_cast<int>(mounts_.size()) - 1;
}

void FakeSysfs::RemoveMount(const std::string& mountPoint) {
  std::erase_if(mounts_, [&](const FakeMount& mount) { return mount.mountPoint == mountPoint; });
  WriteMountTable();
  const auto added = addedDevices_.find(mountPoint);
  if (added == addedDevices_.end()) return;
  for (const std::filesystem::path& path : added->second.paths) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);  // a link goes, not its target
  }
  addedDevices_.erase(added);
}

FakeVolumeDevice FakeSysfs::AddVolume(const FakeVolume& volume) {
  const std::string mountPoint = WithoutTrailingSlash(volume.mountPoint);
  std::filesystem::create_directories(mountPoint);
  AddedDevice& added = addedDevices_[mountPoint];
  if (volume.bus == FakeBus::kNetwork) {
    FakeVolumeDevice device;
    device.minor = FreeNetworkMinor();
    AddMount({mountPoint, volume.fileSystemType, "//server/" + LeafOf(mountPoint), 0,
              device.minor});
    return device;
  }
  const FakeVolumeDevice device = AddBlockVolume(volume, &added);
  AddMount({mountPoint, volume.fileSystemType, "/dev/" + device.kernelName, device.major,
            device.minor});
  return device;
}

FakeVolumeDevice FakeSysfs::AddBlockVolume(const FakeVolume& volume, AddedDevice* added) {
  const unsigned major = volume.bus == FakeBus::kVirtio ? kVirtioDiskMajor : kScsiDiskMajor;
  unsigned index = 0;
  while (index + 1 < kDiskCount &&
         DeviceNumberInUse(major, index * kMinorsPerDisk + kVolumePartition)) {
    ++index;
  }
  const BusFolders folders = FoldersOf(volume.bus, index);
  FakeVolumeDevice device;
  device.major = major;
  device.minor = index * kMinorsPerDisk + kVolumePartition;
  device.diskFolder = folders.disk;
  device.kernelName = LeafOf(folders.disk) + std::to_string(kVolumePartition);
  device.partitionFolder = folders.disk + "/" + device.kernelName;
  const std::string number = std::to_string(device.major) + ":" + std::to_string(device.minor);
  added->paths.push_back(sysRoot_ / "sys" / folders.own);
  added->paths.push_back(sysRoot_ / "sys/dev/block" / number);
  added->paths.push_back(sysRoot_ / "run/udev/data" / ("b" + number));

  AddBlockDevice(device.major, device.minor, device.partitionFolder, kVolumePartition);
  WriteAttribute(device.diskFolder, "removable", volume.removable ? "1" : "0");
  if (volume.bus == FakeBus::kUsb) {
    device.usbFolder = folders.own;
    WriteAttribute(folders.own, "idVendor", HexId(volume.vendorId));
    WriteAttribute(folders.own, "idProduct", HexId(volume.productId));
    if (!volume.serial.empty()) WriteAttribute(folders.own, "serial", volume.serial);
    if (!volume.manufacturer.empty()) {
      WriteAttribute(folders.own, "manufacturer", volume.manufacturer);
    }
    if (!volume.product.empty()) WriteAttribute(folders.own, "product", volume.product);
  }

  std::vector<std::string> udev = {"E:ID_FS_TYPE=" + volume.fileSystemType};
  if (!volume.uuid.empty()) {
    udev.push_back("E:ID_FS_UUID=" + volume.uuid);
    AddDiskLink("by-uuid", volume.uuid, device.kernelName);
    added->paths.push_back(sysRoot_ / "dev/disk/by-uuid" / volume.uuid);
  }
  if (!volume.label.empty()) {
    udev.push_back("E:ID_FS_LABEL=" + volume.label);
    AddDiskLink("by-label", volume.label, device.kernelName);
    added->paths.push_back(sysRoot_ / "dev/disk/by-label" / EscapeLabel(volume.label));
  }
  WriteUdevData(device.major, device.minor, udev);
  return device;
}

bool FakeSysfs::DeviceNumberInUse(unsigned major, unsigned minor) const {
  const std::string number = std::to_string(major) + ":" + std::to_string(minor);
  std::error_code ignored;
  if (std::filesystem::symlink_status(sysRoot_ / "sys/dev/block" / number, ignored).type() !=
      std::filesystem::file_type::not_found) {
    return true;
  }
  return std::any_of(mounts_.begin(), mounts_.end(), [&](const FakeMount& mount) {
    return mount.major == major && mount.minor == minor;
  });
}

unsigned FakeSysfs::FreeNetworkMinor() const {
  unsigned minor = kFirstNetworkMinor;
  while (std::any_of(mounts_.begin(), mounts_.end(), [&](const FakeMount& mount) {
    return mount.major == 0 && mount.minor == minor;
  })) {
    ++minor;
  }
  return minor;
}

void FakeSysfs::SetMounts(const std::vector<FakeMount>& mounts) {
  mounts_ = mounts;
  WriteMountTable();
}

std::filesystem::path FakeSysfs::AddBlockDevice(unsigned major, unsigned minor,
                                                const std::string& devicePath, unsigned partition) {
  const std::filesystem::path folder = sysRoot_ / "sys" / devicePath;
  std::filesystem::create_directories(folder);
  const std::string number = std::to_string(major) + ":" + std::to_string(minor);
  ReplaceLink(sysRoot_ / "sys/dev/block" / number, std::filesystem::path("../..") / devicePath);
  WriteFile(folder / "dev", number + "\n");
  if (partition > 0) {
    WriteFile(folder / "partition", std::to_string(partition) + "\n");
  }
  return folder;
}

void FakeSysfs::WriteAttribute(const std::string& folder, const std::string& name,
                               const std::string& value) {
  WriteFile(sysRoot_ / "sys" / folder / name, value + "\n");
}

void FakeSysfs::RemoveAttribute(const std::string& folder, const std::string& name) {
  std::error_code ignored;
  std::filesystem::remove(sysRoot_ / "sys" / folder / name, ignored);
}

void FakeSysfs::AddDiskLink(const std::string& kind, const std::string& name,
                            const std::string& deviceName) {
  const std::string linkName = kind == "by-label" ? EscapeLabel(name) : name;
  ReplaceLink(sysRoot_ / "dev/disk" / kind / linkName, std::filesystem::path("../..") / deviceName);
}

void FakeSysfs::WriteUdevData(unsigned major, unsigned minor,
                              const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  WriteFile(
      sysRoot_ / "run/udev/data" / ("b" + std::to_string(major) + ":" + std::to_string(minor)),
      text);
}

std::string FakeSysfs::EscapeLabel(const std::string& label) {
  std::string escaped;
  for (const char ch : label) {
    const auto byte = static_cast<unsigned char>(ch);
    if (IsSafeLabelChar(byte)) {
      escaped += ch;
      continue;
    }
    char code[5];
    std::snprintf(code, sizeof(code), "\\x%02x", byte);
    escaped += code;
  }
  return escaped;
}

void FakeSysfs::WriteMountTable() const {
  std::string text;
  int mountId = kFirstMountId;
  for (const FakeMount& mount : mounts_) {
    text += std::to_string(mountId++) + " 1 " + std::to_string(mount.major) + ":" +
            std::to_string(mount.minor) + " " + EscapeField(mount.root) + " " +
            EscapeField(mount.mountPoint) + " " + mount.options + " - " + mount.fileSystemType +
            " " + EscapeField(mount.source.empty() ? "none" : mount.source) + " " + mount.options +
            "\n";
  }
  const std::filesystem::path table = sysRoot_ / "proc/self/mountinfo";
  const std::filesystem::path next = sysRoot_ / "proc/self/mountinfo.next";
  WriteFile(next, text);
  std::filesystem::rename(next, table);
}

}  // namespace testsupport
