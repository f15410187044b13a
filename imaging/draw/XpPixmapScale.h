#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Scaled copies between BGR 24-bit pixmaps: fill the destination rectangle
// (dx, dy, dw, dh) with the source rectangle (sx, sy, sw, sh) resized.
// Any side below 1 does nothing; equal sizes are a block copy
// (XpPixmapCopyRect24). Otherwise only the part of the destination
// rectangle that lies inside the destination pixmap and that the part of
// the source rectangle inside the source pixmap maps onto is written, and
// no pixel outside the source pixmap is read.

// Nearest neighbour, 16.16 fixed-point steps.
void XpPixmapScaleNearest24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t dw,
                            int32_t dh, const XpPixmapBase& source, int32_t sx, int32_t sy,
                            int32_t sw, int32_t sh);

// Bilinear, 11-bit weights. A source 1 pixel wide (or high) reads that
// column (or row) for both taps.
void XpPixmapScaleBilinear24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t dw,
                             int32_t dh, const XpPixmapBase& source, int32_t sx, int32_t sy,
                             int32_t sw, int32_t sh);
