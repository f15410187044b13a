#pragma once

#include <chrono>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

class XpPendingFile;

// Delete, copy and move of single paths and of lists of paths, with an
// optional progress observer.

// XpMoveFileRetrying retries a refused move this often, after this pause.
inline constexpr int kXpMoveRetryCount = 10;
inline constexpr std::chrono::milliseconds kXpMoveRetryDelay{300};

// Deletes a file or link permanently. The write bits of a read-only file are
// added first and put back when the delete fails. kXpErrGeneric and
// kXpErrSystem become kXpErrDeleteFailed.
[[nodiscard]] XpResult XpDeleteFile(const XpString& path);
// Permanently as above, or to the recycle bin (XpShellDeleteToRecycleBin).
[[nodiscard]] XpResult XpDeleteFile(const XpString& path, bool toRecycleBin);
// Removes an empty folder.
[[nodiscard]] XpResult XpRemoveDirectory(const XpString& path);

// Copies source to a new destination (an existing one gives
// kXpErrAlreadyExists), or moves it without ever replacing anything; a file
// on another file system is copied, flushed and its source unlinked.
[[nodiscard]] XpResult XpCopyOrMoveFileSimple(const XpString& destination, bool move, const XpString& source);

// Moves source onto destination, replacing a file there (never a folder).
// A move refused with kXpErrAccessDenied is retried kXpMoveRetryCount more
// times, each after a pause of kXpMoveRetryDelay on clock.
[[nodiscard]] XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination);
[[nodiscard]] XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination,
                                          XpWaitClock& clock);

// Copies a file over destination, replacing a writable file there. The
// observer (optional) gets the percentage after each chunk, and its answer
// goes into its stopFlag; a set stopFlag stops the copy with kXpErrStopped.
// An empty file reports 0.0, then 100.0. The copy is written beside the
// destination and renamed onto it when whole: a copy that fails, stops or
// is killed leaves the destination as it was and no temporary file.
[[nodiscard]] XpResult XpCopyFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer);
// The same; with failIfExists an existing destination is never replaced
// (kXpErrAlreadyExists), also one that appears while the copy runs, for
// callers that pick a free name of their own.
[[nodiscard]] XpResult XpCopyFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer,
                                              bool failIfExists);
// Copies a file as XpCopyFileWithProgress does, with its reports and
// results, into pending for destination, and leaves it there written but
// neither flushed nor published (see XpCopyBatch). With refuseLinkedSource
// the source must be a regular file itself: a link is never followed
// (kXpErrAccessDenied, see XpFileTransferOptions).
[[nodiscard]] XpResult XpCopyFileToPending(const XpString& source, const XpString& destination,
                                           IXpFileOpProgressObserver* observer,
                                           XpPendingFile* pending, bool refuseLinkedSource);
// Moves a file, replacing a file at destination, or a folder, replacing
// nothing. Across file systems a file is copied with progress as above and
// its source unlinked; a folder fails with kXpErrGeneric.
[[nodiscard]] XpResult XpMoveFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer);

// Deletes one path with XpDeleteFile. With an observer: source is set and
// 0.0 reported before, 100.0 reported and doneCount raised after, whatever
// the result; the answers are ignored. With asList the path goes through
// XpDeleteFiles as a one-element list instead.
[[nodiscard]] XpResult XpDeleteWithProgress(const XpString& path, bool toRecycleBin, bool asList,
                                            IXpFileOpProgressObserver* observer);
// With toRecycleBin the whole list goes to the recycle bin in one
// XpDeleteFiles. Otherwise each path is deleted by XpDeleteWithProgress;
// a failure does not keep the later paths from being deleted, and the first
// failure is returned.
[[nodiscard]] XpResult XpDeleteFilesWithProgress(const XpStringVector& paths, bool asList, bool toRecycleBin,
                                                 IXpFileOpProgressObserver* observer);

// Without folder mode: XpCopyFileWithProgress / XpMoveFileWithProgress. In
// folder mode (observer unused) the source goes into the destination's
// folder through the shell operations and is then renamed to the
// destination's name; when that rename fails the copy goes to the recycle
// bin, or the moved entry moves back, and the rename's code is returned.
[[nodiscard]] XpResult XpCopyPath(const XpString& source, const XpString& destination, bool folderMode,
                                  IXpFileOpProgressObserver* observer);
[[nodiscard]] XpResult XpMovePath(const XpString& source, const XpString& destination, bool folderMode,
                                  IXpFileOpProgressObserver* observer);

// Through the shell: one XpShellCopy / XpShellMove of the list. Otherwise
// XpCopyPath / XpMovePath of each source to folder joined with its last
// component, stopping at the first failure, which is returned.
[[nodiscard]] XpResult XpCopyPathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                                             bool throughShell, IXpFileOpProgressObserver* observer);
[[nodiscard]] XpResult XpMovePathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                                             bool throughShell, IXpFileOpProgressObserver* observer);
