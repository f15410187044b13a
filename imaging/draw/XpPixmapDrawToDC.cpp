#include "imaging/draw/XpPixmapDrawToDC.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "imaging/draw/XpPixmapReduce24.h"
#include "imaging/draw/XpPixmapScale.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPackedPixmap.h"

namespace {

constexpr int32_t kNoReduction = 1;
constexpr int32_t kReductionFactors[] = {16, 8, 4, 2};
constexpr int32_t kSmallestReduction = 2;
// No reduction goes deeper than 16: a destination this much narrower is
// scaled straight from the source.
constexpr int32_t kReductionLimit = 32;

std::function<void(int32_t)>& ReductionObserver() {
  static std::function<void(int32_t)> observer;
  return observer;
}

void Observe(int32_t factor) {
  if (ReductionObserver()) {
    ReductionObserver()(factor);
  }
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// left, top, left + width, top + height, with the edges that pass the
// 32-bit range held at its end.
XpSurfaceRect RectOf(int64_t left, int64_t top, int64_t width, int64_t height) {
  return XpSurfaceRect{ClampToInt32(left), ClampToInt32(top), ClampToInt32(left + width),
                       ClampToInt32(top + height)};
}

// The arguments of one draw.
struct Draw {
  int32_t dx;
  int32_t dy;
  int32_t dw;
  int32_t dh;
  int32_t sx;
  int32_t sy;
  int32_t sw;
  int32_t sh;
};

[[nodiscard]] XpResult DrawUnscaled(IXpDrawSurface& surface, const XpSurfaceRect& visibleIn,
                                    const XpPixmapBase& pixmap, const Draw& draw) {
  // Where the whole pixmap would land: nothing outside it is read.
  const XpSurfaceRect pixmapArea =
      RectOf(static_cast<int64_t>(draw.dx) - draw.sx, static_cast<int64_t>(draw.dy) - draw.sy,
             pixmap.width, pixmap.height);
  const XpSurfaceRect visible = visibleIn.Intersect(pixmapArea);
  if (visible.IsEmpty()) {
    return kXpOk;
  }
  const int64_t sourceX = static_cast<int64_t>(draw.sx) + visible.left - draw.dx;
  const int64_t sourceY = static_cast<int64_t>(draw.sy) + visible.top - draw.dy;
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  const uint8_t* first = plane.Row(static_cast<int32_t>(sourceY)) +
                         static_cast<size_t>(sourceX) * kXpBgrChannels;
  surface.BlitBGR(visible.left, visible.top, visible.Width(), visible.Height(), first, plane.stride);
  return kXpOk;
}

int32_t ChooseMode(const Draw& draw, int32_t shrinkMode, int32_t enlargeMode) {
  if (draw.dw < draw.sw && draw.dh < draw.sh) {
    return shrinkMode;
  }
  if (draw.dw > draw.sw && draw.dh > draw.sh) {
    return enlargeMode;
  }
  // Mixed directions: nearest or bilinear only.
  return std::min(shrinkMode, enlargeMode) == kXpDrawNearest ? kXpDrawNearest : kXpDrawBilinear;
}

// The largest factor with dw <= sw / factor; kNoReduction when the
// destination is wider than half the source or no wider than a 32nd.
int32_t ReductionFactor(int32_t dw, int32_t sw) {
  if (dw > sw / kSmallestReduction || dw <= sw / kReductionLimit) {
    return kNoReduction;
  }
  for (const int32_t factor : kReductionFactors) {
    if (dw <= sw / factor) {
      return factor;
    }
  }
  return kNoReduction;
}

// Box reduction by factor, then bilinear from the reduced pixmap with the
// source rectangle mapped onto it.
[[nodiscard]] XpResult ReduceThenScale(XpPixmapBase& target, int32_t tx, int32_t ty,
                                       const XpPixmapBase& pixmap, const Draw& draw,
                                       int32_t factor) {
  XpPixmapBGR24NoHandle reduced;
  const XpResult result = XpPixmapReduce24(pixmap, reduced, factor);
  if (XpFailed(result)) {
    return result;
  }
  const int64_t rw = reduced.width;
  const int64_t rh = reduced.height;
  const int64_t rx = rw * draw.sx / pixmap.width;
  const int64_t ry = rh * draw.sy / pixmap.height;
  const int64_t rsw = rw * (static_cast<int64_t>(draw.sx) + draw.sw) / pixmap.width - rx;
  const int64_t rsh = rh * (static_cast<int64_t>(draw.sy) + draw.sh) / pixmap.height - ry;
  XpPixmapScaleBilinear24(target, tx, ty, draw.dw, draw.dh, reduced, ClampToInt32(rx),
                          ClampToInt32(ry), ClampToInt32(rsw), ClampToInt32(rsh));
  return kXpOk;
}

[[nodiscard]] XpResult ScaleInto(XpPixmapBase& target, int32_t tx, int32_t ty,
                                 const XpPixmapBase& pixmap, const Draw& draw, int32_t mode) {
  if (mode == kXpDrawNearest) {
    XpPixmapScaleNearest24(target, tx, ty, draw.dw, draw.dh, pixmap, draw.sx, draw.sy, draw.sw,
                           draw.sh);
    return kXpOk;
  }
  if (mode == kXpDrawBoxThenBilinear) {
    const int32_t factor = ReductionFactor(draw.dw, draw.sw);
    Observe(factor);
    if (factor != kNoReduction) {
      return ReduceThenScale(target, tx, ty, pixmap, draw, factor);
    }
  }
  XpPixmapScaleBilinear24(target, tx, ty, draw.dw, draw.dh, pixmap, draw.sx, draw.sy, draw.sw,
                          draw.sh);
  return kXpOk;
}

[[nodiscard]] XpResult DrawScaled(IXpDrawSurface& surface, const XpSurfaceRect& visible,
                                  const XpPixmapBase& pixmap, const Draw& draw, int32_t mode) {
  XpPixmapBGR24NoHandle scaled;
  XpResult result = scaled.Allocate(visible.Width(), visible.Height());
  if (XpFailed(result)) {
    return result;
  }
  // The destination rectangle relative to the visible one; it fits 32 bits
  // since the visible rectangle lies inside it.
  const int32_t tx = static_cast<int32_t>(static_cast<int64_t>(draw.dx) - visible.left);
  const int32_t ty = static_cast<int32_t>(static_cast<int64_t>(draw.dy) - visible.top);
  result = ScaleInto(scaled, tx, ty, pixmap, draw, mode);
  if (XpFailed(result)) {
    return result;
  }
  const XpPlaneBase& plane = *scaled.GetPlane(0);
  surface.BlitBGR(visible.left, visible.top, visible.Width(), visible.Height(), plane.pixels,
                  plane.stride);
  return kXpOk;
}

}  // namespace

[[nodiscard]] XpResult XpPixmapDrawToDC(IXpDrawSurface& surface, int32_t dx, int32_t dy, int32_t dw,
                                        int32_t dh, const XpPixmapBase& pixmap, int32_t sx,
                                        int32_t sy, int32_t sw, int32_t sh, int32_t shrinkMode,
                                        int32_t enlargeMode) {
  if (!pixmap.IsAllocated() || XpPackedChannelCount(pixmap) != kXpBgrChannels) {
    return kXpErrGeneric;
  }
  if (dw < 1 || dh < 1 || sw < 1 || sh < 1) {
    return kXpOk;
  }
  const XpSurfaceRect visible = surface.GetClipBox().Intersect(RectOf(dx, dy, dw, dh));
  if (visible.IsEmpty()) {
    return kXpOk;
  }
  const Draw draw{dx, dy, dw, dh, sx, sy, sw, sh};
  if (dw == sw && dh == sh) {
    return DrawUnscaled(surface, visible, pixmap, draw);
  }
  return DrawScaled(surface, visible, pixmap, draw, ChooseMode(draw, shrinkMode, enlargeMode));
}

[[nodiscard]] XpResult XpPixmapDrawToDC(IXpDrawSurface& surface, int32_t dx, int32_t dy, int32_t dw,
                                        int32_t dh, XpSharedPtr<XpPixmapBase> pixmap, int32_t sx,
                                        int32_t sy, int32_t sw, int32_t sh, int32_t shrinkMode,
                                        int32_t enlargeMode) {
  if (!pixmap) {
    return kXpErrGeneric;
  }
  const XpResult result = XpPixmapDrawToDC(surface, dx, dy, dw, dh, *pixmap, sx, sy, sw, sh,
                                           shrinkMode, enlargeMode);
  pixmap.Reset();
  return result;
}

void XpSetDrawReductionObserver(std::function<void(int32_t factor)> observer) {
  ReductionObserver() = std::move(observer);
}
