#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The shell's operations on lists of paths, run without a screen: nobody is
// there to answer a question, so a conflict the shell would ask about is a
// failure, except where the flags answer "yes" to everything.

// XpShellCopyOrMove operations.
inline constexpr uint32_t kXpShellOperationMove = 1;
inline constexpr uint32_t kXpShellOperationCopy = 2;

// Sends a file, link or folder to the recycle bin (XpMoveToRecycleBin);
// kXpErrDeleteFailed on any failure.
[[nodiscard]] XpResult XpShellDeleteToRecycleBin(const XpString& path);

// Copies or moves each source, in list order, into the existing folder
// destination under its own name: files, links and folders with everything
// below them. Nothing is ever overwritten, and a folder never goes into
// itself. The first failure ends the list with kXpErrCopyFailed or
// kXpErrMoveFailed; kXpErrBadArgument for an unknown operation.
[[nodiscard]] XpResult XpShellCopyOrMove(const XpStringVector& sources, const XpString& destination,
                                         uint32_t operation);
[[nodiscard]] XpResult XpShellCopy(const XpStringVector& sources, const XpString& destination);
[[nodiscard]] XpResult XpShellMove(const XpStringVector& sources, const XpString& destination);

// Copies or moves sources[i] to destinations[i], replacing existing files
// (read-only ones too) and merging into existing folders. Lists of unequal
// length, or the first failure: kXpErrCopyFailed or kXpErrMoveFailed.
[[nodiscard]] XpResult XpShellCopyOrMoveEach(const XpStringVector& sources, const XpStringVector& destinations,
                                             bool move);

// With toRecycleBin each path goes to the recycle bin, the first failure
// ending the list with kXpErrDeleteFailed. Otherwise each path is deleted
// permanently by XpDeleteWithProgress, the first failure ending the list
// and being returned.
[[nodiscard]] XpResult XpDeleteFiles(const XpStringVector& paths, bool toRecycleBin);
