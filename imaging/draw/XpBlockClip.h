#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// A width x height block from (sx, sy) of one pixmap to (dx, dy) of
// another.
struct XpBlock {
  int32_t dx = 0;
  int32_t dy = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t sx = 0;
  int32_t sy = 0;
};

// Shrinks block so that it lies inside both pixmaps: a negative dx or sx
// cuts the larger of the two overhangs off the left of both rectangles,
// likewise for the top; the right and bottom are cut by the larger
// overshoot of either pixmap. False, block unspecified, when nothing is
// left.
bool XpClipBlock(const XpPixmapBase& destination, const XpPixmapBase& source, XpBlock& block);
