#pragma once

#include "platform/text/XpString.h"

// Free functions that take paths apart and put them together. '/' is the
// only separator; '\' is an ordinary character. Nothing here touches the
// file system except XpPathGetRoot and XpPathRelativeToRoot, which read the
// mount table, and XpPathMakeAbsolute, which reads the working folder.

inline constexpr char16_t kXpPathSeparator = u'/';

// Results of XpPathGetRelation.
inline constexpr int kXpPathInside = 0;     // a lies inside b
inline constexpr int kXpPathContains = 1;   // b lies inside a
inline constexpr int kXpPathSame = 2;
inline constexpr int kXpPathUnrelated = 3;

// The extension of the last component with its dot; "" when there is none.
XpString XpPathGetExtension(const XpString& path);
// The last component, ignoring trailing separators ("/a/b//" gives "b").
XpString XpPathGetLeafName(const XpString& path);
// The text after the last separator; "" after a trailing separator.
XpString XpPathGetFileName(const XpString& path);
// Folder (with its trailing '/'), name without extension and extension; each
// output is optional. One trailing separator is ignored, so "/a/b/" gives
// "/a/" and "b". ".profile" has an empty name and the extension ".profile".
void XpPathSplit(const XpString& path, XpString* dir, XpString* name, XpString* ext);
XpString XpPathGetDirectory(const XpString& path);
XpString XpPathGetBaseName(const XpString& path);
// dir, a '/' unless dir is empty or ends with one, then name without one
// leading '/'.
XpString XpPathJoin(const XpString& dir, const XpString& name);
// Appends '/' unless the path ends with one ("" becomes "/").
void XpPathAddTrailingBackslash(XpString& path);
// Removes one trailing '/'.
void XpPathRemoveTrailingBackslash(XpString& path);
// How two paths relate, compared case-sensitively on component boundaries:
// kXpPathSame, kXpPathInside, kXpPathContains or kXpPathUnrelated.
int XpPathGetRelation(const XpString& a, const XpString& b);

// The mount point that holds path, with a trailing '/': the longest mount
// point of the live mount table on a component boundary ("/" holds every
// absolute path). "" for a path that does not begin with '/'.
XpString XpPathGetRoot(const XpString& path);
// The path after its root, without leading separators ("" for the root
// itself); a relative path is returned as it is.
XpString XpPathRelativeToRoot(const XpString& path);

// path made absolute against the working folder, with "." and ".." taken
// out ("pc/../a.JPG" in /home/me gives "/home/me/a.JPG"); an empty or
// absolute path, or any path when the working folder cannot be read, comes
// back as it is. Reads the working folder.
XpString XpPathMakeAbsolute(const XpString& path);

// The characters a name on the camera's FAT may not hold:  \ / : , ; * ? " < > |
const char16_t* XpGetInvalidFileNameChars();
// text without leading white space.
XpString XpTrimLeadingSpaces(const XpString& text);
// text without leading and trailing white space and dots.
XpString XpTrimSpacesAndDots(const XpString& text);
