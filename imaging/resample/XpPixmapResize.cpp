#include "imaging/resample/XpPixmapResize.h"

#include <cstring>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpCubicPass.h"
#include "imaging/resample/XpPackedPixmap.h"
#include "imaging/resample/XpResamplePasses.h"

namespace {

constexpr int32_t kHalving = 2;
constexpr int32_t kThirding = 3;

bool ShrinksBy(const XpPlaneBase& source, const XpPlaneBase& target, int32_t factor) {
  return source.width == static_cast<int64_t>(factor) * target.width &&
         source.height == static_cast<int64_t>(factor) * target.height;
}

// One direction, the method chosen by the lengths along it.
[[nodiscard]] XpResult Pass(const XpPlaneBase& source, const XpPlaneBase& target, int32_t channels,
                            XpResampleDirection direction) {
  const int64_t s = XpSourceLength(source, direction);
  const int64_t t = XpTargetLength(target, direction);
  if (s == t) {
    return XpCopyPass(source, target, channels, direction);
  }
  if (s == 2 * t) {
    return XpPairAveragePass(source, target, channels, direction);
  }
  if (s > t) {
    return XpAreaAveragePass(source, target, channels, direction);
  }
  if (s == 1) {
    return XpReplicatePass(source, target, channels, direction);
  }
  return XpCubicPass(source, target, channels, direction);
}

// Resizes source into target. A direction whose length stays is not
// passed over, so one pass reads the source and writes the target
// directly; two passes go through a temporary of the target width and the
// source height.
template <typename WorkPixmap>
[[nodiscard]] XpResult ResizePlane(const XpPlaneBase& source, const XpPlaneBase& target,
                                   int32_t channels) {
  if (ShrinksBy(source, target, kHalving)) {
    return XpBoxAverage(source, target, channels, kHalving);
  }
  if (ShrinksBy(source, target, kThirding)) {
    return XpBoxAverage(source, target, channels, kThirding);
  }
  if (source.width == target.width) {
    return Pass(source, target, channels, XpResampleDirection::kVertical);
  }
  if (source.height == target.height) {
    return Pass(source, target, channels, XpResampleDirection::kHorizontal);
  }
  WorkPixmap between;
  XpResult result = between.Allocate(target.width, source.height);
  if (XpFailed(result)) {
    return result;
  }
  result = Pass(source, *between.GetPlane(0), channels, XpResampleDirection::kHorizontal);
  if (XpFailed(result)) {
    return result;
  }
  return Pass(*between.GetPlane(0), target, channels, XpResampleDirection::kVertical);
}

[[nodiscard]] XpResult ResizePlaneOf(const XpPlaneBase& source, const XpPlaneBase& target,
                                     int32_t channels) {
  if (channels == kXpBgraChannels) {
    return ResizePlane<XpPixmapBGRA32>(source, target, channels);
  }
  return ResizePlane<XpPixmapBGR24NoHandle>(source, target, channels);
}

template <typename WorkPixmap>
[[nodiscard]] XpResult ResizeInPlace(XpPixmapBase& pixmap, int32_t width, int32_t height,
                                     int32_t channels) {
  WorkPixmap resized;
  XpResult result = resized.Allocate(width, height);
  if (XpFailed(result)) {
    return result;
  }
  result = ResizePlane<WorkPixmap>(*pixmap.GetPlane(0), *resized.GetPlane(0), channels);
  if (XpFailed(result)) {
    return result;
  }
  return XpReplacePixmapContents(pixmap, resized);
}

}  // namespace

[[nodiscard]] XpResult XpPixmapResize(XpPixmapBase& pixmap, int32_t width, int32_t height) {
  const int32_t channels = XpPackedChannelCount(pixmap);
  if (!pixmap.IsAllocated() || channels == 0) {
    return kXpErrGeneric;
  }
  if (width == pixmap.width && height == pixmap.height) {
    return kXpOk;
  }
  if (width < 1 || height < 1) {
    return kXpErrGeneric;
  }
  if (channels == kXpBgraChannels) {
    return ResizeInPlace<XpPixmapBGRA32>(pixmap, width, height, channels);
  }
  return ResizeInPlace<XpPixmapBGR24NoHandle>(pixmap, width, height, channels);
}

[[nodiscard]] XpResult XpPixmapResizeInto(XpPixmapBase& destination, const XpPixmapBase& source) {
  const int32_t channels = XpPackedChannelCount(source);
  if (!source.IsAllocated() || channels == 0 || XpPackedChannelCount(destination) != channels) {
    return kXpErrGeneric;
  }
  if (destination.width == source.width && destination.height == source.height) {
    if (&destination != &source) {
      std::memcpy(destination.block, source.block, destination.blockSize);
    }
    return kXpOk;
  }
  if (destination.width < 1 || destination.height < 1) {
    return kXpErrGeneric;
  }
  return ResizePlaneOf(*source.GetPlane(0), *destination.GetPlane(0), channels);
}
