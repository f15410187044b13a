#pragma once

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The engine under the single-file copies and moves: a chunked copy of our
// own that keeps the source's times and permission bits, and a move that
// never replaces a folder.
//
// A copy is written to a pending file beside the destination (see
// XpPendingFile), flushed and renamed onto the destination, so the
// destination's name only ever holds the old file or the whole copy. The
// bytes move with copy_file_range where the kernel offers it, else with
// reads and writes; holes of a sparse source stay holes.

class XpPendingFile;

struct XpFileTransferOptions {
  // An existing destination fails with kXpErrAlreadyExists instead of being
  // replaced; the final rename never replaces one that appears meanwhile.
  bool failIfExists = false;
  // An existing destination without write bits is replaced too; without
  // this it fails with kXpErrAccessDenied.
  bool replaceReadOnly = false;
  // Moves only: a file on another file system is copied, then its source
  // unlinked.
  bool copyAcrossDevices = false;
  // Reported after each chunk (and after each hole skipped) with the
  // percentage; its answer is stored in stopFlag, and a set stopFlag stops
  // the copy. Optional.
  IXpFileOpProgressObserver* observer = nullptr;
  // Copies only: the source must be a regular file itself. It is opened
  // with O_NOFOLLOW, so a link fails with kXpErrAccessDenied, as a folder or
  // a device does, and what it points to is never read.
  bool refuseLinkedSource = false;
};

// Copies the file source (a link is followed unless refuseLinkedSource) to
// destination. A stop gives
// kXpErrStopped. On any failure the destination is as it was and no
// temporary file stays.
[[nodiscard]] XpResult XpTransferCopyFile(const XpString& source, const XpString& destination,
                                          const XpFileTransferOptions& options);

// Copies source into pending, as XpTransferCopyFile does, but leaves the
// copy there written and neither flushed nor published: the caller flushes
// (XpPendingFile::Sync) and publishes it, so that several copies can share
// one flush of the file system. On failure pending holds nothing.
[[nodiscard]] XpResult XpTransferCopyToPending(const XpString& source, const XpString& destination,
                                               const XpFileTransferOptions& options,
                                               XpPendingFile* pending);

// Moves the entry source (a link is moved as a link) to destination. A file
// replaces an existing destination file unless failIfExists; a folder never
// replaces anything and fails with kXpErrGeneric across file systems. When
// the source of a copy across file systems cannot be unlinked, the copy is
// removed again unless it replaced an existing file (whose old bytes are
// gone by then), and the unlink's failure is returned.
[[nodiscard]] XpResult XpTransferMoveEntry(const XpString& source, const XpString& destination,
                                           const XpFileTransferOptions& options);

// Recreates the link at source as a new link at destination with the same
// target. 0 or the errno.
[[nodiscard]] int XpTransferCopyLink(const XpString& source, const XpString& destination);
