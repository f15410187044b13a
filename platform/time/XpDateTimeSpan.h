#pragma once

#include <cstdint>

// A time difference as a double count of days (the fraction a part of a
// day). A span is valid within +-kMaxSpanDays, the distance between the
// first and the last valid XpDateTime.
class XpDateTimeSpan {
 public:
  static constexpr double kMaxSpanDays = 3615899.999988426;

  // 0.0 and valid.
  XpDateTimeSpan();
  XpDateTimeSpan(const XpDateTimeSpan& other) = default;
  explicit XpDateTimeSpan(double days);
  XpDateTimeSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds);
  virtual ~XpDateTimeSpan();

  XpDateTimeSpan& operator=(const XpDateTimeSpan& other) = default;
  XpDateTimeSpan& operator=(double days);
  void SetSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds);

  bool IsValid() const { return valid_; }
  double GetValue() const { return value_; }

  // Whole days, truncated toward zero.
  int32_t GetDays() const;
  // Totals round to the nearest second, then truncate toward zero.
  int32_t GetTotalHours() const;
  int64_t GetTotalMinutes() const;
  int64_t GetTotalSeconds() const;
  // The remainders keep the sign of the total.
  int32_t GetHours() const;
  int32_t GetMinutes() const;
  int32_t GetSeconds() const;

  // An operand that is not valid gives 0.0, not valid.
  XpDateTimeSpan operator+(const XpDateTimeSpan& other) const;
  XpDateTimeSpan operator-(const XpDateTimeSpan& other) const;
  XpDateTimeSpan& operator+=(const XpDateTimeSpan& other);
  XpDateTimeSpan& operator-=(const XpDateTimeSpan& other);
  XpDateTimeSpan operator-() const;

  // Equal when both flags and both values are equal.
  bool operator==(const XpDateTimeSpan& other) const;
  bool operator!=(const XpDateTimeSpan& other) const;
  // False when either span is not valid.
  bool operator<(const XpDateTimeSpan& other) const;
  bool operator>(const XpDateTimeSpan& other) const;
  bool operator<=(const XpDateTimeSpan& other) const;
  bool operator>=(const XpDateTimeSpan& other) const;

 private:
  static XpDateTimeSpan Invalid();
  // Stores the value, marks the span valid and checks the range.
  void Assign(double days);
  // The value moved half a second away from zero, times unitsPerDay.
  double RoundedTotal(double unitsPerDay) const;

  bool valid_ = true;
  double value_ = 0.0;
};
