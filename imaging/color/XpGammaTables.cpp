#include "imaging/color/XpGammaTables.h"

#include <cmath>

namespace {

constexpr double kMaxSample = 65535.0;
// The Adobe RGB (1998) exponent is 563 / 256, not 2.2.
constexpr double kAdobeGamma = 2.19921875;
constexpr double kAdobeInverseGamma = 0.4547069271758437;
constexpr double kSRGBSlope = 12.92;
constexpr double kSRGBOffset = 0.055;
constexpr double kSRGBScale = 1.055;
constexpr double kSRGBGamma = 2.4;
// The last samples on the linear part of the sRGB curve.
constexpr uint32_t kSRGBLinearEnd = 2650;
constexpr uint32_t kLinearSRGBEnd = 205;

// The nearest integer, ties to the even one, whatever the rounding mode.
uint16_t Nearest(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  double chosen = below;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) {
    chosen = below + 1.0;
  }
  return static_cast<uint16_t>(chosen);
}

uint16_t AdobeToLinear(uint32_t i) {
  return Nearest(std::pow(i / kMaxSample, kAdobeGamma) * kMaxSample);
}

uint16_t LinearToAdobe(uint32_t i) {
  return Nearest(std::pow(i / kMaxSample, kAdobeInverseGamma) * kMaxSample);
}

uint16_t SRGBToLinear(uint32_t i) {
  if (i <= kSRGBLinearEnd) {
    return Nearest(i / kSRGBSlope);
  }
  return Nearest(std::pow((i / kMaxSample + kSRGBOffset) / kSRGBScale, kSRGBGamma) * kMaxSample);
}

uint16_t LinearToSRGB(uint32_t i) {
  if (i <= kLinearSRGBEnd) {
    return Nearest(i * kSRGBSlope);
  }
  return Nearest((kSRGBScale * std::pow(i / kMaxSample, 1.0 / kSRGBGamma) - kSRGBOffset) *
                 kMaxSample);
}

}  // namespace

const XpGammaTables& XpGammaTables::Get() {
  static const XpGammaTables tables;
  return tables;
}

XpGammaTables::XpGammaTables() {
  for (uint32_t i = 0; i < kEntryCount; ++i) {
    entries_[kAdobeRGBToLinear * kEntryCount + i] = AdobeToLinear(i);
    entries_[kLinearToAdobeRGB * kEntryCount + i] = LinearToAdobe(i);
    entries_[kSRGBToLinear * kEntryCount + i] = SRGBToLinear(i);
    entries_[kLinearToSRGB * kEntryCount + i] = LinearToSRGB(i);
  }
}
