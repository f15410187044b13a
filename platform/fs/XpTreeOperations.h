#pragma once

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/fs/XpDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Copy, move and delete of whole folder trees. Walks never follow links: a
// link is copied or removed as an entry of its own.

// Copies sourceFolder with everything below it into destinationParent, as a
// new sub-folder of the same name. With an observer: doneCount 0,
// totalCount the entries below the source, percent 0.0 (no call), then each
// file copy reports its own percentage and every entry copied raises
// doneCount. A destination parent that is the source or lies below it gives
// kXpErrBadArgument and nothing is made. See XpCopyTreeInto for the rest.
[[nodiscard]] XpResult XpCopyTree(const char16_t* sourceFolder, const char16_t* destinationParent,
                                  IXpFileOpProgressObserver* observer);
// The step of XpCopyTree, touching no count but doneCount. An empty source
// or a null destination gives kXpErrBadArgument. The new folder must not
// exist (kXpErrAlreadyExists, nothing copied). Files are copied with
// XpCopyFileWithProgress (a link to a file as the file's content), a link
// to a folder is made again with the same target, sub-folders recursively.
// A failed entry does not end the walk; the result is then the first
// failure that was not a stop, else kXpErrStopped. A set stopFlag cancels
// every later file copy while the folders are still made.
[[nodiscard]] XpResult XpCopyTreeInto(XpSharedPtr<XpDir> sourceFolder, const char16_t* destinationParent,
                                      IXpFileOpProgressObserver* observer);
// XpCopyTree, then on success the permanent removal of the source tree,
// whose result is returned. When the copy fails the source stays whole; the
// new top folder is removed when it is empty, unless the copy failed with
// kXpErrAlreadyExists.
[[nodiscard]] XpResult XpMoveTree(const char16_t* sourceFolder, const char16_t* destinationParent,
                                  IXpFileOpProgressObserver* observer);

// Permanent delete of a folder. Without withContents the folder must be
// empty; with an observer: source the path, doneCount 0, totalCount 1, a
// call with 0.0, and after a removal doneCount 1 and another call. With
// withContents every entry below goes first (a link is unlinked, never
// followed), stopping at the first failure; an observer whose totalCount is
// 0 gets the number of entries plus one, and for each file and each folder
// source is set, 0.0 reported and doneCount raised. The answers are ignored:
// the delete cannot be stopped.
[[nodiscard]] XpResult XpRemoveDirectoryTree(const XpString& path, bool withContents,
                                             IXpFileOpProgressObserver* observer);
