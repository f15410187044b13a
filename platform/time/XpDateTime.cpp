#include "platform/time/XpDateTime.h"

#include <langinfo.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/XpStringA.h"
#include "platform/time/XpDayCount.h"
#include "platform/time/XpTimePattern.h"

namespace {

constexpr int32_t kMinYear = 100;
constexpr int32_t kMaxYear = 9999;
constexpr int32_t kTmYearBase = 1900;
constexpr int32_t kMonthsPerYear = 12;
constexpr int32_t kHoursPerDay = 24;
constexpr int32_t kMinutesPerHour = 60;
constexpr int32_t kSecondsPerMinute = 60;
constexpr int32_t kSecondsPerHour = 3600;
constexpr int32_t kDaysPerWeek = 7;
constexpr int32_t kFebruary = 2;
constexpr int32_t kLastSecond = 59;

// Day 0 (1899-12-30) counted from 0000-01-01.
constexpr int32_t kDayZeroAbsolute = 693959;
constexpr int32_t kDaysPer400Years = 146097;
constexpr int32_t kDaysPerCentury = 36524;
constexpr int32_t kDaysPer4Years = 1461;
constexpr int32_t kDaysPerYear = 365;
constexpr int32_t kYearsPer400 = 400;
constexpr int32_t kYearsPerCentury = 100;
constexpr int32_t kYearsPer4 = 4;
// 0-based day of year of 29 February in a leap year.
constexpr int32_t kLeapDayOfYear = 59;

constexpr int32_t kDaysInMonth[kMonthsPerYear] = {31, 28, 31, 30, 31, 30,
                                                  31, 31, 30, 31, 30, 31};
constexpr int32_t kDaysBeforeMonth[kMonthsPerYear + 1] = {0,   31,  59,  90,  120, 151, 181,
                                                          212, 243, 273, 304, 334, 365};

constexpr size_t kFormatBufferSize = 512;
constexpr const char* kLongDatePattern = "%A, %d %B %Y";
constexpr const char* kYearMonthPattern = "%B %Y";
constexpr int32_t kDateStyleLong = 1;
constexpr int32_t kDateStyleYearMonth = 2;
constexpr size_t kParseFieldCount = 6;
constexpr size_t kMinParsedFields = 3;

// Checked on the linear scale, so that every time of 0100-01-01 (down to
// -657434.99...) is inside.
bool InRange(double days) {
  const double linear = XpDayCount::ToLinear(days);
  return XpDateTime::kMinDays <= linear && linear <= XpDateTime::kMaxDays;
}

// A valid value split into its day number and second of the day, rounded
// to the nearest second. The rounding runs on the linear scale, so the
// last half second of a day before 1899-12-30 rounds into the next day.
struct DayAndSecond {
  int32_t day;
  int32_t second;
};

DayAndSecond SplitDay(double value) {
  const double rounded = XpDayCount::ToLinear(value) + XpDayCount::kHalfSecond;
  const double day = std::floor(rounded);
  return {static_cast<int32_t>(day),
          static_cast<int32_t>(std::floor((rounded - day) * XpDayCount::kSecondsPerDay))};
}

struct CalendarDate {
  int32_t year;
  int32_t month;
  int32_t day;
};

// 0-based day of year in a year of 365 days (29 February removed).
CalendarDate FromCommonDayOfYear(int32_t year, int32_t dayOfYear) {
  const int32_t oneBased = dayOfYear + 1;
  int32_t month = (oneBased >> 5) + 1;
  while (oneBased > kDaysBeforeMonth[month]) {
    ++month;
  }
  return {year, month, oneBased - kDaysBeforeMonth[month - 1]};
}

// A day counted from 0000-01-01 (day 0) through the 400-, 100-, 4- and
// 1-year cycles of the Gregorian calendar.
CalendarDate FromAbsoluteDay(int32_t absolute) {
  const int32_t cycles400 = absolute / kDaysPer400Years;
  int32_t rest = absolute % kDaysPer400Years;
  // The first century of a cycle starts with a leap year and has one day
  // more; the others start with a common year.
  int32_t century = 0;
  if (rest > kDaysPerCentury) {
    century = (rest - 1) / kDaysPerCentury;
    rest = (rest - 1) % kDaysPerCentury;
  }
  const bool leapCenturyYear = century == 0;
  // Counted as if every century began with a leap year.
  const int32_t shifted = leapCenturyYear ? rest : rest + 1;
  const int32_t cycles4 = shifted / kDaysPer4Years;
  const int32_t dayOf4 = shifted % kDaysPer4Years;
  int32_t yearOf4 = 0;
  int32_t dayOfYear = dayOf4;
  if (dayOf4 > kDaysPerYear) {
    yearOf4 = (dayOf4 - 1) / kDaysPerYear;
    dayOfYear = (dayOf4 - 1) % kDaysPerYear;
  } else if (cycles4 == 0 && !leapCenturyYear) {
    dayOfYear = dayOf4 - 1;
  }
  const int32_t year = cycles400 * kYearsPer400 + century * kYearsPerCentury +
                       cycles4 * kYearsPer4 + yearOf4;
  if (XpDateTime::IsLeapYear(year)) {
    if (dayOfYear == kLeapDayOfYear) {
      return {year, kFebruary, kDaysInMonth[kFebruary - 1] + 1};
    }
    if (dayOfYear > kLeapDayOfYear) {
      --dayOfYear;
    }
  }
  return FromCommonDayOfYear(year, dayOfYear);
}

template <typename T>
void Store(T* out, T value) {
  if (out != nullptr) {
    *out = value;
  }
}

// mktime and timegm return -1 both for an error and for one second before
// 1970; a day of week they leave untouched tells the error apart.
template <typename Convert>
std::optional<time_t> ConvertTm(struct tm parts, Convert convert) {
  constexpr int kUntouched = -1;
  parts.tm_wday = kUntouched;
  const time_t result = convert(&parts);
  if (result == static_cast<time_t>(-1) && parts.tm_wday == kUntouched) {
    return std::nullopt;
  }
  return result;
}

XpString FormatTm(const char* pattern, const struct tm& parts) {
  char buffer[kFormatBufferSize];
  const size_t length = std::strftime(buffer, sizeof buffer, pattern, &parts);
  if (length == 0) {
    return XpString();
  }
  return XpStringA(buffer, static_cast<int32_t>(length)).ToWide();
}

// The scanner behind Parse: %d fields with an optional width, literal
// characters, and white space that matches any run of white space.
class FieldScanner {
 public:
  FieldScanner(std::u16string_view text, std::u16string_view format)
      : text_(text), format_(format) {}

  // False when the format holds anything but up to six %d fields.
  bool FormatIsSupported() const {
    size_t fields = 0;
    for (size_t pos = 0; pos < format_.size(); ++pos) {
      if (format_[pos] != u'%') {
        continue;
      }
      ++pos;
      if (pos < format_.size() && format_[pos] == u'%') {
        continue;
      }
      const size_t widthStart = pos;
      while (pos < format_.size() && IsDigit(format_[pos])) {
        ++pos;
      }
      const bool zeroWidth = pos > widthStart && ReadWidth(widthStart, pos) == 0;
      if (pos >= format_.size() || format_[pos] != u'd' || zeroWidth) {
        return false;
      }
      ++fields;
    }
    return fields <= kParseFieldCount;
  }

  // Reads fields until the format ends or the text stops matching; returns
  // how many were converted.
  size_t Scan(int32_t (&fields)[kParseFieldCount]) {
    size_t count = 0;
    size_t pos = 0;
    while (pos < format_.size()) {
      const char16_t ch = format_[pos];
      if (IsSpace(ch)) {
        while (pos < format_.size() && IsSpace(format_[pos])) {
          ++pos;
        }
        SkipTextSpace();
        continue;
      }
      if (ch == u'%' && FormatAt(pos + 1) != u'%') {
        const size_t widthStart = pos + 1;
        size_t end = widthStart;
        while (IsDigit(FormatAt(end))) {
          ++end;
        }
        const size_t width = end > widthStart ? ReadWidth(widthStart, end) : SIZE_MAX;
        if (!ReadNumber(width, &fields[count])) {
          return count;
        }
        ++count;
        pos = end + 1;
        continue;
      }
      // A literal character; "%%" matches one '%'.
      if (textPos_ >= text_.size() || text_[textPos_] != ch) {
        return count;
      }
      ++textPos_;
      pos += ch == u'%' ? 2 : 1;
    }
    return count;
  }

 private:
  static bool IsSpace(char16_t ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\v' || ch == u'\f' ||
           ch == u'\r';
  }

  static bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

  char16_t FormatAt(size_t pos) const { return pos < format_.size() ? format_[pos] : u'\0'; }

  size_t ReadWidth(size_t begin, size_t end) const {
    constexpr size_t kWidthLimit = 1000;
    size_t width = 0;
    for (size_t pos = begin; pos < end; ++pos) {
      width = std::min(kWidthLimit, width * 10 + (format_[pos] - u'0'));
    }
    return width;
  }

  void SkipTextSpace() {
    while (textPos_ < text_.size() && IsSpace(text_[textPos_])) {
      ++textPos_;
    }
  }

  // Optional sign and decimal digits, at most width characters in all.
  // Values beyond 32 bits saturate.
  bool ReadNumber(size_t width, int32_t* out) {
    SkipTextSpace();
    size_t used = 0;
    bool negative = false;
    if (textPos_ < text_.size() && (text_[textPos_] == u'-' || text_[textPos_] == u'+')) {
      negative = text_[textPos_] == u'-';
      ++textPos_;
      ++used;
    }
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    size_t digits = 0;
    while (used < width && textPos_ < text_.size() && IsDigit(text_[textPos_])) {
      magnitude = std::min(kLimit, magnitude * 10 + (text_[textPos_] - u'0'));
      ++textPos_;
      ++used;
      ++digits;
    }
    if (digits == 0) {
      return false;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    *out = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    return true;
  }

  std::u16string_view text_;
  std::u16string_view format_;
  size_t textPos_ = 0;
};

}  // namespace

XpDateTime::XpDateTime() = default;

XpDateTime::XpDateTime(double days) { AssignChecked(days); }

XpDateTime::XpDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                       int32_t second) {
  SetDateTime(year, month, day, hour, minute, second);
}

XpDateTime::XpDateTime(time_t time) { SetFromTime64(&time); }

XpDateTime::~XpDateTime() = default;

XpDateTime& XpDateTime::operator=(double days) {
  AssignChecked(days);
  return *this;
}

bool XpDateTime::SetDateTime(int32_t year, int32_t month, int32_t day, int32_t hour,
                             int32_t minute, int32_t second) {
  valid_ = PartsToValue(year, month, day, hour, minute, second, &value_);
  return valid_;
}

bool XpDateTime::SetFromTime64(const time_t* time) {
  struct tm parts {};
  if (time == nullptr || ::localtime_r(time, &parts) == nullptr) {
    return false;
  }
  return SetFromTm(parts);
}

int32_t XpDateTime::GetYear() const {
  int32_t year = -1;
  GetParts(&year, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  return year;
}

int32_t XpDateTime::GetMonth() const {
  int32_t month = -1;
  GetParts(nullptr, &month, nullptr, nullptr, nullptr, nullptr, nullptr);
  return month;
}

int32_t XpDateTime::GetDay() const {
  int32_t day = -1;
  GetParts(nullptr, nullptr, &day, nullptr, nullptr, nullptr, nullptr);
  return day;
}

int32_t XpDateTime::GetHour() const {
  int32_t hour = -1;
  GetParts(nullptr, nullptr, nullptr, &hour, nullptr, nullptr, nullptr);
  return hour;
}

int32_t XpDateTime::GetMinute() const {
  int32_t minute = -1;
  GetParts(nullptr, nullptr, nullptr, nullptr, &minute, nullptr, nullptr);
  return minute;
}

int32_t XpDateTime::GetSecond() const {
  int32_t second = -1;
  GetParts(nullptr, nullptr, nullptr, nullptr, nullptr, &second, nullptr);
  return second;
}

int32_t XpDateTime::GetDayOfWeek() const {
  int32_t dayOfWeek = -1;
  GetParts(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &dayOfWeek);
  return dayOfWeek;
}

int32_t XpDateTime::GetDayOfYear() const {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  if (!GetParts(&year, &month, &day, nullptr, nullptr, nullptr, nullptr)) {
    return -1;
  }
  return DayOfYear(year, month, day);
}

bool XpDateTime::GetParts(int32_t* year, int32_t* month, int32_t* day, int32_t* hour,
                          int32_t* minute, int32_t* second, int32_t* dayOfWeek) const {
  if (!valid_) {
    return false;
  }
  return ValueToParts(value_, year, month, day, hour, minute, second, dayOfWeek);
}

XpDateTime XpDateTime::Now() { return XpDateTime(std::time(nullptr)); }

bool XpDateTime::IsLeapYear(int32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int32_t XpDateTime::DaysInMonth(int32_t year, int32_t month) {
  if (month < 1 || month > kMonthsPerYear) {
    return 0;
  }
  if (month == kFebruary && IsLeapYear(year)) {
    return kDaysInMonth[month - 1] + 1;
  }
  return kDaysInMonth[month - 1];
}

int32_t XpDateTime::DayOfYear(int32_t year, int32_t month, int32_t day) {
  if (month < 1 || month > kMonthsPerYear) {
    return -1;
  }
  const int32_t leapDay = month > kFebruary && IsLeapYear(year) ? 1 : 0;
  return kDaysBeforeMonth[month - 1] + day + leapDay;
}

bool XpDateTime::PartsToValue(int32_t year, int32_t month, int32_t day, int32_t hour,
                              int32_t minute, int32_t second, double* out) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > kMonthsPerYear || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour >= kHoursPerDay || minute < 0 ||
      minute >= kMinutesPerHour || second < 0 || second >= kSecondsPerMinute) {
    return false;
  }
  int32_t absolute = year * kDaysPerYear + year / 4 - year / 100 + year / 400 +
                     kDaysBeforeMonth[month - 1] + day;
  if (month <= kFebruary && IsLeapYear(year)) {
    --absolute;
  }
  const int32_t days = absolute - kDayZeroAbsolute;
  const double time =
      (hour * kSecondsPerHour + minute * kSecondsPerMinute + second) * XpDayCount::kSecond;
  Store(out, days >= 0 ? days + time : days - time);
  return true;
}

bool XpDateTime::ValueToParts(double value, int32_t* year, int32_t* month, int32_t* day,
                              int32_t* hour, int32_t* minute, int32_t* second,
                              int32_t* dayOfWeek) {
  if (!InRange(value)) {
    return false;
  }
  const DayAndSecond split = SplitDay(value);
  const int32_t absolute = split.day + kDayZeroAbsolute;
  const CalendarDate date = FromAbsoluteDay(absolute);
  Store(year, date.year);
  Store(month, date.month);
  Store(day, date.day);
  Store(hour, split.second / kSecondsPerHour);
  Store(minute, split.second / kSecondsPerMinute % kMinutesPerHour);
  Store(second, split.second % kSecondsPerMinute);
  Store(dayOfWeek, (absolute - 1) % kDaysPerWeek);
  return true;
}

XpString XpDateTime::GetDayOfWeekName(int32_t dayOfWeek, bool abbreviated) {
  if (dayOfWeek < 0 || dayOfWeek >= kDaysPerWeek) {
    return XpString();
  }
  struct tm parts {};
  parts.tm_wday = dayOfWeek;
  return FormatTm(abbreviated ? "%a" : "%A", parts);
}

XpString XpDateTime::GetMonthName(int32_t month, bool abbreviated) {
  if (month < 1 || month > kMonthsPerYear) {
    return XpString();
  }
  struct tm parts {};
  parts.tm_mon = month - 1;
  return FormatTm(abbreviated ? "%b" : "%B", parts);
}

bool XpDateTime::operator==(const XpDateTime& other) const { return Linear() == other.Linear(); }

bool XpDateTime::operator!=(const XpDateTime& other) const { return Linear() != other.Linear(); }

bool XpDateTime::operator<(const XpDateTime& other) const { return Linear() < other.Linear(); }

bool XpDateTime::operator>(const XpDateTime& other) const { return Linear() > other.Linear(); }

bool XpDateTime::operator<=(const XpDateTime& other) const { return Linear() <= other.Linear(); }

bool XpDateTime::operator>=(const XpDateTime& other) const { return Linear() >= other.Linear(); }

XpDateTime XpDateTime::operator+(const XpDateTimeSpan& span) const {
  return XpDateTime(XpDayCount::FromLinear(Linear() + span.GetValue()));
}

XpDateTime XpDateTime::operator-(const XpDateTimeSpan& span) const {
  return XpDateTime(XpDayCount::FromLinear(Linear() - span.GetValue()));
}

XpDateTime& XpDateTime::operator+=(const XpDateTimeSpan& span) {
  value_ = XpDayCount::FromLinear(Linear() + span.GetValue());
  return *this;
}

XpDateTime& XpDateTime::operator-=(const XpDateTimeSpan& span) {
  value_ = XpDayCount::FromLinear(Linear() - span.GetValue());
  return *this;
}

XpDateTimeSpan XpDateTime::operator-(const XpDateTime& other) const {
  return XpDateTimeSpan(Linear() - other.Linear());
}

bool XpDateTime::AddTime(int32_t hours, int32_t minutes, int32_t seconds) {
  // The count is 32 bits wide; a larger total wraps.
  const int64_t total =
      (int64_t{hours} * kMinutesPerHour + minutes) * kSecondsPerMinute + seconds;
  const int32_t count = static_cast<int32_t>(total);
  AssignChecked(XpDayCount::FromLinear(Linear() + count * XpDayCount::kSecond));
  return valid_;
}

bool XpDateTime::SubtractTime(int32_t hours, int32_t minutes, int32_t seconds) {
  const int64_t total =
      (int64_t{hours} * kMinutesPerHour + minutes) * kSecondsPerMinute + seconds;
  const int32_t count = static_cast<int32_t>(total);
  AssignChecked(XpDayCount::FromLinear(Linear() - count * XpDayCount::kSecond));
  return valid_;
}

bool XpDateTime::DifferenceInSeconds(const XpDateTime& other, int64_t* out) const {
  if (!valid_ || !other.valid_ || !InRange(value_) || !InRange(other.value_)) {
    Store(out, int64_t{0});
    return false;
  }
  const DayAndSecond mine = SplitDay(value_);
  const DayAndSecond theirs = SplitDay(other.value_);
  Store(out, (int64_t{mine.day} - theirs.day) * XpDayCount::kSecondsPerDay +
                 (mine.second - theirs.second));
  return true;
}

time_t XpDateTime::ToTime64() const {
  struct tm parts {};
  if (!ToTm(&parts)) {
    return static_cast<time_t>(-1);
  }
  return ConvertTm(parts, ::mktime).value_or(static_cast<time_t>(-1));
}

bool XpDateTime::ToFileTime(struct timespec* out) const {
  struct tm parts {};
  if (out == nullptr || !ToTm(&parts)) {
    return false;
  }
  const std::optional<time_t> seconds = ConvertTm(parts, ::mktime);
  if (!seconds) {
    return false;
  }
  out->tv_sec = *seconds;
  out->tv_nsec = 0;
  return true;
}

bool XpDateTime::UtcToLocal() {
  struct tm parts {};
  if (!ToTm(&parts)) {
    return false;
  }
  const std::optional<time_t> seconds = ConvertTm(parts, ::timegm);
  struct tm local {};
  if (!seconds || ::localtime_r(&*seconds, &local) == nullptr) {
    return false;
  }
  return SetFromTm(local);
}

XpString XpDateTime::FormatDate(int32_t style) const {
  struct tm parts {};
  if (!ToTm(&parts)) {
    return XpString();
  }
  const char* pattern = ::nl_langinfo(D_FMT);
  if (style == kDateStyleLong) {
    pattern = kLongDatePattern;
  } else if (style == kDateStyleYearMonth) {
    pattern = kYearMonthPattern;
  }
  return FormatTm(pattern, parts);
}

XpString XpDateTime::FormatTime(int32_t style, bool force24h) const {
  struct tm parts {};
  if (!ToTm(&parts)) {
    return XpString();
  }
  const std::string pattern =
      XpTimePattern(::nl_langinfo(T_FMT), ::nl_langinfo(T_FMT_AMPM), style, force24h);
  return FormatTm(pattern.c_str(), parts);
}

XpString XpDateTime::FormatDateTime(int32_t dateStyle, int32_t timeStyle, bool force24h) const {
  const XpString date = FormatDate(dateStyle);
  const XpString time = FormatTime(timeStyle, force24h);
  if (date.IsEmpty() || time.IsEmpty()) {
    return XpString();
  }
  return date + u" " + time;
}

bool XpDateTime::Parse(const XpString& text, const XpString& format) {
  FieldScanner scanner(text.View(), format.View());
  if (!scanner.FormatIsSupported()) {
    return false;
  }
  int32_t fields[kParseFieldCount] = {};
  const size_t count = scanner.Scan(fields);
  if (count < kMinParsedFields) {
    return false;
  }
  return SetDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

bool XpDateTime::ToTm(struct tm* out) const {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t dayOfWeek = 0;
  if (!GetParts(&year, &month, &day, &hour, &minute, &second, &dayOfWeek)) {
    return false;
  }
  *out = {};
  out->tm_year = year - kTmYearBase;
  out->tm_mon = month - 1;
  out->tm_mday = day;
  out->tm_hour = hour;
  out->tm_min = minute;
  out->tm_sec = second;
  out->tm_wday = dayOfWeek;
  out->tm_yday = DayOfYear(year, month, day) - 1;
  // Daylight saving time is decided for the date itself.
  out->tm_isdst = -1;
  return true;
}

bool XpDateTime::SetFromTm(const struct tm& parts) {
  const int64_t year = int64_t{parts.tm_year} + kTmYearBase;
  const bool yearFits = year >= kMinYear && year <= kMaxYear;
  // A leap second (second 60) reads as the last second of its minute.
  return SetDateTime(yearFits ? static_cast<int32_t>(year) : 0, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour, parts.tm_min, std::min(parts.tm_sec, kLastSecond));
}

double XpDateTime::Linear() const { return XpDayCount::ToLinear(value_); }

void XpDateTime::AssignChecked(double days) {
  value_ = days;
  valid_ = InRange(days);
}
