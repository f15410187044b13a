#include "imaging/pixelops/XpPixmapYCbCrToBGR.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace {

constexpr size_t kPixelBytes = 3;
// A byte widens to 16 bits by repeating it: b x 257.
constexpr int32_t kWiden = 257;
// The widened chroma centre, 128 x 257.
constexpr int32_t kChromaCentre = 128 * kWiden;
constexpr int32_t kLumaScale = 1024;
constexpr int32_t kShift = 10;
constexpr int32_t kCrToRed = 1436;
constexpr int32_t kCrToGreen = 731;
constexpr int32_t kCbToGreen = 352;
constexpr int32_t kCbToBlue = 1815;
constexpr int32_t kMax16 = 65535;
constexpr int32_t kHighByteShift = 8;

uint8_t HighByte(int32_t value16) {
  return static_cast<uint8_t>(std::clamp(value16, 0, kMax16) >> kHighByteShift);
}

void ConvertPixel(const uint8_t* ycbcr, uint8_t* bgr) {
  const int32_t yk = ycbcr[0] * kWiden * kLumaScale;
  const int32_t cb16 = ycbcr[1] * kWiden - kChromaCentre;
  const int32_t cr16 = ycbcr[2] * kWiden - kChromaCentre;
  const int32_t red = (yk + kCrToRed * cr16) >> kShift;
  const int32_t green = (yk - kCrToGreen * cr16 - kCbToGreen * cb16) >> kShift;
  const int32_t blue = (yk + kCbToBlue * cb16) >> kShift;
  bgr[0] = HighByte(blue);
  bgr[1] = HighByte(green);
  bgr[2] = HighByte(red);
}

}  // namespace

XpPixmapBGR24NoHandle* XpPixmapYCbCrToBGR(const XpPixmapYCbCr444& source) {
  auto* result = new (std::nothrow) XpPixmapBGR24NoHandle();
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
