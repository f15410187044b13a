#pragma once

#include <cstdint>

#include "imaging/geometry/XpRect.h"
#include "imaging/pixmap/XpPixmapTypes.h"

// Conversions between the YCbCr pixmap kinds. Each returns a new pixmap that
// the caller owns, or null when it cannot be made.

// The pixels of rect, first clamped to the source; null when nothing is left.
XpPixmapYCbCr444* XpPixmapCropCopy(const XpPixmapYCbCr444& source, XpRect rect);

// Every pixel takes its own Y and the chroma at (x / 2, y / 2), the last
// chroma column or row beyond the chroma plane's edge. Without chroma (a
// source 1 pixel wide or high) Cb and Cr are the neutral 128.
XpPixmapYCbCr444* XpPixmapYCbCr420To444(const XpPixmapYCbCr420& source);

// Packed 4:2:2 rows of Y0 Cb Y1 Cr to planar: Y from every second byte,
// chroma from the even rows only (row 2k gives chroma row k), not averaged.
// A pitch of 0 means 2 x width; a pitch below that or a negative one gives
// null.
XpPixmapYCbCr420* XpPixmapYCbCr422To420(const uint8_t* bytes, int32_t width, int32_t height,
                                        int32_t pitch);
