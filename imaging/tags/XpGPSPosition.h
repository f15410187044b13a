#pragma once

#include <cstdint>

// A place on the earth in degrees, north and east positive. A field of
// kUnset has no value.
class XpGPSPosition {
 public:
  static constexpr double kUnset = 1000.0;

  XpGPSPosition() = default;
  XpGPSPosition(double latitudeDegrees, double longitudeDegrees)
      : latitude(latitudeDegrees), longitude(longitudeDegrees) {}

  bool operator==(const XpGPSPosition& other) const {
    return latitude == other.latitude && longitude == other.longitude;
  }
  bool operator!=(const XpGPSPosition& other) const { return !(*this == other); }

  // -90 <= latitude <= 90 and -180 <= longitude <= 180; an unset field
  // fails.
  bool IsValid() const;
  // south <= latitude <= north and west <= longitude <= east.
  bool IsInside(double north, double south, double east, double west) const;

  double latitude = kUnset;
  double longitude = kUnset;
};

// Degrees, minutes and seconds, each an unsigned rational, as degrees;
// negated unless positive. kUnset when a denominator is 0.
double XpGPSDegrees(bool positive, uint32_t degreesNumerator, uint32_t degreesDenominator,
                    uint32_t minutesNumerator, uint32_t minutesDenominator,
                    uint32_t secondsNumerator, uint32_t secondsDenominator);
