#include "platform/volume/XpDriveType.h"

#include "platform/path/XpPath.h"
#include "platform/volume/XpVolumeDevice.h"

namespace {

bool IsMemoryFileSystem(const XpString& type) { return type == u"tmpfs" || type == u"ramfs"; }

}  // namespace

uint32_t XpDriveTypeOf(const XpVolumeDevice& device) {
  if (!device.IsFound()) return kXpDriveNoRootDir;
  if (device.IsNetwork()) return kXpDriveRemote;
  if (device.IsOptical()) return kXpDriveCdRom;
  if (IsMemoryFileSystem(device.Mount().fileSystemType)) return kXpDriveRamDisk;
  if (device.IsRemovable()) return kXpDriveRemovable;
  return kXpDriveFixed;
}

uint32_t XpGetDriveType(const XpString& path) {
  const XpString root = XpPathGetRoot(path);
  if (root.IsEmpty()) return kXpDriveNoRootDir;
  XpVolumeDevice device;
  if (!device.Find(root)) return kXpDriveNoRootDir;
  return XpDriveTypeOf(device);
}
