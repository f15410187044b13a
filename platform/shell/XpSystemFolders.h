#pragma once

#include <vector>

#include "platform/text/XpString.h"

// The folders of the operating system itself, which nothing of ours may be
// put into: "/bin", "/boot", "/dev", "/etc", "/lib", "/proc", "/run",
// "/sbin", "/sys" and "/usr", without trailing '/'. Never moved below a root.
const std::vector<XpString>& XpSystemFolders();

// path is one of XpSystemFolders or lies inside one (case-sensitive, on
// component boundaries).
bool XpIsSystemFolder(const XpString& path);
