#include "imaging/pixelops/XpPixmapSharpen.h"

#include <cstddef>
#include <cstring>

#include "imaging/pixelops/XpClampToByte.h"
#include "imaging/pixmap/XpPixel.h"
#include "imaging/pixmap/XpPixmapTypes.h"

namespace {

constexpr int32_t kBgrBytes = 3;
constexpr int32_t kBgrBits = 24;
constexpr int32_t kCentreWeight = 40;
constexpr int32_t kShift = 5;

bool IsBgr24(const XpPixmapBase& pixmap) {
  return pixmap.GetPlaneCount() == 1 && pixmap.GetBitsPerPixel(0) == kBgrBits &&
         pixmap.GetChannelSet(0) == XpPixelBGR<unsigned char>::kChannelSet;
}

bool IsAllocatedBgr24(const XpPixmapBase& pixmap) {
  return IsBgr24(pixmap) && pixmap.IsAllocated();
}

void CopyRows(const XpPlaneBase& to, const XpPlaneBase& from) {
  const size_t rowBytes = static_cast<size_t>(from.width) * kBgrBytes;
  for (int32_t y = 0; y < from.height; ++y) {
    std::memcpy(to.Row(y), from.Row(y), rowBytes);
  }
}

uint8_t SharpenSample(const uint8_t* above, const uint8_t* middle, const uint8_t* below, size_t i) {
  const int32_t neighbours = above[i - kBgrBytes] + above[i] + above[i + kBgrBytes] +
                             middle[i - kBgrBytes] + middle[i + kBgrBytes] +
                             below[i - kBgrBytes] + below[i] + below[i + kBgrBytes];
  const int32_t v = kCentreWeight * middle[i] - neighbours;
  return XpClampToByte(v >> kShift);
}

// Borders are copied; every inner sample is sharpened.
void SharpenPlane(const XpPlaneBase& to, const XpPlaneBase& from) {
  CopyRows(to, from);
  const size_t innerEnd = static_cast<size_t>(from.width - 1) * kBgrBytes;
  for (int32_t y = 1; y + 1 < from.height; ++y) {
    const uint8_t* above = from.Row(y - 1);
    const uint8_t* middle = from.Row(y);
    const uint8_t* below = from.Row(y + 1);
    uint8_t* out = to.Row(y);
    for (size_t i = kBgrBytes; i < innerEnd; ++i) {
      out[i] = SharpenSample(above, middle, below, i);
    }
  }
}

}  // namespace

[[nodiscard]] XpResult XpPixmapSharpen(XpPixmapBase& destination, const XpPixmapBase& source) {
  if (&destination == &source) {
    return XpPixmapSharpen(destination);
  }
  if (!IsAllocatedBgr24(destination) || !IsAllocatedBgr24(source) ||
      destination.width != source.width || destination.height != source.height) {
    return kXpErrGeneric;
  }
  SharpenPlane(*destination.GetPlane(0), *source.GetPlane(0));
  return kXpOk;
}

[[nodiscard]] XpResult XpPixmapSharpen(XpPixmapBase& pixmap) {
  if (!IsAllocatedBgr24(pixmap)) {
    return kXpErrGeneric;
  }
  XpPixmapBGR24NoHandle sharpened;
  const XpResult result = sharpened.Allocate(pixmap.width, pixmap.height);
  if (XpFailed(result)) {
    return result;
  }
  SharpenPlane(*sharpened.GetPlane(0), *pixmap.GetPlane(0));
  CopyRows(*pixmap.GetPlane(0), *sharpened.GetPlane(0));
  return kXpOk;
}
