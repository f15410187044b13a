#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"

// Decodes a device-independent bitmap: a whole bitmap file (starting with
// "BM") or the information header followed by the pixels. Bottom-up,
// uncompressed (or with the three colour masks, which are not applied)
// bitmaps of 24 bits give a BGR 24-bit pixmap with bitmap handle
// (XpPixmapBGR24), of 32 bits a BGRA 32-bit one (XpPixmapBGRA32); the
// pixmap is top-down. The pixels start at the file header's pixel offset
// when that lies behind the headers and the rows fit there, else right
// behind the information header (and its three masks, for a 40-byte header
// with compression 3). Everything else, and any size or offset that does
// not fit count, gives null. The caller owns the pixmap.
XpPixmapBase* XpDecodeBitmap(const uint8_t* bytes, size_t count);
