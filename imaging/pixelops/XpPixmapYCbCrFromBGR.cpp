#include "imaging/pixelops/XpPixmapYCbCrFromBGR.h"

#include <cmath>
#include <cstddef>
#include <new>

#include "imaging/pixelops/XpClampToByte.h"

namespace {

constexpr size_t kPixelBytes = 3;
constexpr int32_t kBGRBitsPerPixel = 24;
constexpr double kChromaCentre = 128.0;

constexpr double kYFromRed = 0.299;
constexpr double kYFromGreen = 0.587;
constexpr double kYFromBlue = 0.114;
constexpr double kCbFromRed = -0.168736;
constexpr double kCbFromGreen = -0.331264;
constexpr double kCbFromBlue = 0.5;
constexpr double kCrFromRed = 0.5;
constexpr double kCrFromGreen = -0.418688;
constexpr double kCrFromBlue = -0.081312;

bool IsBGR24(const XpPixmapBase& pixmap) {
  return pixmap.GetBitsPerPixel(0) == kBGRBitsPerPixel &&
         pixmap.GetChannelSet(0) == XpPixelBGR<unsigned char>::kChannelSet;
}

uint8_t RoundToByte(double value) {
  return XpClampToByte(static_cast<int32_t>(std::lround(value)));
}

void ConvertPixel(const uint8_t* bgr, uint8_t* ycbcr) {
  const double blue = bgr[0];
  const double green = bgr[1];
  const double red = bgr[2];
  ycbcr[0] = RoundToByte(kYFromRed * red + kYFromGreen * green + kYFromBlue * blue);
  ycbcr[1] =
      RoundToByte(kChromaCentre + kCbFromRed * red + kCbFromGreen * green + kCbFromBlue * blue);
  ycbcr[2] =
      RoundToByte(kChromaCentre + kCrFromRed * red + kCrFromGreen * green + kCrFromBlue * blue);
}

}  // namespace

XpPixmapYCbCr444* XpPixmapYCbCrFromBGR(const XpPixmapBase& source) {
  if (!source.IsAllocated() || !IsBGR24(source)) {
    return nullptr;
  }
  auto* result = new (std::nothrow) XpPixmapYCbCr444();
  if (result == nullptr) {
    return nullptr;
  }
  if (XpFailed(result->Allocate(source.width, source.height))) {
    delete result;
    return nullptr;
  }
  const XpPlaneBase& from = *source.GetPlane(0);
  const XpPlaneBase& to = *result->GetPlane(0);
  for (int32_t y = 0; y < source.height; ++y) {
    const uint8_t* in = from.Row(y);
    uint8_t* out = to.Row(y);
    for (int32_t x = 0; x < source.width; ++x) {
      ConvertPixel(in + x * kPixelBytes, out + x * kPixelBytes);
    }
  }
  return result;
}
