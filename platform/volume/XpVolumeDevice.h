#pragma once

#include <cstdint>
#include <string>

#include "platform/system/XpMountTable.h"
#include "platform/text/XpString.h"

// The mount behind a volume root and the device it mounts: its sysfs
// folders, its udev properties and its /dev/disk links, all read below the
// system root. Nothing is cached beyond the mount entry: each query reads.
class XpVolumeDevice {
 public:
  XpVolumeDevice() = default;
  explicit XpVolumeDevice(const XpMountEntry& mount) : mount_(mount), found_(true) {}

  // Takes the mount of the live table whose mount point is root ("/media/c/"
  // or "/media/c"); of two mounts on one point, the one on top. False when
  // root is not a mount point now.
  bool Find(const XpString& root);

  bool IsFound() const { return found_; }
  const XpMountEntry& Mount() const { return mount_; }

  // A device with a block device number (not a network or pseudo mount).
  bool IsBlockDevice() const { return found_ && mount_.major != 0; }
  bool IsNetwork() const;
  // An optical drive ("sr*") or an optical file system (iso9660, udf).
  bool IsOptical() const;
  bool IsFloppy() const;
  // The mount is writable ("ro" in neither option list).
  bool IsMountedReadWrite() const;
  // The disk's "removable" is 1, or it is an SD/MMC card.
  bool IsRemovable() const;

  // The kernel name ("sdb1"): the leaf of the sysfs folder, else the leaf
  // of a "/dev/..." source; "" when neither is known.
  std::string KernelName() const;
  // The resolved sysfs folders, as paths below the system root
  // ("/sys/devices/.../sdb/sdb1" and ".../sdb"); "" when sysfs does not know
  // the device.
  std::string DeviceFolder() const;
  std::string DiskFolder() const;
  // The partition number of sysfs "partition"; 0 for a whole disk.
  uint32_t PartitionNumber() const;

  // The value of "E:key=" in /run/udev/data/bMAJ:MIN.
  bool GetUdevProperty(const char* key, std::string* value) const;
  // The name of the link in /dev/disk/<kind> ("by-uuid", "by-label") whose
  // target names this device, as the link is spelled.
  bool FindDiskLink(const char* kind, std::string* name) const;

  // The text of the file name in folder (a path below the system root),
  // without trailing white space. False when it cannot be read.
  static bool ReadSysfsText(const std::string& folder, const char* name, std::string* value);

 private:
  XpMountEntry mount_;
  bool found_ = false;
};
