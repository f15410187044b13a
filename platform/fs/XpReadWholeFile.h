#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Reads the whole file at path (absolute) into bytes with plain reads. A
// file that shrinks while it is read fails with kXpErrEndOfFile; bytes that
// grow on after the size was taken are not read. The open's code for a file
// that cannot be opened, kXpErrInvalidFile for something that is not a
// regular file, kXpErrOutOfMemory when the bytes cannot be held. bytes is
// emptied on failure.
[[nodiscard]] XpResult XpReadWholeFile(const XpString& path, std::vector<uint8_t>* bytes);

// Reads the file at path as text, to its end whatever size it announces
// (XpReadAll), through the system-call seam. The open's code for a file
// that cannot be opened, kXpErrInvalidFile for a folder; text is emptied
// on failure.
//
//   std::string text;
//   const XpResult read = XpReadWholeFile(path, &text);
//   if (XpFailed(read)) { ... read names why ... }
[[nodiscard]] XpResult XpReadWholeFile(const XpString& path, std::string* text);
