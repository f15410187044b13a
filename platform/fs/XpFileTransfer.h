#pragma once

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The engine under the single-file copies and moves: a chunked copy of our
// own that keeps the source's times and permission bits, and a move that
// never replaces a folder.

struct XpFileTransferOptions {
  // An existing destination fails with kXpErrAlreadyExists (an O_EXCL
  // create) instead of being replaced.
  bool failIfExists = false;
  // An existing destination without write bits is made writable and
  // replaced; without this it fails with kXpErrAccessDenied.
  bool replaceReadOnly = false;
  // fsync the copy before it is closed.
  bool writeThrough = false;
  // Moves only: a file on another file system is copied, then its source
  // unlinked.
  bool copyAcrossDevices = false;
  // Reported after each chunk with the percentage; its answer is stored in
  // stopFlag, and a set stopFlag stops the copy. Optional.
  IXpFileOpProgressObserver* observer = nullptr;
};

// Copies the file source (a link is followed) to destination. A stop gives
// kXpErrStopped. On any failure a destination that this call created or
// truncated is removed; one it never opened is left alone.
XpResult XpTransferCopyFile(const XpString& source, const XpString& destination,
                            const XpFileTransferOptions& options);

// Moves the entry source (a link is moved as a link) to destination. A file
// replaces an existing destination file unless failIfExists; a folder never
// replaces anything and fails with kXpErrGeneric across file systems.
XpResult XpTransferMoveEntry(const XpString& source, const XpString& destination,
                             const XpFileTransferOptions& options);

// Recreates the link at source as a new link at destination with the same
// target. 0 or the errno.
int XpTransferCopyLink(const XpString& source, const XpString& destination);
