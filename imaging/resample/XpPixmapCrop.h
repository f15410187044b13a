#pragma once

#include "imaging/geometry/XpRect.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/result/XpResult.h"

// Crops of BGR 24-bit pixmaps (with or without a bitmap handle).

// Replaces the pixmap by the pixels of rect. kXpErrGeneric, the pixmap
// unchanged, for a pixmap of another kind, a rectangle reaching beyond the
// pixmap, or an empty or inverted one. When the temporary copy cannot be
// allocated its code is returned with the pixmap unchanged; when the
// pixmap's new block cannot, its code is returned and the pixmap is empty.
[[nodiscard]] XpResult XpPixmapCrop(XpPixmapBase& pixmap, XpRect rect);

// A new pixmap holding the pixels of rect, first clamped to the source;
// the caller owns it. Null for a source of another kind or without pixels,
// for a rectangle that is empty once clamped, or when memory runs out.
XpPixmapBGR24NoHandle* XpPixmapCropCopy(const XpPixmapBase& source, XpRect rect);
