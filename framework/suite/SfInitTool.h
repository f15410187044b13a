#pragma once

#include <cstdint>

#include "framework/app/XfAppRegistry.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The per-user "InitTool" lists of the suite's programs: files that the
// program's initialisation tool renames or deletes on its next run, and
// lists that programs append to so that a later clean-up finds what they
// made. Everything lives under the current user:
//   program key   "Software\Kavo Corporation\<program>"
//   InitTool key  program key + "\InitTool\1.0"
//   a list        a subkey of the InitTool key holding the XpRegistry
//                 string list "<list>Count", "<list>0", "<list>1", ...
// Failures to open a key end an operation quietly.

XpString SfInitToolGetAppKeyPath(const XpString& programKeyName);
XpString SfInitToolGetKeyPath(const XpString& programKeyName);
// InitTool key + "\" + subkeyName, opened for reading and writing (made
// when missing); null when it cannot be opened.
XfRegistryKey SfInitToolOpenKey(const XpString& programKeyName, const XpString& subkeyName);

// Appends value to the list unless an entry equals it exactly (case
// matters). kXpErrGeneric when the key cannot be opened; otherwise the
// result of writing the list back (kXpOk when nothing had to be written).
[[nodiscard]] XpResult SfInitToolAddListEntry(const XpString& programKeyName,
                                              const XpString& subkeyName, const XpString& listName,
                                              const XpString& value);
// Appends the list's entries to list; nothing when the key cannot be
// opened. Always kXpOk.
[[nodiscard]] XpResult SfInitToolGetList(const XpString& programKeyName, XpStringVector* list,
                                         const XpString& subkeyName, const XpString& listName);

// The rename-and-delete pass over the subkey:
//  - every entry of "Rename", from the last to the first, moves to its own
//    path with "_" and its index + 1 added to the leaf name
//    (SfInitToolSetNumber); when the move fails the target file is deleted
//    and the move tried once more (a folder in the way stays);
//  - every file of "Delete" is deleted, from the last to the first;
//  - the subkey is deleted with its tree.
// Entries that are not absolute paths, and entries whose new name would be
// their own, are skipped. Single move and delete failures are not
// reported; the result is that of deleting the subkey (kXpErrGeneric when
// it is missing).
[[nodiscard]] XpResult SfInitToolRunRenameAndDelete(const XpString& programKeyName,
                                                    const XpString& subkeyName);

// The number that ends the leaf name just before its last '.': the run of
// decimal digits there, when at least two characters precede it. 0 without
// a '.', without digits there, with fewer than two characters before them,
// or for a number above INT32_MAX.
int32_t SfInitToolGetNumber(const XpString& fileName);
// Puts "_" and number before the last '.' of the leaf name, or after a leaf
// without '.'. A leaf whose only '.' is its first character stays as it is.
// Folders in the path are never changed.
void SfInitToolSetNumber(XpString* fileName, int32_t number);

// After each side gets a trailing '\', one is a prefix of the other,
// without regard to case ('/' counts as '\'): keyPath is a listed key, lies
// inside one or on the way to one.
bool SfInitToolIsInList(const XpStringVector& keyPaths, const XpString& keyPath);
// Deletes, below the current-user key at keyPath, every subkey and value
// that SfInitToolIsInList does not match against keep, descending into the
// subkeys it matches. Names are gathered first and deleted afterwards.
void SfInitToolCleanKeyTree(const XpString& keyPath, const XpStringVector& keep);
// Resets the program's per-user settings, keeping "InitTool",
// "MusicTransfer" and "K1Accessor". The flag works inverted to its name,
// and an outside tool relies on that: keepFolders false also keeps
// "Browser\1.0\RegisteredFolders" and "Importer\DCF\1.0\DestDir"; true
// deletes them. Always kXpOk.
[[nodiscard]] XpResult SfInitToolResetSettings(const XpString& programKeyName, bool keepFolders);
