#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/text/XpString.h"

// Bitmap id of module, decoded (XpDecodeBitmap); null when the module has
// no such bitmap or it cannot be decoded. The caller owns the pixmap.
XpPixmapBase* XpPixmapLoadBitmapResource(const XpResourceModule& module, uint32_t id);

// The .bmp file at path (absolute), read whole and decoded; null when it
// cannot be read or decoded. The caller owns the pixmap.
XpPixmapBase* XpPixmapLoadBitmapFile(const XpString& path);
