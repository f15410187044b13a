#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Reads one value of a settings file in the INI layout: "[Section]" lines,
// each followed by "Key=Value" lines.
//
// The file is UTF-8 (a leading byte-order mark is skipped) or UTF-16LE with
// its byte-order mark. Section and key names match without case after their
// blanks are trimmed; lines whose first non-blank is ';' are comments. The
// value is trimmed, and one pair of enclosing double or single quotes is
// removed. The first matching key in the file wins.
//
// The result holds at most capacity - 1 units (none for capacity 0). A file
// that cannot be read, a missing section or a missing key gives
// defaultValue, cut the same way.
XpString XpGetPrivateProfileString(const XpString& section, const XpString& key,
                                   const XpString& defaultValue, uint32_t capacity,
                                   const XpString& path);
