#pragma once

#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/result/XpResult.h"

// Converts a BGR 24-bit pixmap in place from sRGB to Adobe RGB (1998): each
// channel is widened to 16 bits and made linear, red and blue are mixed
// with green in fixed point (10 fractional bits), and the result is encoded
// as Adobe RGB and brought back to 8 bits. kXpErrBadArgument for a pixmap
// that is not an allocated BGR 24-bit one.
[[nodiscard]] XpResult ConvertToAdobeRgb(XpPixmapBase& pixmap);

// The same for a YCbCr 4:4:4 pixmap: each pixel is taken to 16-bit RGB
// (chroma centred on 128 x 257), converted as above without the return to
// 8 bits, and taken back to YCbCr. kXpErrBadArgument for a pixmap without
// pixels.
[[nodiscard]] XpResult ConvertYCbCrToAdobeRgb(XpPixmapYCbCr444& pixmap);
