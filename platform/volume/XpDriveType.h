#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

class XpVolumeDevice;

// The Windows drive types that the installer and export rules compare.
inline constexpr uint32_t kXpDriveNoRootDir = 1;
inline constexpr uint32_t kXpDriveRemovable = 2;
inline constexpr uint32_t kXpDriveFixed = 3;
inline constexpr uint32_t kXpDriveRemote = 4;
inline constexpr uint32_t kXpDriveCdRom = 5;
inline constexpr uint32_t kXpDriveRamDisk = 6;

// The drive type of a mounted volume: kXpDriveNoRootDir when the device was
// not found, then network, optical, tmpfs or ramfs, removable, else fixed.
uint32_t XpDriveTypeOf(const XpVolumeDevice& device);

// The drive type of the volume that holds path (XpPathGetRoot);
// kXpDriveNoRootDir when the path is not absolute or no mounted volume holds
// it.
uint32_t XpGetDriveType(const XpString& path);
