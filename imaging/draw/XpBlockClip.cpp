#include "imaging/draw/XpBlockClip.h"

#include <algorithm>

namespace {

// Cuts the larger overhang below 0 of start and otherStart off both, and
// off length. 64-bit: the sums may pass the 32-bit range.
void CutLeading(int64_t& start, int64_t& otherStart, int64_t& length) {
  const int64_t cut = std::max<int64_t>({0, -start, -otherStart});
  start += cut;
  otherStart += cut;
  length -= cut;
}

}  // namespace

bool XpClipBlock(const XpPixmapBase& destination, const XpPixmapBase& source, XpBlock& block) {
  int64_t dx = block.dx;
  int64_t dy = block.dy;
  int64_t sx = block.sx;
  int64_t sy = block.sy;
  int64_t width = block.width;
  int64_t height = block.height;
  CutLeading(dx, sx, width);
  CutLeading(dy, sy, height);
  width = std::min<int64_t>({width, destination.width - dx, source.width - sx});
  height = std::min<int64_t>({height, destination.height - dy, source.height - sy});
  if (width <= 0 || height <= 0) {
    return false;
  }
  // Every value now lies inside a pixmap, so it fits 32 bits.
  block = XpBlock{static_cast<int32_t>(dx), static_cast<int32_t>(dy),
                  static_cast<int32_t>(width), static_cast<int32_t>(height),
                  static_cast<int32_t>(sx), static_cast<int32_t>(sy)};
  return true;
}
