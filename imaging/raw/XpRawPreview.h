#pragma once

#include <cstdint>

#include "imaging/geometry/XpSize.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// Steps shared by the raw readers, which show the JPEG preview embedded in
// a raw file.

// The thumbnail box of ReadOrientedPixmap.
inline constexpr int32_t kXpRawThumbnailWidth = 160;
inline constexpr int32_t kXpRawThumbnailHeight = 120;

// Whether an Exif orientation swaps width and height (5 to 8).
bool XpRawOrientationSwaps(uint32_t orientation);

// Crops the preview to the centred rectangle of picture's aspect ratio
// fitted inside it; left and top truncate toward zero. kXpOk, unchanged,
// when the fit already fills the preview or picture has no size.
[[nodiscard]] XpResult XpRawCropToPicture(XpPixmapBase& preview, const XpSize& picture);

// Reads count bytes at the current position; a short read is
// kXpErrEndOfFile.
[[nodiscard]] XpResult XpRawReadExactly(XpAbstractFile& file, void* buffer, uint64_t count);

// The divisor of ReadPixmap applied: (width / scale, height / scale) when
// scale is not 1 and both are at least 1. The resize's result.
[[nodiscard]] XpResult XpRawApplyScale(XpPixmapBase& pixmap, int32_t scale);

// Resized to its fit inside the box when wider or higher than it.
[[nodiscard]] XpResult XpRawShrinkIntoBox(XpPixmapBase& pixmap, const XpSize& box);
