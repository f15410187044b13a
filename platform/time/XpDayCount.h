#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Helpers shared by XpDateTime and XpDateTimeSpan for day counts: days
// since 1899-12-30 whose fraction is the time of day. For negative counts
// the fraction still counts forward from the start of the day, so -1.25 is
// 1899-12-29 06:00. The "linear" scale is the one on which such counts can
// be compared and added.
namespace XpDayCount {

inline constexpr int32_t kSecondsPerDay = 86400;
inline constexpr double kSecond = 1.0 / 86400;
inline constexpr double kHalfSecond = 0.5 / 86400;
inline constexpr double kMinute = 1.0 / 1440;
inline constexpr double kHour = 1.0 / 24;
inline constexpr double kHoursPerDay = 24.0;
inline constexpr double kMinutesPerDay = 1440.0;

// -1.25 becomes -0.75; non-negative counts stay.
inline double ToLinear(double days) {
  return days < 0.0 ? 2.0 * std::ceil(days) - days : days;
}

// -0.75 becomes -1.25; non-negative counts stay.
inline double FromLinear(double linear) {
  return linear < 0.0 ? 2.0 * std::floor(linear) - linear : linear;
}

// Truncates toward zero; a value beyond the integer's range gives its
// nearest limit and NaN gives 0, where a plain cast would be undefined.
template <typename Int>
Int TruncateSaturating(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value <= static_cast<double>(std::numeric_limits<Int>::min())) {
    return std::numeric_limits<Int>::min();
  }
  // 2^63 and 2^31 are exact doubles; anything at or above them is too big.
  if (value >= -static_cast<double>(std::numeric_limits<Int>::min())) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(value);
}

}  // namespace XpDayCount
