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

// Gives pixmap the size and pixels of replacement (same channel count). On
// failure the allocation's code is returned and the pixmap keeps its old
// size and pixels, saved in a copy while its block is replaced; only when
// memory runs out again while they are put back is it left empty.
XpResult XpReplacePixmapContents(XpPixmapBase& pixmap, const XpPixmapBase& replacement);
