#pragma once

#include <string>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Every read of /proc, /sys, /dev/disk and /run/udev goes through the system
// root: the folder named by $KAVO_SYSROOT, empty (the real root) by default.
// Tests stage a fake tree below it. The program's own /proc/self/exe is read
// directly, never through it.

inline constexpr const char* kXpSysRootVariable = "KAVO_SYSROOT";

// The prefix without a trailing '/'; "" for the real root.
XpStringA XpSysRoot();

// absolutePath ("/proc/self/mountinfo") below the system root.
XpStringA XpSysRootPath(const char* absolutePath);

// Reads the whole file absolutePath below the system root into contents.
[[nodiscard]] XpResult XpSysRootReadFile(const char* absolutePath, std::string* contents);
