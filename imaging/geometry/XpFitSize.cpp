#include "imaging/geometry/XpFitSize.h"

#include <limits>

namespace {

bool AnyNotPositive(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
  return width < 1 || height < 1 || boxWidth < 1 || boxHeight < 1;
}

// True when the source is relatively taller than the box: w x H < h x W.
// The products need 64 bits.
bool SourceIsTaller(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
  return int64_t{width} * boxHeight < int64_t{height} * boxWidth;
}

// a x b / c, truncated; all three positive.
int64_t ScaleSide(int32_t a, int32_t b, int32_t c) { return int64_t{a} * b / c; }

void Store(int64_t width, int64_t height, int32_t& outWidth, int32_t& outHeight) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (width > kMax || height > kMax) {
    return;
  }
  outWidth = static_cast<int32_t>(width);
  outHeight = static_cast<int32_t>(height);
}

}  // namespace

void XpFitSizeInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
                     int32_t& outWidth, int32_t& outHeight) {
  outWidth = 0;
  outHeight = 0;
  if (AnyNotPositive(width, height, boxWidth, boxHeight)) {
    return;
  }
  if (SourceIsTaller(width, height, boxWidth, boxHeight)) {
    Store(ScaleSide(width, boxHeight, height), boxHeight, outWidth, outHeight);
    return;
  }
  Store(boxWidth, ScaleSide(height, boxWidth, width), outWidth, outHeight);
}

void XpFitSizeCovering(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
                       int32_t& outWidth, int32_t& outHeight) {
  outWidth = 0;
  outHeight = 0;
  if (AnyNotPositive(width, height, boxWidth, boxHeight)) {
    return;
  }
  if (SourceIsTaller(width, height, boxWidth, boxHeight)) {
    Store(boxWidth, ScaleSide(height, boxWidth, width), outWidth, outHeight);
    return;
  }
  Store(ScaleSide(width, boxHeight, height), boxHeight, outWidth, outHeight);
}
