#pragma once

#include <string>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResult.h"

// Reads fd from its position to the end of the file into text (appended):
// short reads go on, an interrupted read is repeated, and a read that
// returns nothing ends it, so files that announce a size they do not hold
// (those of /proc and /sys) are read as they are. The failure's errno
// code; errno tells the cause.
//
//   std::string text;
//   if (XpReadAll(XpSysCalls::Current(), fd, &text) != kXpOk) { ... }
[[nodiscard]] XpResult XpReadAll(XpSysCalls& calls, int fd, std::string* text);
