#include "imaging/draw/XpPixmapCopyRect24.h"

#include <cstring>

#include "imaging/draw/XpBlockClip.h"
#include "imaging/resample/XpPackedPixmap.h"

namespace {

bool IsBgr(const XpPixmapBase& pixmap) {
  return pixmap.IsAllocated() && XpPackedChannelCount(pixmap) == kXpBgrChannels;
}

}  // namespace

void XpPixmapCopyRect24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t width,
                        int32_t height, const XpPixmapBase& source, int32_t sx, int32_t sy) {
  if (!IsBgr(destination) || !IsBgr(source)) {
    return;
  }
  XpBlock block{dx, dy, width, height, sx, sy};
  if (!XpClipBlock(destination, source, block)) {
    return;
  }
  const XpPlaneBase& target = *destination.GetPlane(0);
  const XpPlaneBase& from = *source.GetPlane(0);
  const size_t rowBytes = static_cast<size_t>(block.width) * kXpBgrChannels;
  const size_t targetOffset = static_cast<size_t>(block.dx) * kXpBgrChannels;
  const size_t sourceOffset = static_cast<size_t>(block.sx) * kXpBgrChannels;
  // Within one pixmap the block may overlap itself: moving down, the rows
  // go bottom first.
  const bool bottomFirst = &destination == &source && block.dy > block.sy;
  for (int32_t i = 0; i < block.height; ++i) {
    const int32_t row = bottomFirst ? block.height - 1 - i : i;
    std::memmove(target.Row(block.dy + row) + targetOffset, from.Row(block.sy + row) + sourceOffset,
                 rowBytes);
  }
}
