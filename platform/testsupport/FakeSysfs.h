#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// One line of the fake mount table.
struct FakeMount {
  std::string mountPoint;  // absolute, usually a real folder below the test's root
  std::string fileSystemType;
  std::string source;
  unsigned major = 0;
  unsigned minor = 0;
  std::string root = "/";  // the folder of the file system that is mounted
  std::string options = "rw,relatime";
};

// What a fake volume's disk is attached to. kVirtio is a fixed disk on no
// bus the storage queries know; kNetwork is a network share with no block
// device at all.
enum class FakeBus { kUsb, kFireWire, kPcCard, kVirtio, kNetwork };

// A mounted volume with the device behind it, for FakeSysfs::AddVolume.
struct FakeVolume {
  std::string mountPoint;  // absolute; the folder is created when missing
  std::string fileSystemType = "vfat";
  bool removable = true;
  FakeBus bus = FakeBus::kUsb;
  // USB only: the device's "idVendor" and "idProduct", and its texts and
  // "serial" (none when empty).
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string serial;
  std::string manufacturer;
  std::string product;
  // The file system's UUID ("1234-ABCD") and label; none when empty.
  std::string uuid;
  std::string label;
};

// Where AddVolume put a volume's device, as folders relative to sys/ for
// WriteAttribute and RemoveAttribute; "" where there is none.
struct FakeVolumeDevice {
  unsigned major = 0;
  unsigned minor = 0;
  std::string kernelName;       // "sdc1"
  std::string partitionFolder;  // ".../block/sdc/sdc1"
  std::string diskFolder;       // ".../block/sdc"
  std::string usbFolder;        // the USB device, with idVendor
};

// Builds a fake system tree below a system root (the folder KAVO_SYSROOT
// names): proc/self/mountinfo, sys/dev/block links into sys/devices with
// their attribute files, dev/disk/by-uuid and by-label links, and
// run/udev/data files. Every change is written at once; the mount table is
// replaced by a rename, so a reader never sees half of it.
//
//   FakeSysfs fake(sysRoot);
//   fake.AddBlockDevice(8, 17, "devices/pci0000:00/usb2/.../block/sdb/sdb1", 1);
//   fake.WriteAttribute("devices/pci0000:00/usb2/.../block/sdb", "removable", "1");
//   fake.AddMount({"/tmp/x/card", "vfat", "/dev/sdb1", 8, 17});
class FakeSysfs {
 public:
  explicit FakeSysfs(std::filesystem::path sysRoot);

  const std::filesystem::path& SysRoot() const { return sysRoot_; }

  // Appends a line to the mount table and rewrites it; returns the mount id.
  int AddMount(const FakeMount& mount);
  // Drops every line with this mount point and rewrites the table. For a
  // volume of AddVolume the device goes too, as when it is unplugged.
  void RemoveMount(const std::string& mountPoint);

  // Mounts a volume on a new device: a partition 1 on the first disk ("sdX"
  // on USB, FireWire and PC Card, "vdX" on virtio) whose device number is
  // still free, with its "removable" file, the bus's folders, the USB
  // device's attributes, the file system's udev data and /dev/disk links,
  // and the mount table line; a network share gets only the line, with an
  // unused anonymous device number. Returns where the device is.
  FakeVolumeDevice AddVolume(const FakeVolume& volume);
  // Replaces the whole table.
  void SetMounts(const std::vector<FakeMount>& mounts);
  const std::vector<FakeMount>& Mounts() const { return mounts_; }

  // Creates sys/<devicePath> (relative to sys/, such as
  // "devices/.../block/sdb/sdb1") and the relative link
  // sys/dev/block/MAJ:MIN to it, with its "dev" file; a partition number
  // above 0 gives it a "partition" file. Returns the folder.
  std::filesystem::path AddBlockDevice(unsigned major, unsigned minor,
                                       const std::string& devicePath, unsigned partition = 0);
  // Writes sys/<folder>/<name> with value and a newline.
  void WriteAttribute(const std::string& folder, const std::string& name,
                      const std::string& value);
  void RemoveAttribute(const std::string& folder, const std::string& name);

  // dev/disk/<kind>/<name> as a link to ../../<deviceName>; kind is
  // "by-uuid" or "by-label" (a label is escaped as udev does it).
  void AddDiskLink(const std::string& kind, const std::string& name,
                   const std::string& deviceName);
  // run/udev/data/bMAJ:MIN with the lines given ("E:ID_FS_VERSION=FAT32").
  void WriteUdevData(unsigned major, unsigned minor, const std::vector<std::string>& lines);

  // A label as udev writes it into a by-label link name: spaces, '/' and
  // other unsafe bytes become \xNN.
  static std::string EscapeLabel(const std::string& label);

 private:
  // What AddVolume made, so that RemoveMount can take it away again.
  struct AddedDevice {
    std::vector<std::filesystem::path> paths;
  };

  void WriteMountTable() const;
  bool DeviceNumberInUse(unsigned major, unsigned minor) const;
  FakeVolumeDevice AddBlockVolume(const FakeVolume& volume, AddedDevice* added);
  unsigned FreeNetworkMinor() const;

  std::filesystem::path sysRoot_;
  std::vector<FakeMount> mounts_;
  std::map<std::string, AddedDevice> addedDevices_;
};

}  // namespace testsupport
