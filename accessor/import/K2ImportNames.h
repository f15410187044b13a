#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// Names of the folders an import writes into: a folder per album named
// after its title and a folder per shooting date, made unique with "(n)"
// among existing paths and the folders already chosen in the same run (the
// reserved list: full folder paths with a trailing '/').

// The longest folder path, parent and name, that an album folder may have,
// in UTF-16 units.
inline constexpr int32_t kK2MaxFolderPathUnits = 240;
// The longest file name the file system takes, in UTF-8 bytes.
inline constexpr int32_t kK2MaxFileNameBytes = 255;

// The short date in the user's locale with every character that a camera
// file name may not hold turned into '-'; "" for an invalid date.
XpString K2MakeDateFolderName(const XpDateTime& date);

// True when something exists at path, or when reserved (may be null) holds
// path followed by '/' in any letter case.
bool K2IsPathTaken(const XpString& path, const XpStringVector* reserved);

// name when parent/name is not taken, else the first free "name(n)",
// n = 1, 2, ... An empty name is always taken. A candidate longer than
// kK2MaxFileNameBytes has name cut at a character boundary to make room
// for its number.
XpString K2MakeUniqueName(const XpString& parent, const XpString& name,
                          const XpStringVector* reserved);

// The folder for an album with this title under parent: parent + "/" +
// name + "/". The name is the title with every character a camera file
// name may not hold, and every control character, turned into '-' ("." and
// ".." become "-"), cut to kK2MaxFolderPathUnits minus the parent's length
// (never inside a surrogate pair) and further to kK2MaxFileNameBytes, then
// made unique.
XpString K2MakeDestinationFolderPath(const XpString& title, const XpString& parent,
                                     const XpStringVector* reserved);

// True for a ".MPG" file (any case) with a ".THM" file of the same base
// name beside it.
bool K2IsMovieWithThumbnail(const XpString& path);
