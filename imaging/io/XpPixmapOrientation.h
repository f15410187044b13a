#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Exif orientations: how the stored picture is shown.
inline constexpr int32_t kXpOrientationUpright = 1;
inline constexpr int32_t kXpOrientationMirrored = 2;
inline constexpr int32_t kXpOrientationHalfTurn = 3;
inline constexpr int32_t kXpOrientationFlipped = 4;
inline constexpr int32_t kXpOrientationTransposed = 5;
inline constexpr int32_t kXpOrientationQuarterClockwise = 6;
inline constexpr int32_t kXpOrientationTransversed = 7;
inline constexpr int32_t kXpOrientationQuarterCounterClockwise = 8;

// Whether the orientation changes the pixmap shown (2-8: a mirror, a turn
// or both); 1 and values outside 1-8 leave it as stored.
bool XpOrientationNeedsTurn(int32_t orientation);

// Whether the orientation exchanges width and height (5-8).
bool XpOrientationSwapsSides(int32_t orientation);

// The orientation that undoes the given one: 6 and 8 undo each other, every
// other orientation undoes itself.
int32_t XpOrientationInverse(int32_t orientation);

// Whether the pixmap holds BGR 24-bit pixels (with or without bitmap handle).
bool XpPixmapIsBGR24(const XpPixmapBase& pixmap);

// A new BGR 24-bit pixmap without bitmap handle holding the source as the
// orientation shows it. Source pixel (x, y) of a W x H picture lands at:
// 2 (W - 1 - x, y); 3 (W - 1 - x, H - 1 - y); 4 (x, H - 1 - y); 5 (y, x);
// 6 (H - 1 - y, x), a quarter clockwise; 7 (H - 1 - y, W - 1 - x);
// 8 (y, W - 1 - x), a quarter counter-clockwise. Null for another
// orientation, a source that is not an allocated BGR 24-bit pixmap, or when
// memory runs out.
XpPixmapBase* XpPixmapTurnForOrientation(const XpPixmapBase& source, int32_t orientation);
