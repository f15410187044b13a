#include "imaging/tags/XpGPSPosition.h"

namespace {

constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
constexpr double kMinutesPerDegree = 60.0;
constexpr double kSecondsPerDegree = 3600.0;

}  // namespace

bool XpGPSPosition::IsValid() const {
  return latitude >= -kMaxLatitude && latitude <= kMaxLatitude && longitude >= -kMaxLongitude &&
         longitude <= kMaxLongitude;
}

bool XpGPSPosition::IsInside(double north, double south, double east, double west) const {
  return south <= latitude && latitude <= north && west <= longitude && longitude <= east;
}

double XpGPSDegrees(bool positive, uint32_t degreesNumerator, uint32_t degreesDenominator,
                    uint32_t minutesNumerator, uint32_t minutesDenominator,
                    uint32_t secondsNumerator, uint32_t secondsDenominator) {
  if (degreesDenominator == 0 || minutesDenominator == 0 || secondsDenominator == 0) {
    return XpGPSPosition::kUnset;
  }
  const double degrees =
      static_cast<double>(degreesNumerator) / static_cast<double>(degreesDenominator) +
      static_cast<double>(minutesNumerator) /
          (static_cast<double>(minutesDenominator) * kMinutesPerDegree) +
      static_cast<double>(secondsNumerator) /
          (static_cast<double>(secondsDenominator) * kSecondsPerDegree);
  return positive ? degrees : -degrees;
}
