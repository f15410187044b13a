#pragma once

#include <filesystem>
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
  // Drops every line with this mount point and rewrites the table.
  void RemoveMount(const std::string& mountPoint);
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
  void WriteMountTable() const;

  std::filesystem::path sysRoot_;
  std::vector<FakeMount> mounts_;
};

}  // namespace testsupport
