#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"

#include <algorithm>
#include <cstdint>

#include "imaging/color/XpGammaTables.h"
#include "imaging/io/XpPixmapOrientation.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;
constexpr int32_t kBlue = 0;
constexpr int32_t kGreen = 1;
constexpr int32_t kRed = 2;

// Adobe RGB to sRGB in linear light, Q10.
constexpr int32_t kRedFromRed = 1432;
constexpr int32_t kRedFromGreen = -408;
constexpr int32_t kBlueFromBlue = 1068;
constexpr int32_t kBlueFromGreen = -44;
constexpr int32_t kMatrixShift = 10;
constexpr int32_t kMaxLinear = 65535;
constexpr int32_t kHighByteShift = 8;

uint8_t Encode(const XpGammaTables& tables, int32_t linear) {
  const int32_t clamped = std::clamp(linear, 0, kMaxLinear);
  return static_cast<uint8_t>(
      tables.Lookup(XpGammaTables::kLinearToSRGB, static_cast<uint32_t>(clamped)) >>
      kHighByteShift);
}

int32_t Decode(const XpGammaTables& tables, uint8_t value) {
  return tables.Lookup(XpGammaTables::kAdobeRGBToLinear,
                       static_cast<uint32_t>(value) * XpGammaTables::kByteToIndex);
}

}  // namespace

[[nodiscard]] XpResult XpPixmapAdobeRGBToSRGB(XpPixmapBase& pixmap) {
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  if (plane == nullptr || !XpPixmapIsBGR24(pixmap)) {
    return kXpErrBadArgument;
  }
  const XpGammaTables& tables = XpGammaTables::Get();
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* pixel = plane->Row(y);
    for (int32_t x = 0; x < plane->width; ++x, pixel += kBytesPerPixel) {
      const int32_t blue = Decode(tables, pixel[kBlue]);
      const int32_t green = Decode(tables, pixel[kGreen]);
      const int32_t red = Decode(tables, pixel[kRed]);
      pixel[kRed] = Encode(tables, (kRedFromRed * red + kRedFromGreen * green) >> kMatrixShift);
      pixel[kGreen] = Encode(tables, green);
      pixel[kBlue] =
          Encode(tables, (kBlueFromBlue * blue + kBlueFromGreen * green) >> kMatrixShift);
    }
  }
  return kXpOk;
}
