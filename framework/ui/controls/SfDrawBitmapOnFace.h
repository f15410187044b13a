#pragma once

#include <cstdint>

#include "framework/ui/host/XfUiTheme.h"
#include "imaging/pixmap/XpPixmapBase.h"

// Draws rows top to top + picture.height of bitmap into picture, a 24-bit
// pixmap as wide as bitmap: blended over the face colour from a 32-bit
// bitmap, copied from a 24-bit one.
void SfDrawBitmapOnFace(XpPixmapBase& picture, const XpPixmapBase& bitmap, int32_t top,
                        XfColour face);
