#pragma once

#include "imaging/pixmap/XpPixmapTypes.h"

// A new BGR 24-bit pixmap without handle holding source's pixels converted
// from YCbCr, owned by the caller; null when it cannot be made.
XpPixmapBGR24NoHandle* XpPixmapYCbCrToBGR(const XpPixmapYCbCr444& source);
