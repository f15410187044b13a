#pragma once

#include <sys/types.h>

#include <vector>

#include "platform/text/XpString.h"

// The processes whose executable's leaf name equals name exactly
// (case-sensitive), in ascending order. The executable is the
// target of /proc/<pid>/exe below the system root; when that link cannot be
// read (another user's process), the leaf of argv[0] from
// /proc/<pid>/cmdline stands in. Empty for an empty name or an unreadable
// /proc.
std::vector<pid_t> XpFindProcessesByExeName(const XpString& name);
