#pragma once

#include <cstdint>

#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

class XpAbstractDir;
class XpDCFRootDir;

// The DCF naming rules of a camera's memory: numbered folders under a root
// folder, numbered files inside them. Names are tested unit by unit over
// their UTF-16 text, by code value: no locale, no case folding.

// Which root folder: 0 pictures "DCIM", 1 movies "MP_ROOT", 2 the maker's
// "VELDRA". Any other value names no folder.
using XpDCFRootKind = int32_t;
inline constexpr XpDCFRootKind kXpDCFRootImage = 0;
inline constexpr XpDCFRootKind kXpDCFRootMovie = 1;
inline constexpr XpDCFRootKind kXpDCFRootMaker = 2;

// Answered by the number functions for a name too short to hold its digits.
inline constexpr int32_t kXpDCFNoNumber = -1;

// Eight name characters ('0'-'9', 'a'-'z', 'A'-'Z', '_'): '1'-'9', two
// digits, then five free ones ("100ZXDCF").
bool XpDCFIsDirectoryName(const XpString& name);
// A base name without extension of eight name characters whose last four
// are digits, not all '0' ("DSC00001").
bool XpDCFIsFileName(const XpString& baseName);
// Characters 1-3 as a decimal number. The characters are not tested: call
// it on a name that passed XpDCFIsDirectoryName.
int32_t XpDCFGetDirectoryNumber(const XpString& name);
// Characters 5-8 as a decimal number, untested as above.
int32_t XpDCFGetFileNumber(const XpString& baseName);

// The root folder's name; "" for an unknown kind.
XpString XpDCFGetRootName(XpDCFRootKind kind);
// The root folder of that kind on the volume root volumePath.
XpString XpDCFGetRootPath(const XpString& volumePath, XpDCFRootKind kind);
// One of the three root folders exists on the volume (stat, which follows
// links and, on FAT, ignores case).
bool XpDCFHasRootFolder(const XpString& volumePath);
// The child folder of parent named exactly as the root of that kind; empty
// when parent is null or holds none.
XpSharedPtr<XpDCFRootDir> XpDCFOpenRootDir(XpAbstractDir* parent, XpDCFRootKind kind);
// "DCIM" and "MP_ROOT" of the volume; with create a missing root is made
// first. Empty when the root can't be opened.
XpSharedPtr<XpDCFRootDir> XpDCFGetImageRoot(const XpString& volumePath, bool create);
XpSharedPtr<XpDCFRootDir> XpDCFGetMovieRoot(const XpString& volumePath, bool create);
