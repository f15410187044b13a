#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixmap/XpPlane.h"

enum class XpResampleDirection { kHorizontal, kVertical };

// Parallel lines of a one-directional pass. Position p of a line, lane l
// (one byte of a pixel, or one byte of a whole row for vertical passes), is
// at base + p * step + l, in source and target alike.
struct XpLineGroup {
  const uint8_t* SourceAt(int64_t position) const {
    return source + static_cast<ptrdiff_t>(position) * sourceStep;
  }
  uint8_t* TargetAt(int64_t position) const {
    return target + static_cast<ptrdiff_t>(position) * targetStep;
  }

  const uint8_t* source;
  ptrdiff_t sourceStep;
  uint8_t* target;
  ptrdiff_t targetStep;
  ptrdiff_t lanes;
};

// Source and target lengths of a pass along the direction.
inline int32_t XpSourceLength(const XpPlaneBase& source, XpResampleDirection direction) {
  return direction == XpResampleDirection::kHorizontal ? source.width : source.height;
}
inline int32_t XpTargetLength(const XpPlaneBase& target, XpResampleDirection direction) {
  return direction == XpResampleDirection::kHorizontal ? target.width : target.height;
}

// Whether source and target have the same length across the direction, as
// every pass needs.
inline bool XpCrossLengthsAgree(const XpPlaneBase& source, const XpPlaneBase& target,
                                XpResampleDirection direction) {
  return direction == XpResampleDirection::kHorizontal ? source.height == target.height
                                                       : source.width == target.width;
}

// Calls visit for every group of lines of a pass from source to target with
// packed pixels of the given channel count: one group per row horizontally,
// one group of whole rows vertically. Rows are addressed through the stride.
template <typename Visit>
void XpForEachLineGroup(const XpPlaneBase& source, const XpPlaneBase& target, int32_t channels,
                        XpResampleDirection direction, Visit&& visit) {
  if (direction == XpResampleDirection::kVertical) {
    visit(XpLineGroup{source.pixels, static_cast<ptrdiff_t>(source.stride), target.pixels,
                      static_cast<ptrdiff_t>(target.stride),
                      static_cast<ptrdiff_t>(source.width) * channels});
    return;
  }
  for (int32_t y = 0; y < source.height; ++y) {
    visit(XpLineGroup{source.Row(y), channels, target.Row(y), channels, channels});
  }
}
