#pragma once

#include <cstdint>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Reads the whole file at path (absolute) into bytes with plain reads. A
// file that shrinks while it is read fails with kXpErrEndOfFile; bytes that
// grow on after the size was taken are not read. The open's code for a file
// that cannot be opened, kXpErrInvalidFile for something that is not a
// regular file, kXpErrOutOfMemory when the bytes cannot be held. bytes is
// emptied on failure.
XpResult XpReadWholeFile(const XpString& path, std::vector<uint8_t>* bytes);
