#pragma once

#include "imaging/pixmap/XpPixmapTypes.h"

// A new YCbCr 4:4:4 pixmap holding source's pixels in full-range YCbCr
// (Y = 0.299 R + 0.587 G + 0.114 B, chroma centred on 128, each rounded to
// nearest and clamped to 0-255), owned by the caller. Null for a source that
// is not an allocated BGR 24-bit pixmap or when memory runs out.
XpPixmapYCbCr444* XpPixmapYCbCrFromBGR(const XpPixmapBase& source);
