#pragma once

#include <sys/stat.h>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Small steps the file operations share. Every call goes through the
// system-call seam (XpSysCalls).

// lstat / stat of path; false (errno set) on failure.
bool XpFsLstat(const XpString& path, struct stat* info);
bool XpFsStat(const XpString& path, struct stat* info);
// An entry exists at path; a dangling link counts.
bool XpFsEntryExists(const XpString& path);
// path is a folder, following links.
bool XpFsIsFolder(const XpString& path);
// path is a folder and not a link; a trailing '/' does not make a link
// count as its folder.
bool XpFsIsRealFolder(const XpString& path);
// path without its trailing '/' ("/" stays): lstat, unlink and rename then
// see a link itself, where "link/" would name the folder it points to.
XpString XpFsEntryPath(const XpString& path);
// No write permission bit is set.
inline bool XpFsModeIsReadOnly(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// Creates an empty file that must not exist yet, and closes it; the results
// of XpCreateNewFile.
[[nodiscard]] XpResult XpFsCreateNewFile(const XpString& path);

// Renames without ever replacing: renameat2(RENAME_NOREPLACE), or where the
// file system refuses the flag a check for the destination, then rename.
// 0 or the errno of the failure.
int XpFsRenameNoReplace(const XpString& from, const XpString& to);
// A plain rename that replaces an existing file. 0 or the errno.
int XpFsRenameReplace(const XpString& from, const XpString& to);
// unlink / rmdir; 0 or the errno.
int XpFsUnlink(const XpString& path);
int XpFsRmdir(const XpString& path);

// The canonical form of path (links resolved); "" when it cannot be
// resolved.
XpString XpFsRealPath(const XpString& path);
// The canonical form of the folder that holds path, joined with the path's
// last component, which is not resolved: the entry itself, even when it is
// a link. "" when the folder cannot be resolved.
XpString XpFsRealParentPath(const XpString& path);
