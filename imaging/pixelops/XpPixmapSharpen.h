#pragma once

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

// 3 x 3 sharpening of a BGR 24-bit pixmap, per channel: v = 40 c - (sum of
// the eight neighbours), the result is v >> 5 clamped to a byte. The first
// and last row and column are copied unchanged.

// Sharpens source into destination. kXpErrGeneric, with nothing written,
// unless both are allocated BGR 24-bit pixmaps of the same size.
[[nodiscard]] XpResult XpPixmapSharpen(XpPixmapBase& destination, const XpPixmapBase& source);

// Sharpens in place through a temporary pixmap. kXpErrGeneric for a pixmap
// that is not an allocated BGR 24-bit one; the temporary's allocation
// failure as it is. On failure the pixmap is unchanged.
[[nodiscard]] XpResult XpPixmapSharpen(XpPixmapBase& pixmap);
