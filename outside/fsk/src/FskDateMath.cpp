#include "FskDateMath.h"

#include <cmath>
#include <limits>

namespace fskdate {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMsPerHour = 3600000.0;
constexpr double kMsPerMinute = 60000.0;
constexpr double kMsPerSecond = 1000.0;
constexpr double kTimeLimit = 8.64e15;
// Far enough for every clipped time; beyond it MakeDay gives NaN.
constexpr double kYearLimit = 400000.0;

double Modulo(double a, double b) {
  double result = std::fmod(a, b);
  return result < 0 ? result + b : result;
}

double DaysInYear(double year) {
  if (std::fmod(year, 4) != 0) {
    return 365;
  }
  if (std::fmod(year, 100) != 0) {
    return 366;
  }
  return std::fmod(year, 400) != 0 ? 365 : 366;
}

double DayFromYear(double year) {
  return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100) +
         std::floor((year - 1601) / 400);
}

double TimeFromYear(double year) { return kMsPerDay * DayFromYear(year); }

bool InLeapYear(double t) { return DaysInYear(YearFromTime(t)) == 366; }

double DayWithinYear(double t) { return Day(t) - DayFromYear(YearFromTime(t)); }

// The day within the year on which each month starts, in a common year.
constexpr double kMonthStarts[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

double MonthStart(int month, bool leap) {
  return kMonthStarts[month] + (leap && month >= 2 ? 1 : 0);
}

double ToIntegerOrInfinity(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  return std::trunc(value);
}

}  // namespace

double Day(double t) { return std::floor(t / kMsPerDay); }

double TimeWithinDay(double t) { return Modulo(t, kMsPerDay); }

double YearFromTime(double t) {
  double year = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
  while (TimeFromYear(year) > t) {
    year -= 1;
  }
  while (TimeFromYear(year + 1) <= t) {
    year += 1;
  }
  return year;
}

double MonthFromTime(double t) {
  double day = DayWithinYear(t);
  bool leap = InLeapYear(t);
  int month = 0;
  while (month < 11 && day >= MonthStart(month + 1, leap)) {
    ++month;
  }
  return month;
}

double DateFromTime(double t) {
  auto month = static_cast<int>(MonthFromTime(t));
  return DayWithinYear(t) - MonthStart(month, InLeapYear(t)) + 1;
}

double HourFromTime(double t) { return Modulo(std::floor(t / kMsPerHour), 24); }

double MinFromTime(double t) { return Modulo(std::floor(t / kMsPerMinute), 60); }

double SecFromTime(double t) { return Modulo(std::floor(t / kMsPerSecond), 60); }

double MsFromTime(double t) { return Modulo(t, kMsPerSecond); }

double WeekDay(double t) { return Modulo(Day(t) + 4, 7); }

double MakeTime(double hour, double minute, double second, double ms) {
  if (!std::isfinite(hour) || !std::isfinite(minute) || !std::isfinite(second) || !std::isfinite(ms)) {
    return kNaN;
  }
  return ToIntegerOrInfinity(hour) * kMsPerHour + ToIntegerOrInfinity(minute) * kMsPerMinute +
         ToIntegerOrInfinity(second) * kMsPerSecond + ToIntegerOrInfinity(ms);
}

double MakeDay(double year, double month, double date) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) {
    return kNaN;
  }
  double y = ToIntegerOrInfinity(year);
  double m = ToIntegerOrInfinity(month);
  double dt = ToIntegerOrInfinity(date);
  double ym = y + std::floor(m / 12);
  if (std::fabs(ym) > kYearLimit) {
    return kNaN;
  }
  auto mn = static_cast<int>(Modulo(m, 12));
  double day = DayFromYear(ym) + MonthStart(mn, DaysInYear(ym) == 366);
  return day + dt - 1;
}

double MakeDate(double day, double time) {
  if (!std::isfinite(day) || !std::isfinite(time)) {
    return kNaN;
  }
  return day * kMsPerDay + time;
}

double TimeClip(double time) {
  if (!std::isfinite(time) || std::fabs(time) > kTimeLimit) {
    return kNaN;
  }
  return ToIntegerOrInfinity(time) + 0.0;
}

}  // namespace fskdate
