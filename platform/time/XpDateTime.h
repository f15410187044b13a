#pragma once

#include <cstdint>
#include <ctime>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTimeSpan.h"

// A point in time as a double count of days since 1899-12-30 (day 0), the
// fraction being the time of day, plus a valid flag. For negative counts the
// fraction still counts forward from the start of the day: -1.25 is
// 1899-12-29 06:00. Valid from 0100-01-01 00:00:00 to 9999-12-31 23:59:59,
// proleptic Gregorian calendar: kMinDays <= value <= kMaxDays in time order,
// so -657434.5 (0100-01-01 12:00) is inside. Unless said otherwise a value
// holds local time; time zones follow the process's TZ.
class XpDateTime {
 public:
  static constexpr double kMinDays = -657434.0;
  static constexpr double kMaxDays = 2958465.999988426;

  // 0.0 and not valid.
  XpDateTime();
  XpDateTime(const XpDateTime& other) = default;
  // Valid when inside the range.
  explicit XpDateTime(double days);
  // Not valid on a bad part.
  XpDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
             int32_t second);
  // Local time of a count of seconds since 1970; not valid when it cannot
  // be converted.
  explicit XpDateTime(time_t time);
  virtual ~XpDateTime();

  XpDateTime& operator=(const XpDateTime& other) = default;
  XpDateTime& operator=(double days);

  // Sets value and flag from the parts and returns the flag; a bad part
  // clears the flag and keeps the value.
  bool SetDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   int32_t second);
  // Local time of *time. When it cannot be converted (or time is null) the
  // object is left as it was and the result is false; else the new flag.
  bool SetFromTime64(const time_t* time);

  bool IsValid() const { return valid_; }
  double GetValue() const { return value_; }

  // Each gives -1 when the value is not valid.
  int32_t GetYear() const;
  int32_t GetMonth() const;
  int32_t GetDay() const;
  int32_t GetHour() const;
  int32_t GetMinute() const;
  int32_t GetSecond() const;
  // 0 Sunday to 6 Saturday.
  int32_t GetDayOfWeek() const;
  // 1 to 366.
  int32_t GetDayOfYear() const;
  // False when the value is not valid; any output may be null.
  bool GetParts(int32_t* year, int32_t* month, int32_t* day, int32_t* hour, int32_t* minute,
                int32_t* second, int32_t* dayOfWeek) const;

  // The current local time, to the second.
  static XpDateTime Now();
  static bool IsLeapYear(int32_t year);
  // 0 for a month outside 1 to 12.
  static int32_t DaysInMonth(int32_t year, int32_t month);
  // -1 for a month outside 1 to 12.
  static int32_t DayOfYear(int32_t year, int32_t month, int32_t day);
  // Refuses (false, *out untouched) unless year 100-9999, month 1-12, day
  // within the month, hour 0-23, minute and second 0-59.
  static bool PartsToValue(int32_t year, int32_t month, int32_t day, int32_t hour,
                           int32_t minute, int32_t second, double* out);
  // Refuses values outside the valid range; rounds to the nearest second.
  // Any output may be null.
  static bool ValueToParts(double value, int32_t* year, int32_t* month, int32_t* day,
                           int32_t* hour, int32_t* minute, int32_t* second,
                           int32_t* dayOfWeek);
  // Names in the user's locale; "" for a day outside 0-6 or a month
  // outside 1-12.
  static XpString GetDayOfWeekName(int32_t dayOfWeek, bool abbreviated);
  static XpString GetMonthName(int32_t month, bool abbreviated);

  // Order in time; the valid flags are not looked at.
  bool operator==(const XpDateTime& other) const;
  bool operator!=(const XpDateTime& other) const;
  bool operator<(const XpDateTime& other) const;
  bool operator>(const XpDateTime& other) const;
  bool operator<=(const XpDateTime& other) const;
  bool operator>=(const XpDateTime& other) const;

  // The result's flag comes from the range; the span's flag is not looked
  // at.
  XpDateTime operator+(const XpDateTimeSpan& span) const;
  XpDateTime operator-(const XpDateTimeSpan& span) const;
  // Move the value and keep the flag as it was.
  XpDateTime& operator+=(const XpDateTimeSpan& span);
  XpDateTime& operator-=(const XpDateTimeSpan& span);
  XpDateTimeSpan operator-(const XpDateTime& other) const;

  // Move by (hours * 60 + minutes) * 60 + seconds seconds, a 32-bit count,
  // then check the range; returns the new flag.
  bool AddTime(int32_t hours, int32_t minutes, int32_t seconds);
  bool SubtractTime(int32_t hours, int32_t minutes, int32_t seconds);

  // Whole seconds from other to this, counted on the parts of both. False
  // (and *out = 0) unless both are valid.
  bool DifferenceInSeconds(const XpDateTime& other, int64_t* out) const;

  // The local time as seconds since 1970, daylight saving time decided for
  // that date; -1 when the value is not valid or cannot be converted.
  time_t ToTime64() const;
  // The local time as a UTC file time (nanoseconds 0), for utimensat.
  bool ToFileTime(struct timespec* out) const;
  // Reads the value as UTC and replaces it by local time; returns the new
  // flag, or false (value kept) when it is not valid or cannot be
  // converted.
  bool UtcToLocal();

  // Texts in the user's locale; "" when the value is not valid. Date style
  // 0 short, 1 long, 2 year and month. Time style 0 hour, 1 hour and
  // minutes, other styles the whole time.
  XpString FormatDate(int32_t style) const;
  XpString FormatTime(int32_t style, bool force24h) const;
  XpString FormatDateTime(int32_t dateStyle, int32_t timeStyle, bool force24h) const;

  // Reads year, month, day, hour, minute and second, in that order, with a
  // format of %d fields (optional width), literal characters and white
  // space (matching any run of white space). Accepted when 3 to 6 fields
  // were read (the rest are 0); the flag from the parts is the result. On
  // fewer fields, or a format with any other conversion, returns false and
  // leaves the object unchanged.
  bool Parse(const XpString& text, const XpString& format);

 private:
  // The parts for struct tm; false when the value is not valid.
  bool ToTm(struct tm* out) const;
  // Sets value and flag from a broken-down time.
  bool SetFromTm(const struct tm& parts);
  double Linear() const;
  void AssignChecked(double days);

  double value_ = 0.0;
  bool valid_ = false;
};
