#pragma once

#include <cstddef>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResult.h"

// Writes all count bytes to fd at its position: short writes go on where
// they stopped and an interrupted write is repeated. A write that moves
// nothing means the medium has no room left (kXpErrDiskFull); it is never
// tried again. Any other failure is its errno's code. On failure errno
// tells the cause (ENOSPC for the write that moved nothing). written
// (optional) receives the bytes that were written, also on failure.
[[nodiscard]] XpResult XpWriteAll(XpSysCalls& calls, int fd, const void* bytes, size_t count,
                                  size_t* written = nullptr);
