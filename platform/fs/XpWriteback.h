#pragma once

#include <sys/types.h>

#include "platform/fs/XpSysCalls.h"

// Starts writing count bytes of fd from offset back to the medium without
// waiting for them, so that a long copy keeps the device busy while it goes
// on and its closing fsync has little left to wait for. A hint only: a file
// system that cannot take it changes nothing, and durability still comes
// from the fsync.
void XpStartWriteback(XpSysCalls& calls, int fd, off_t offset, off_t count);
