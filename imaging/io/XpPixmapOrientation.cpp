#include "imaging/io/XpPixmapOrientation.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/pixmap/XpPixel.h"
#include "imaging/pixmap/XpPixmapTypes.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;
constexpr int32_t kBGRBitsPerPixel = 24;
constexpr uint32_t kBGRChannels = kXpChannelBlue | kXpChannelGreen | kXpChannelRed;

// Where source pixel (x, y) lands in the turned picture.
struct Target {
  int32_t x;
  int32_t y;
};

Target Turn(int32_t orientation, int32_t x, int32_t y, int32_t width, int32_t height) {
  switch (orientation) {
    case kXpOrientationMirrored:
      return {width - 1 - x, y};
    case kXpOrientationHalfTurn:
      return {width - 1 - x, height - 1 - y};
    case kXpOrientationFlipped:
      return {x, height - 1 - y};
    case kXpOrientationTransposed:
      return {y, x};
    case kXpOrientationQuarterClockwise:
      return {height - 1 - y, x};
    case kXpOrientationTransversed:
      return {height - 1 - y, width - 1 - x};
    default:
      return {y, width - 1 - x};
  }
}

}  // namespace

bool XpOrientationNeedsTurn(int32_t orientation) {
  return orientation > kXpOrientationUpright && orientation <= kXpOrientationQuarterCounterClockwise;
}

bool XpOrientationSwapsSides(int32_t orientation) {
  return orientation >= kXpOrientationTransposed &&
         orientation <= kXpOrientationQuarterCounterClockwise;
}

int32_t XpOrientationInverse(int32_t orientation) {
  switch (orientation) {
    case kXpOrientationQuarterClockwise:
      return kXpOrientationQuarterCounterClockwise;
    case kXpOrientationQuarterCounterClockwise:
      return kXpOrientationQuarterClockwise;
    default:
      return orientation;
  }
}

bool XpPixmapIsBGR24(const XpPixmapBase& pixmap) {
  return pixmap.GetBitsPerPixel(0) == kBGRBitsPerPixel && pixmap.GetChannelSet(0) == kBGRChannels;
}

XpPixmapBase* XpPixmapTurnForOrientation(const XpPixmapBase& source, int32_t orientation) {
  const XpPlaneBase* from = source.GetPlane(0);
  if (!XpOrientationNeedsTurn(orientation) || from == nullptr || !XpPixmapIsBGR24(source)) {
    return nullptr;
  }
  const int32_t width = source.width;
  const int32_t height = source.height;
  const bool sidesSwap = XpOrientationSwapsSides(orientation);
  std::unique_ptr<XpPixmapBGR24NoHandle> turned(new (std::nothrow) XpPixmapBGR24NoHandle());
  if (turned == nullptr ||
      XpFailed(turned->Allocate(sidesSwap ? height : width, sidesSwap ? width : height))) {
    return nullptr;
  }
  const XpPlaneBase* to = turned->GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* sourceRow = from->Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const Target target = Turn(orientation, x, y, width, height);
      std::memcpy(to->Row(target.y) + static_cast<size_t>(target.x) * kBytesPerPixel,
                  sourceRow + static_cast<size_t>(x) * kBytesPerPixel, kBytesPerPixel);
    }
  }
  return turned.release();
}
