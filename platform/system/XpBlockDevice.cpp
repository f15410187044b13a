#include "platform/system/XpBlockDevice.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/system/XpSysRoot.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char* kPartitionAttribute = "/partition";
constexpr const char* kRemovableAttribute = "/removable";
constexpr std::string_view kMmcDiskPrefix = "mmcblk";
constexpr char kRemovableValue = '1';
// "/sys/dev/block/" and two 32-bit numbers.
constexpr size_t kDevicePathCapacity = 64;

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string_view LeafOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

XpStringA XpBlockDeviceDiskFolder(uint32_t major, uint32_t minor) {
  char device[kDevicePathCapacity];
  std::snprintf(device, sizeof(device), "/sys/dev/block/%u:%u", major, minor);
  const XpStringA link = XpSysRootPath(device);
  char resolved[PATH_MAX];
  if (::realpath(link.CStr(), resolved) == nullptr) {
    return XpStringA();
  }
  std::string folder = resolved;
  if (FileExists(folder + kPartitionAttribute)) {
    folder.erase(folder.rfind('/'));
  }
  return XpStringA(folder.c_str(), static_cast<int32_t>(folder.size()));
}

bool XpBlockDeviceIsRemovable(uint32_t major, uint32_t minor) {
  const XpStringA disk = XpBlockDeviceDiskFolder(major, minor);
  if (disk.IsEmpty()) {
    return false;
  }
  if (LeafOf(disk.View()).substr(0, kMmcDiskPrefix.size()) == kMmcDiskPrefix) {
    return true;
  }
  std::string value;
  if (XpReadWholeFile(XpStringA((std::string(disk.View()) + kRemovableAttribute).c_str()).ToWide(), &value) != kXpOk) {
    return false;
  }
  const size_t first = value.find_first_not_of(" \t\n");
  return first != std::string::npos && value[first] == kRemovableValue;
}
