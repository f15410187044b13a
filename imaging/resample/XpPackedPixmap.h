#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

inline constexpr int32_t kXpBgrChannels = 3;
inline constexpr int32_t kXpBgraChannels = 4;

// The channel count of a one-plane pixmap of packed 8-bit pixels the
// resampling works on: 3 for BGR 24-bit (with or without a bitmap handle),
// 4 for BGRA 32-bit, 0 for any other kind. Allocated or not.
int32_t XpPackedChannelCount(const XpPixmapBase& pixmap);

// Copies the pixels of each row (not the row padding) from one plane to
// another of the same size and channel count.
void XpCopyPackedRows(const XpPlaneBase& target, const XpPlaneBase& source, int32_t channels);

// Gives pixmap the size and pixels of replacement (same channel count).
// The new contents are built in a fresh pixmap of pixmap's type and then
// swapped in, so on failure the allocation's code is returned and pixmap
// keeps its size and pixels untouched. kXpErrGeneric when pixmap is not
// one of the BGR 24-bit or BGRA 32-bit pixmap types.
[[nodiscard]] XpResult XpReplacePixmapContents(XpPixmapBase& pixmap,
                                               const XpPixmapBase& replacement);
