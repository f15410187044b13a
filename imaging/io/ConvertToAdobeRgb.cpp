#include "imaging/io/ConvertToAdobeRgb.h"

#include <algorithm>
#include <cstdint>

#include "imaging/color/XpGammaTables.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/pixelops/XpClampToByte.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;
constexpr int32_t kBlue = 0;
constexpr int32_t kGreen = 1;
constexpr int32_t kRed = 2;

// sRGB to Adobe RGB in linear light, Q10.
constexpr int32_t kRedFromRed = 732;
constexpr int32_t kRedFromGreen = 292;
constexpr int32_t kBlueFromGreen = 42;
constexpr int32_t kBlueFromBlue = 982;
constexpr int32_t kMatrixShift = 10;
constexpr int32_t kMax16 = 65535;
constexpr int32_t kHighByteShift = 8;

// YCbCr with 16-bit samples to RGB and back, Q10.
constexpr int32_t kWiden = XpGammaTables::kByteToIndex;
constexpr int32_t kChromaCentre = 128 * kWiden;
constexpr int32_t kLumaScale = 1024;
constexpr int32_t kCrToRed = 1436;
constexpr int32_t kCbToGreen = 352;
constexpr int32_t kCrToGreen = 731;
constexpr int32_t kCbToBlue = 1815;
constexpr int32_t kYFromRed = 306;
constexpr int32_t kYFromGreen = 601;
constexpr int32_t kYFromBlue = 117;
constexpr int32_t kYShift = 18;
constexpr int32_t kCbFromRed = -173;
constexpr int32_t kCbFromGreen = -339;
constexpr int32_t kCbFromBlue = 512;
constexpr int32_t kCrFromRed = 512;
constexpr int32_t kCrFromGreen = -429;
constexpr int32_t kCrFromBlue = -83;
constexpr int32_t kChromaOffset = 32768;

struct Rgb16 {
  int32_t red;
  int32_t green;
  int32_t blue;
};

int32_t Clamp16(int32_t value) { return std::clamp(value, 0, kMax16); }

int32_t Linear(const XpGammaTables& tables, int32_t value16) {
  return tables.Lookup(XpGammaTables::kSRGBToLinear, static_cast<uint32_t>(value16));
}

int32_t EncodeAdobe(const XpGammaTables& tables, int32_t linear) {
  return tables.Lookup(XpGammaTables::kLinearToAdobeRGB, static_cast<uint32_t>(Clamp16(linear)));
}

// 16-bit sRGB samples to 16-bit Adobe RGB samples.
Rgb16 SRGBToAdobe(const XpGammaTables& tables, const Rgb16& srgb) {
  const int32_t red = Linear(tables, srgb.red);
  const int32_t green = Linear(tables, srgb.green);
  const int32_t blue = Linear(tables, srgb.blue);
  return {EncodeAdobe(tables, (kRedFromRed * red + kRedFromGreen * green) >> kMatrixShift),
          EncodeAdobe(tables, green),
          EncodeAdobe(tables, (kBlueFromGreen * green + kBlueFromBlue * blue) >> kMatrixShift)};
}

Rgb16 YCbCrToRgb(const uint8_t* ycbcr) {
  const int32_t yk = ycbcr[0] * kWiden * kLumaScale;
  const int32_t cb = ycbcr[1] * kWiden - kChromaCentre;
  const int32_t cr = ycbcr[2] * kWiden - kChromaCentre;
  return {Clamp16((yk + kCrToRed * cr) >> kMatrixShift),
          Clamp16((yk - kCbToGreen * cb - kCrToGreen * cr) >> kMatrixShift),
          Clamp16((yk + kCbToBlue * cb) >> kMatrixShift)};
}

int32_t Mix(const Rgb16& rgb, int32_t fromRed, int32_t fromGreen, int32_t fromBlue) {
  return fromRed * rgb.red + fromGreen * rgb.green + fromBlue * rgb.blue;
}

uint8_t ChromaByte(int32_t mixed) {
  return XpClampToByte(((mixed >> kMatrixShift) + kChromaOffset) >> kHighByteShift);
}

void RgbToYCbCr(const Rgb16& rgb, uint8_t* ycbcr) {
  ycbcr[0] = XpClampToByte(Mix(rgb, kYFromRed, kYFromGreen, kYFromBlue) >> kYShift);
  ycbcr[1] = ChromaByte(Mix(rgb, kCbFromRed, kCbFromGreen, kCbFromBlue));
  ycbcr[2] = ChromaByte(Mix(rgb, kCrFromRed, kCrFromGreen, kCrFromBlue));
}

}  // namespace

[[nodiscard]] XpResult ConvertToAdobeRgb(XpPixmapBase& pixmap) {
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  if (plane == nullptr || !XpPixmapIsBGR24(pixmap)) {
    return kXpErrBadArgument;
  }
  const XpGammaTables& tables = XpGammaTables::Get();
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* pixel = plane->Row(y);
    for (int32_t x = 0; x < plane->width; ++x, pixel += kBytesPerPixel) {
      const Rgb16 adobe = SRGBToAdobe(
          tables, {pixel[kRed] * kWiden, pixel[kGreen] * kWiden, pixel[kBlue] * kWiden});
      pixel[kRed] = static_cast<uint8_t>(adobe.red >> kHighByteShift);
      pixel[kGreen] = static_cast<uint8_t>(adobe.green >> kHighByteShift);
      pixel[kBlue] = static_cast<uint8_t>(adobe.blue >> kHighByteShift);
    }
  }
  return kXpOk;
}

[[nodiscard]] XpResult ConvertYCbCrToAdobeRgb(XpPixmapYCbCr444& pixmap) {
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  if (plane == nullptr) {
    return kXpErrBadArgument;
  }
  const XpGammaTables& tables = XpGammaTables::Get();
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* pixel = plane->Row(y);
    for (int32_t x = 0; x < plane->width; ++x, pixel += kBytesPerPixel) {
      RgbToYCbCr(SRGBToAdobe(tables, YCbCrToRgb(pixel)), pixel);
    }
  }
  return kXpOk;
}
