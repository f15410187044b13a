#pragma once

#include <cstdint>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Creating, testing and removing folders.

// The index of the first ch in text at or after start; -1 when there is
// none or start is not inside text.
int32_t XpFindCharFrom(int32_t start, const XpString& text, char16_t ch);

// mkdir(path, 0777). A path that does not begin with '/' is refused with
// kXpErrPathNotFound. EEXIST gives kXpErrAlreadyExists, ENOENT
// kXpErrPathNotFound, EACCES, EPERM and EROFS kXpErrAccessDenied; any other
// failure kXpErrCreateDirFailed when the parent folder exists, else
// kXpErrPathNotFound.
[[nodiscard]] XpResult XpCreateDirectory(const XpString& path);
// Creates every missing level of path after its leading '/'; a path without
// it gives kXpErrCreateDirFailed. An existing level counts as made; any
// other failure ends the walk with its code. The result is that of the full
// path, so an existing folder gives kXpErrAlreadyExists.
[[nodiscard]] XpResult XpCreateDirectoryTree(const XpString& path);

// True for a folder that can be enumerated and has no entries.
bool XpIsDirectoryEmpty(const XpString& path);
// True when a file can be made in the existing folder dir: a new
// ".%08x.tmp" is created and deleted again, or an existing one that is not
// read-only opens for reading and writing.
bool XpIsDirectoryWritable(const XpString& dir);

// Permanently through XpRemoveDirectoryTree, or to the recycle bin through
// XpDeleteWithProgress; a folder sent to the recycle bin without
// withContents must be empty (XpIsDirectoryEmpty), else kXpErrDirNotEmpty.
[[nodiscard]] XpResult XpRemoveDirectory(const XpString& path, bool withContents, bool toRecycleBin,
                                         bool asList, IXpFileOpProgressObserver* observer);

// Flushes the folder to the medium, so that the renames and removals made in
// it last across a power cut; with withFiles first every plain file directly
// in it, data and metadata. A folder of a file system that keeps nothing to
// flush for folders (EINVAL) counts as flushed. The first failure ends the
// walk, with its result.
[[nodiscard]] XpResult XpSyncDirectory(const XpString& path, bool withFiles);

// Whether a folder's sync follows a link at its path.
enum class XpFolderLink { kFollow, kRefuse };
// Flushes the folder at path (UTF-8, with or without the closing '/') to
// the medium, so that the renames and removals made in it last; a file
// system that keeps nothing to flush for folders (EINVAL) counts as
// flushed. With kRefuse a link at path fails (ELOOP) instead of being
// followed.
[[nodiscard]] XpResult XpSyncFolder(const char* path, XpFolderLink link = XpFolderLink::kFollow);

// Waits once until everything written to the file system that holds path
// (a file or a folder) is on the medium: the data of every file, the names
// made, renamed and removed, and the folders. One wait stands in for an
// XpSyncDirectory with its files of every folder there.
[[nodiscard]] XpResult XpSyncFileSystem(const XpString& path);
