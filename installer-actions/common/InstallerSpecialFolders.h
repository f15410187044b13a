#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// The special folders that the installer actions name by their CSIDL
// numbers.
inline constexpr int32_t kCsidlPersonal = 5;
inline constexpr int32_t kCsidlMyMusic = 13;
inline constexpr int32_t kCsidlMyVideo = 14;
inline constexpr int32_t kCsidlDesktopDirectory = 16;
inline constexpr int32_t kCsidlCommonPrograms = 23;
inline constexpr int32_t kCsidlCommonDesktopDirectory = 25;
inline constexpr int32_t kCsidlCommonAppData = 35;
inline constexpr int32_t kCsidlProgramFiles = 38;
inline constexpr int32_t kCsidlMyPictures = 39;
inline constexpr int32_t kCsidlProfile = 40;
inline constexpr int32_t kCsidlCommonDocuments = 46;
inline constexpr int32_t kCsidlCommonMusic = 53;
inline constexpr int32_t kCsidlCommonPictures = 54;
inline constexpr int32_t kCsidlCommonVideo = 55;

// The special-folder kind (XpGetSpecialFolder) of a CSIDL number; -1 for a
// number the actions do not use.
int32_t InstallerSpecialFolderKind(int32_t csidl);

// The folder of a CSIDL number; "" for an unknown number and for the shared
// folders, which Linux does not have (callers skip them).
XpString InstallerGetSpecialFolder(int32_t csidl, bool create);
