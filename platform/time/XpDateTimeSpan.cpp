#include "platform/time/XpDateTimeSpan.h"

#include "platform/time/XpDayCount.h"

namespace {

constexpr int32_t kHoursPerDayInt = 24;
constexpr int32_t kMinutesPerHour = 60;
constexpr int32_t kSecondsPerMinute = 60;

}  // namespace

XpDateTimeSpan::XpDateTimeSpan() = default;

XpDateTimeSpan::XpDateTimeSpan(double days) { Assign(days); }

XpDateTimeSpan::XpDateTimeSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds) {
  SetSpan(days, hours, minutes, seconds);
}

XpDateTimeSpan::~XpDateTimeSpan() = default;

XpDateTimeSpan& XpDateTimeSpan::operator=(double days) {
  Assign(days);
  return *this;
}

void XpDateTimeSpan::SetSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds) {
  Assign(seconds * XpDayCount::kSecond + minutes * XpDayCount::kMinute +
         hours * XpDayCount::kHour + days);
}

int32_t XpDateTimeSpan::GetDays() const {
  return XpDayCount::TruncateSaturating<int32_t>(value_);
}

int32_t XpDateTimeSpan::GetTotalHours() const {
  return XpDayCount::TruncateSaturating<int32_t>(RoundedTotal(XpDayCount::kHoursPerDay));
}

int64_t XpDateTimeSpan::GetTotalMinutes() const {
  return XpDayCount::TruncateSaturating<int64_t>(RoundedTotal(XpDayCount::kMinutesPerDay));
}

int64_t XpDateTimeSpan::GetTotalSeconds() const {
  return XpDayCount::TruncateSaturating<int64_t>(RoundedTotal(XpDayCount::kSecondsPerDay));
}

int32_t XpDateTimeSpan::GetHours() const { return GetTotalHours() % kHoursPerDayInt; }

int32_t XpDateTimeSpan::GetMinutes() const {
  return static_cast<int32_t>(GetTotalMinutes() % kMinutesPerHour);
}

int32_t XpDateTimeSpan::GetSeconds() const {
  return static_cast<int32_t>(GetTotalSeconds() % kSecondsPerMinute);
}

XpDateTimeSpan XpDateTimeSpan::operator+(const XpDateTimeSpan& other) const {
  if (!valid_ || !other.valid_) {
    return Invalid();
  }
  return XpDateTimeSpan(value_ + other.value_);
}

XpDateTimeSpan XpDateTimeSpan::operator-(const XpDateTimeSpan& other) const {
  if (!valid_ || !other.valid_) {
    return Invalid();
  }
  return XpDateTimeSpan(value_ - other.value_);
}

XpDateTimeSpan& XpDateTimeSpan::operator+=(const XpDateTimeSpan& other) {
  *this = *this + other;
  return *this;
}

XpDateTimeSpan& XpDateTimeSpan::operator-=(const XpDateTimeSpan& other) {
  *this = *this - other;
  return *this;
}

XpDateTimeSpan XpDateTimeSpan::operator-() const { return XpDateTimeSpan(-value_); }

bool XpDateTimeSpan::operator==(const XpDateTimeSpan& other) const {
  return valid_ == other.valid_ && value_ == other.value_;
}

bool XpDateTimeSpan::operator!=(const XpDateTimeSpan& other) const { return !(*this == other); }

bool XpDateTimeSpan::operator<(const XpDateTimeSpan& other) const {
  return valid_ && other.valid_ && value_ < other.value_;
}

bool XpDateTimeSpan::operator>(const XpDateTimeSpan& other) const {
  return valid_ && other.valid_ && value_ > other.value_;
}

bool XpDateTimeSpan::operator<=(const XpDateTimeSpan& other) const {
  return *this < other || *this == other;
}

bool XpDateTimeSpan::operator>=(const XpDateTimeSpan& other) const {
  return *this > other || *this == other;
}

XpDateTimeSpan XpDateTimeSpan::Invalid() {
  XpDateTimeSpan span;
  span.valid_ = false;
  return span;
}

void XpDateTimeSpan::Assign(double days) {
  value_ = days;
  valid_ = -kMaxSpanDays <= days && days <= kMaxSpanDays;
}

double XpDateTimeSpan::RoundedTotal(double unitsPerDay) const {
  const double rounded = value_ < 0.0 ? value_ - XpDayCount::kHalfSecond
                                      : value_ + XpDayCount::kHalfSecond;
  return rounded * unitsPerDay;
}
