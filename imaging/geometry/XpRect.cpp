#include "imaging/geometry/XpRect.h"

#include <algorithm>

#include "imaging/geometry/XpFitSize.h"

namespace {

// The top-left corner that centres a size in outer.
void PlaceCentred(XpRect& rect, const XpRect& outer, int32_t width, int32_t height) {
  rect.left = outer.left + (outer.Width() - width) / 2;
  rect.top = outer.top + (outer.Height() - height) / 2;
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

}  // namespace

bool XpRect::Intersect(const XpRect& a, const XpRect& b) {
  left = std::max(a.left, b.left);
  top = std::max(a.top, b.top);
  right = std::min(a.right, b.right);
  bottom = std::min(a.bottom, b.bottom);
  if (IsEmpty()) {
    *this = XpRect();
    return false;
  }
  return true;
}

void XpRect::CenterIn(const XpRect& outer) { PlaceCentred(*this, outer, Width(), Height()); }

void XpRect::FitAndCenterIn(const XpRect& outer) {
  int32_t fitWidth = 0;
  int32_t fitHeight = 0;
  XpFitSizeInside(Width(), Height(), outer.Width(), outer.Height(), fitWidth, fitHeight);
  PlaceCentred(*this, outer, fitWidth, fitHeight);
}
