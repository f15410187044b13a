#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text/XpString.h"

// A version text ("Version.txt"): at most its first 12 bytes, as UTF-8,
// ending at the first CR, LF or zero byte, converted to at most 16 units.
// Versions compare ordinally.
inline constexpr size_t kSetupVersionBytes = 12;
inline constexpr int32_t kSetupVersionUnits = 16;

// True when the file opened for reading and at least one character came
// from it; text is "" otherwise.
bool ReadVersionText(const XpString& path, XpString* text);
