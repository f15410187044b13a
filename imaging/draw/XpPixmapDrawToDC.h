#pragma once

#include <cstdint>
#include <functional>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/screen/IXpDrawSurface.h"

// Scaling modes of XpPixmapDrawToDC.
inline constexpr int32_t kXpDrawNearest = 0;
inline constexpr int32_t kXpDrawBilinear = 1;
inline constexpr int32_t kXpDrawBoxThenBilinear = 3;

// Draws the region (sx, sy, sw, sh) of a BGR 24-bit pixmap onto the
// rectangle (dx, dy, dw, dh) of surface, only where it meets the surface's
// clip box (the visible rectangle).
//
// At equal sizes the visible rectangle is copied 1:1 from the matching
// source pixels (those outside the pixmap are left out). Otherwise the
// visible part is scaled into a temporary pixmap and copied from there.
// The scaling is the shrink mode's when the picture shrinks both ways, the
// enlarge mode's when it grows both ways, else the smaller of the two
// modes': 0 nearest neighbour, 3 (shrink or enlarge only) the largest box
// reduction by 2, 4, 8 or 16 that keeps the source at least the destination
// width, then bilinear, anything else bilinear. The box reduction is left
// out, and the bilinear copy reads the source, when the destination is
// wider than half the source or no wider than a 32nd of it.
//
// kXpOk also when nothing is visible; kXpErrGeneric for another pixmap
// kind; kXpErrOutOfMemory when a temporary pixmap cannot be had.
[[nodiscard]] XpResult XpPixmapDrawToDC(IXpDrawSurface& surface, int32_t dx, int32_t dy, int32_t dw,
                                        int32_t dh, const XpPixmapBase& pixmap, int32_t sx,
                                        int32_t sy, int32_t sw, int32_t sh, int32_t shrinkMode,
                                        int32_t enlargeMode);

// The same, releasing the pixmap after drawing.
[[nodiscard]] XpResult XpPixmapDrawToDC(IXpDrawSurface& surface, int32_t dx, int32_t dy, int32_t dw,
                                        int32_t dh, XpSharedPtr<XpPixmapBase> pixmap, int32_t sx,
                                        int32_t sy, int32_t sw, int32_t sh, int32_t shrinkMode,
                                        int32_t enlargeMode);

// Test seam: told the box-reduction factor of every draw in mode 3 (1 when
// the bilinear copy reads the source). An empty function removes it.
// Process-wide; not for concurrent draws.
void XpSetDrawReductionObserver(std::function<void(int32_t factor)> observer);
