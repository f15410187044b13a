#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

// Box reduction of a BGR 24-bit source by factor 2, 4, 8 or 16 into
// destination (any BGR 24-bit pixmap type), which is allocated here at
// ceil(width / factor) x ceil(height / factor). Each destination pixel is
// the average of its factor x factor block: a full block's sum shifted
// right, a block cut by the right or bottom edge divided by its own pixel
// count. kXpErrGeneric for another factor, another pixmap kind, an empty
// source or one pixmap as both; the allocation's code when it fails.
[[nodiscard]] XpResult XpPixmapReduce24(const XpPixmapBase& source, XpPixmapBase& destination,
                                        int32_t factor);
