#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Existence and attribute tests of a single path, the two attribute setters
// and the exclusive creation of an empty file. The tests answer false when
// the path cannot be read. '*' and '?' are ordinary name characters.

// An entry exists (a dangling symbolic link too); isDir, when given, says
// whether it is a folder.
bool XpPathExists(const XpString& path, bool* isDir = nullptr);
// An entry exists and is not a folder.
bool XpFileExists(const XpString& path);
bool XpDirectoryExists(const XpString& path);
// The path's folder holds an entry named as the path's base name, or
// beginning with the base name and a '.', compared exactly.
bool XpPathExistsWithAnyExtension(const XpString& path);

// Hidden: the name begins with '.', or the FAT hidden attribute is set.
bool XpFileIsHidden(const XpString& path);
// The FAT system attribute is set.
bool XpFileIsSystem(const XpString& path);
// No write permission bit is set.
bool XpFileIsReadOnly(const XpString& path);

// On FAT sets or clears the hidden attribute. Elsewhere only the name can
// say "hidden": kXpOk when it already says what is asked, else
// kXpErrNotSupportedByOs. kXpErrFileNotFound when the path cannot be read,
// kXpErrAccessDenied when the change is refused.
[[nodiscard]] XpResult XpFileSetHidden(const XpString& path, bool hidden);
// Read-only clears every write bit; writable adds the write bits the umask
// allows.
[[nodiscard]] XpResult XpFileSetReadOnly(const XpString& path, bool readOnly);

// Creates an empty file that must not exist yet, and closes it.
[[nodiscard]] XpResult XpCreateNewFile(const XpString& path);
// The result of XpCreateNewFile for the errno of a failed creation.
[[nodiscard]] XpResult XpCreateNewFileResultFromErrno(int error);
