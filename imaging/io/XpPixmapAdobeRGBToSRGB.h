#pragma once

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

// Converts a BGR 24-bit pixmap in place from Adobe RGB (1998) to sRGB: each
// channel is made linear, red and blue are mixed with green in fixed point
// (10 fractional bits; every matrix row sums to 1024, so greys stay grey),
// clamped and encoded as sRGB. kXpErrBadArgument for a pixmap that is not
// an allocated BGR 24-bit one.
[[nodiscard]] XpResult XpPixmapAdobeRGBToSRGB(XpPixmapBase& pixmap);
