#include "platform/volume/XpVolumeDevice.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

#include "platform/fs/XpNetworkPath.h"
#include "platform/system/XpBlockDevice.h"
#include "platform/system/XpSysRoot.h"

namespace {

constexpr std::u16string_view kReadOnlyOption = u"ro";
constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kOpticalPrefix = "sr";
constexpr std::string_view kFloppyPrefix = "fd";
constexpr std::string_view kUdevPropertyPrefix = "E:";
constexpr std::string_view kWhiteSpace = " \t\r\n";
constexpr const char* kPartitionFile = "partition";

std::string ToBytes(const XpString& text) { return std::string(text.ToMultiByte().View()); }

std::string LeafOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The mount point as mountinfo spells it: no trailing '/', except "/".
XpString MountPointOf(const XpString& root) {
  std::u16string_view view = root.View();
  while (view.size() > 1 && view.back() == u'/') view.remove_suffix(1);
  return XpString(view);
}

bool HasOption(const XpString& options, std::u16string_view wanted) {
  std::u16string_view rest = options.View();
  while (!rest.empty()) {
    const size_t comma = rest.find(u',');
    if (rest.substr(0, comma) == wanted) return true;
    if (comma == std::u16string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// A resolved path as a path below the resolved system root; "" when it lies
// outside.
std::string BelowSysRoot(const std::string& resolved) {
  const std::string prefix(XpSysRoot().View());
  if (prefix.empty() || resolved.empty()) return resolved;
  const std::string root = RealPath(prefix);
  if (root.empty() || resolved.compare(0, root.size(), root) != 0) return std::string();
  if (resolved.size() == root.size() || resolved[root.size()] != '/') return std::string();
  return resolved.substr(root.size());
}

std::string DeviceNumber(const XpMountEntry& mount) {
  return std::to_string(mount.major) + ":" + std::to_string(mount.minor);
}

}  // namespace

bool XpVolumeDevice::Find(const XpString& root) {
  found_ = false;
  const XpString mountPoint = MountPointOf(root);
  if (mountPoint.IsEmpty() || mountPoint.CStr()[0] != u'/') return false;
  XpMountTable table;
  if (XpFailed(table.Load())) return false;
  for (const XpMountEntry& entry : table.Entries()) {
    if (entry.mountPoint != mountPoint) continue;
    mount_ = entry;
    found_ = true;
  }
  return found_;
}

bool XpVolumeDevice::IsNetwork() const {
  return found_ && XpIsNetworkFileSystemType(mount_.fileSystemType);
}

bool XpVolumeDevice::IsOptical() const {
  if (!found_) return false;
  if (mount_.fileSystemType == u"iso9660" || mount_.fileSystemType == u"udf") return true;
  return IsBlockDevice() && StartsWith(KernelName(), kOpticalPrefix);
}

bool XpVolumeDevice::IsFloppy() const {
  const std::string name = KernelName();
  return StartsWith(name, kFloppyPrefix) && name.size() > kFloppyPrefix.size() &&
         IsDigit(name[kFloppyPrefix.size()]);
}

bool XpVolumeDevice::IsMountedReadWrite() const {
  return found_ && !HasOption(mount_.mountOptions, kReadOnlyOption) &&
         !HasOption(mount_.superOptions, kReadOnlyOption);
}

bool XpVolumeDevice::IsRemovable() const {
  return IsBlockDevice() && XpBlockDeviceIsRemovable(mount_.major, mount_.minor);
}

std::string XpVolumeDevice::KernelName() const {
  if (!found_) return std::string();
  const std::string folder = DeviceFolder();
  if (!folder.empty()) return LeafOf(folder);
  const std::string source = ToBytes(mount_.source);
  return StartsWith(source, kDevPrefix) ? LeafOf(source) : std::string();
}

std::string XpVolumeDevice::DeviceFolder() const {
  if (!IsBlockDevice()) return std::string();
  const std::string link = "/sys/dev/block/" + DeviceNumber(mount_);
  return BelowSysRoot(RealPath(std::string(XpSysRootPath(link.c_str()).View())));
}

std::string XpVolumeDevice::DiskFolder() const {
  if (!IsBlockDevice()) return std::string();
  return BelowSysRoot(std::string(XpBlockDeviceDiskFolder(mount_.major, mount_.minor).View()));
}

uint32_t XpVolumeDevice::PartitionNumber() const {
  std::string text;
  const std::string folder = DeviceFolder();
  if (folder.empty() || !ReadSysfsText(folder, kPartitionFile, &text)) return 0;
  uint32_t number = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
  return parsed.ec == std::errc() ? number : 0;
}

bool XpVolumeDevice::GetUdevProperty(const char* key, std::string* value) const {
  if (!IsBlockDevice()) return false;
  const std::string path = "/run/udev/data/b" + DeviceNumber(mount_);
  std::string text;
  if (XpFailed(XpSysRootReadFile(path.c_str(), &text))) return false;
  const std::string wanted = std::string(kUdevPropertyPrefix) + key + "=";
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    if (StartsWith(line, wanted)) {
      *value = std::string(line.substr(wanted.size()));
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool XpVolumeDevice::FindDiskLink(const char* kind, std::string* name) const {
  const std::string device = KernelName();
  if (device.empty()) return false;
  const std::string folder(XpSysRootPath((std::string("/dev/disk/") + kind).c_str()).View());
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(listing)) {
    char target[PATH_MAX];
    const std::string link = folder + "/" + entry->d_name;
    const ssize_t length = ::readlink(link.c_str(), target, sizeof(target) - 1);
    if (length <= 0) continue;
    if (LeafOf(std::string(target, static_cast<size_t>(length))) != device) continue;
    *name = entry->d_name;
    found = true;
    break;
  }
  ::closedir(listing);
  return found;
}

bool XpVolumeDevice::ReadSysfsText(const std::string& folder, const char* name,
                                   std::string* value) {
  const std::string path = folder + "/" + name;
  std::string text;
  if (XpFailed(XpSysRootReadFile(path.c_str(), &text))) return false;
  const size_t end = text.find_last_not_of(kWhiteSpace);
  text.erase(end == std::string::npos ? 0 : end + 1);
  *value = text;
  return true;
}
