#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Exif orientations that a turn handles; mirrored ones are left alone.
inline constexpr int32_t kXpOrientationHalfTurn = 3;
inline constexpr int32_t kXpOrientationQuarterClockwise = 6;
inline constexpr int32_t kXpOrientationQuarterCounterClockwise = 8;

// Whether the orientation asks for a turn.
bool XpOrientationNeedsTurn(int32_t orientation);

// Whether the pixmap holds BGR 24-bit pixels (with or without bitmap handle).
bool XpPixmapIsBGR24(const XpPixmapBase& pixmap);

// A new BGR 24-bit pixmap without bitmap handle holding the source turned
// by the orientation: 3 half a turn; 6 a quarter clockwise (output column
// H - 1 - y, row x takes source (x, y)); 8 a quarter counter-clockwise
// (output column y, row W - 1 - x takes source (x, y)). Null for another
// orientation, a source that is not an allocated BGR 24-bit pixmap, or when
// memory runs out.
XpPixmapBase* XpPixmapTurnForOrientation(const XpPixmapBase& source, int32_t orientation);
