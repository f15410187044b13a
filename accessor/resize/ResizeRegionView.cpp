#include "accessor/resize/ResizeRegionView.h"

#include <cstddef>

namespace {

constexpr size_t kBgrBytes = 3;

}  // namespace

ResizeRegionView::ResizeRegionView(const XpPixmapBase& pixmap, const XpRect& rect)
    : pixmap_(pixmap) {
  const XpPlaneBase& whole = *pixmap.GetPlane(0);
  plane_.pixels = whole.Row(rect.top) + static_cast<size_t>(rect.left) * kBgrBytes;
  plane_.width = rect.Width();
  plane_.height = rect.Height();
  plane_.stride = whole.stride;
  block = pixmap.block;
  width = rect.Width();
  height = rect.Height();
}
