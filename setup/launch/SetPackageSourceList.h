#pragma once

#include "platform/text/XpString.h"

// The installer's registration of the product whose source list names the
// install set.
inline constexpr const char16_t* kSetupInstallerProductKey =
    u"SOFTWARE\\Classes\\Installer\\Products\\0B9E47D2C58A31F6A7D4E2B1C9F08356";
// The only target whose source list is set.
inline constexpr const char16_t* kSetupSourceListTarget = u"QMV.msi";

// The media path of the install set: "/" + the working folder's "Data"
// below its mount point + "/".
XpString SetupMediaPath(const XpString& workingFolder);

// For the target "QMV.msi" only, and only when the product's installer key
// exists already: writes "MediaPackage" of its "SourceList\Media". A write
// that fails is ignored. True when it was written.
bool SetPackageSourceList(const XpString& target, const XpString& workingFolder);
