#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Facts about block devices from sysfs, read below the system root
// (KAVO_SYSROOT). A device is found at /sys/dev/block/MAJOR:MINOR, a link
// (relative, as the kernel makes it) into /sys/devices.

// The sysfs folder of the whole disk that holds the device: the device's
// own folder, or its parent for a partition. Links are resolved; "" when
// sysfs does not know the device.
XpStringA XpBlockDeviceDiskFolder(uint32_t major, uint32_t minor);

// The disk is removable: its "removable" attribute is 1, or it is an SD or
// MMC card ("mmcblk"). False when sysfs does not know the device.
bool XpBlockDeviceIsRemovable(uint32_t major, uint32_t minor);
