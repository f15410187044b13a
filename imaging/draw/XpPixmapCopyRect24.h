#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Copies a width x height block from (sx, sy) of source to (dx, dy) of
// destination, both BGR 24-bit, clipped to both pixmaps (XpClipBlock).
// Anything else, or an empty block, copies nothing.
void XpPixmapCopyRect24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t width,
                        int32_t height, const XpPixmapBase& source, int32_t sx, int32_t sy);
