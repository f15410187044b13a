#include "imaging/tags/XpTiffTagFormat.h"

#include <iterator>

namespace {

struct ApexRow {
  uint32_t numerator;
  uint32_t denominator;
  const char16_t* text;
};

constexpr int32_t kApexFirstIndex = -5;
constexpr ApexRow kApexRows[] = {
    {30, 1, u"30"},     {15, 1, u"15"},     {8, 1, u"8"},         {4, 1, u"4"},
    {2, 1, u"2"},       {1, 1, u"1"},       {1, 2, u"1/2"},       {1, 4, u"1/4"},
    {1, 8, u"1/8"},     {1, 15, u"1/15"},   {1, 30, u"1/30"},     {1, 60, u"1/60"},
    {1, 125, u"1/125"}, {1, 250, u"1/250"}, {1, 500, u"1/500"},   {1, 1000, u"1/1000"},
    {1, 2000, u"1/2000"}, {1, 4000, u"1/4000"},
};

// Below this many times the numerator the denominator is shown as a
// fraction with one decimal.
constexpr uint64_t kWholeFractionFrom = 3;
constexpr double kExactlyHalf = 2.0;
constexpr double kShownAsOne = 1.1;
constexpr double kShownAsThree = 2.9;

const ApexRow* ApexRowOf(int32_t index) {
  const int64_t row = int64_t{index} - kApexFirstIndex;
  if (row < 0 || row >= static_cast<int64_t>(std::size(kApexRows))) {
    return nullptr;
  }
  return &kApexRows[row];
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

template <typename... Args>
XpString Formatted(const char16_t* format, const Args&... args) {
  XpString text;
  if (text.Format(format, args...) != kXpOk) {
    return XpString();
  }
  return text;
}

}  // namespace

XpStringA XpTiffTagFormatDateTime(const XpDateTime& time) {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  if (!time.GetParts(&year, &month, &day, &hour, &minute, &second, nullptr)) {
    return XpStringA();
  }
  return Formatted(u"%04ld:%02ld:%02ld %02ld:%02ld:%02ld", year, month, day, hour, minute,
                   second)
      .ToMultiByte();
}

XpStringA XpTiffTagFormatNow() { return XpTiffTagFormatDateTime(XpDateTime::Now()); }

XpString XpTiffTagFormatExposure(int64_t numerator, int64_t denominator) {
  const uint64_t n = Magnitude(numerator);
  const uint64_t d = Magnitude(denominator);
  if (n == 0 || d == 0) {
    return XpString();
  }
  if (d <= n) {
    return Formatted(u"%.1lf", static_cast<double>(n) / static_cast<double>(d));
  }
  const uint64_t quotient = d / n;
  if (quotient >= kWholeFractionFrom) {
    return Formatted(u"1/%llu", quotient);
  }
  double ratio = static_cast<double>(d) / static_cast<double>(n);
  if (ratio == kExactlyHalf) {
    return XpString(u"1/2");
  }
  if (ratio < kShownAsOne) {
    ratio = 1.0;
  } else if (ratio > kShownAsThree) {
    ratio = 3.0;
  }
  return Formatted(u"1/%.1lf", ratio);
}

bool XpTiffTagApexShutterTime(int32_t index, uint32_t& numerator, uint32_t& denominator) {
  const ApexRow* row = ApexRowOf(index);
  if (row == nullptr) {
    return false;
  }
  numerator = row->numerator;
  denominator = row->denominator;
  return true;
}

XpString XpTiffTagApexShutterText(int32_t index) {
  const ApexRow* row = ApexRowOf(index);
  return row != nullptr ? XpString(row->text) : XpString();
}
