#pragma once

#include <chrono>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// Delete, copy and move of single paths and of lists of paths, with an
// optional progress observer.

// XpMoveFileRetrying retries a refused move this often, after this pause.
inline constexpr int kXpMoveRetryCount = 10;
inline constexpr std::chrono::milliseconds kXpMoveRetryDelay{300};

// Deletes a file or link permanently. The write bits of a read-only file are
// added first and put back when the delete fails. kXpErrGeneric and
// kXpErrSystem become kXpErrDeleteFailed.
XpResult XpDeleteFile(const XpString& path);
// Permanently as above, or to the recycle bin (XpShellDeleteToRecycleBin).
XpResult XpDeleteFile(const XpString& path, bool toRecycleBin);
// Removes an empty folder.
XpResult XpRemoveDirectory(const XpString& path);

// Copies source to a new destination (an existing one gives
// kXpErrAlreadyExists), or moves it without ever replacing anything; a file
// on another file system is copied, flushed and its source unlinked.
XpResult XpCopyOrMoveFileSimple(const XpString& destination, bool move, const XpString& source);

// Moves source onto destination, replacing a file there (never a folder).
// A move refused with kXpErrAccessDenied is retried kXpMoveRetryCount more
// times, each after a pause of kXpMoveRetryDelay on clock.
XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination);
XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination,
                            XpWaitClock& clock);

// Copies a file over destination, replacing a writable file there. The
// observer (optional) gets the percentage after each chunk, and its answer
// goes into its stopFlag; a set stopFlag stops the copy with kXpErrStopped
// and removes what this call wrote. An empty file reports 0.0, then 100.0.
XpResult XpCopyFileWithProgress(const XpString& source, const XpString& destination,
                                IXpFileOpProgressObserver* observer);
// Moves a file, replacing a file at destination, or a folder, replacing
// nothing. Across file systems a file is copied with progress as above and
// its source unlinked; a folder fails with kXpErrGeneric.
XpResult XpMoveFileWithProgress(const XpString& source, const XpString& destination,
                                IXpFileOpProgressObserver* observer);

// Deletes one path with XpDeleteFile. With an observer: source is set and
// 0.0 reported before, 100.0 reported and doneCount raised after, whatever
// the result; the answers are ignored. With asList the path goes through
// XpDeleteFiles as a one-element list instead.
XpResult XpDeleteWithProgress(const XpString& path, bool toRecycleBin, bool asList,
                              IXpFileOpProgressObserver* observer);
// With toRecycleBin the whole list goes to the recycle bin in one
// XpDeleteFiles. Otherwise each path is deleted by XpDeleteWithProgress;
// a failure does not keep the later paths from being deleted, and the first
// failure is returned.
XpResult XpDeleteFilesWithProgress(const XpStringVector& paths, bool asList, bool toRecycleBin,
                                   IXpFileOpProgressObserver* observer);

// Without folder mode: XpCopyFileWithProgress / XpMoveFileWithProgress. In
// folder mode (observer unused) the source goes into the destination's
// folder through the shell operations and is then renamed to the
// destination's name; when that rename fails the copy goes to the recycle
// bin, or the moved entry moves back, and the rename's code is returned.
XpResult XpCopyPath(const XpString& source, const XpString& destination, bool folderMode,
                    IXpFileOpProgressObserver* observer);
XpResult XpMovePath(const XpString& source, const XpString& destination, bool folderMode,
                    IXpFileOpProgressObserver* observer);

// Through the shell: one XpShellCopy / XpShellMove of the list. Otherwise
// XpCopyPath / XpMovePath of each source to folder joined with its last
// component, stopping at the first failure, which is returned.
XpResult XpCopyPathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                               bool throughShell, IXpFileOpProgressObserver* observer);
XpResult XpMovePathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                               bool throughShell, IXpFileOpProgressObserver* observer);
