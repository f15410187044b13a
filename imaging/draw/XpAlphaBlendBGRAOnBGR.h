#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Blends a width x height block from (sx, sy) of a BGRA 32-bit source onto
// (dx, dy) of a BGR 24-bit destination, clipped like the block copy
// (XpClipBlock). With a the source alpha: 0 keeps the destination pixel,
// 255 copies blue, green and red, anything else makes each channel
// d + (((s - d) * a) >> 8), the shift taken on the signed product (it
// rounds towards minus infinity). Other kinds, or an empty block, do
// nothing.
void XpAlphaBlendBGRAOnBGR(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t width,
                           int32_t height, const XpPixmapBase& source, int32_t sx, int32_t sy);
