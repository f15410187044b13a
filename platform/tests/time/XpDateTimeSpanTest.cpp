#include "platform/time/XpDateTimeSpan.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr double kMax = XpDateTimeSpan::kMaxSpanDays;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

XpDateTimeSpan InvalidSpan(double days) {
  XpDateTimeSpan span(days);
  EXPECT_FALSE(span.IsValid());
  return span;
}

TEST(XpDateTimeSpan, BuildsFromPartsAndKeepsTheSignOfRemainders) {
  struct Case {
    XpDateTimeSpan span;
    int32_t days;
    int32_t totalHours;
    int64_t totalMinutes;
    int64_t totalSeconds;
    int32_t hours;
    int32_t minutes;
    int32_t seconds;
  };
  const Case cases[] = {
      {XpDateTimeSpan(0, 25, 0, 0), 1, 25, 1500, 90000, 1, 0, 0},
      {XpDateTimeSpan(-1.5), -1, -36, -2160, -129600, -12, 0, 0},
      {XpDateTimeSpan(0, -1, -2, -3), 0, -1, -62, -3723, -1, -2, -3},
      {XpDateTimeSpan(2, 3, 4, 5), 2, 51, 3064, 183845, 3, 4, 5},
      // Totals round to the nearest second; the days truncate the value.
      {XpDateTimeSpan(0.99999999), 0, 24, 1440, 86400, 0, 0, 0},
      {XpDateTimeSpan(-0.99999999), 0, -24, -1440, -86400, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.span.GetValue());
    EXPECT_TRUE(c.span.IsValid());
    EXPECT_EQ(c.span.GetDays(), c.days);
    EXPECT_EQ(c.span.GetTotalHours(), c.totalHours);
    EXPECT_EQ(c.span.GetTotalMinutes(), c.totalMinutes);
    EXPECT_EQ(c.span.GetTotalSeconds(), c.totalSeconds);
    EXPECT_EQ(c.span.GetHours(), c.hours);
    EXPECT_EQ(c.span.GetMinutes(), c.minutes);
    EXPECT_EQ(c.span.GetSeconds(), c.seconds);
  }
}

TEST(XpDateTimeSpan, SetSpanAddsSecondsMinutesHoursThenDays) {
  XpDateTimeSpan span;
  span.SetSpan(1, 2, 3, 4);
  EXPECT_EQ(span.GetValue(), 4 * (1.0 / 86400) + 3 * (1.0 / 1440) + 2 * (1.0 / 24) + 1);
  EXPECT_TRUE(span.IsValid());
}

TEST(XpDateTimeSpan, IsValidOnlyWithinTheDistanceOfTheDateRange) {
  EXPECT_TRUE(XpDateTimeSpan().IsValid());
  EXPECT_EQ(XpDateTimeSpan().GetValue(), 0.0);
  EXPECT_TRUE(XpDateTimeSpan(kMax).IsValid());
  EXPECT_TRUE(XpDateTimeSpan(-kMax).IsValid());
  EXPECT_FALSE(XpDateTimeSpan(std::nextafter(kMax, kInfinity)).IsValid());
  EXPECT_FALSE(XpDateTimeSpan(std::nextafter(-kMax, -kInfinity)).IsValid());
  EXPECT_FALSE(XpDateTimeSpan(std::nan("")).IsValid());

  XpDateTimeSpan assigned;
  assigned = kMax + 1.0;
  EXPECT_FALSE(assigned.IsValid());
  EXPECT_EQ(assigned.GetValue(), kMax + 1.0);
  assigned = 1.0;
  EXPECT_TRUE(assigned.IsValid());
}

TEST(XpDateTimeSpan, ArithmeticWithAnInvalidOperandGivesZeroNotValid) {
  const XpDateTimeSpan invalid = InvalidSpan(kMax * 2);
  const XpDateTimeSpan one(1.0);
  for (const XpDateTimeSpan& result : {invalid + one, one + invalid, invalid - one, one - invalid}) {
    EXPECT_FALSE(result.IsValid());
    EXPECT_EQ(result.GetValue(), 0.0);
  }
  XpDateTimeSpan accumulated(1.0);
  accumulated += invalid;
  EXPECT_FALSE(accumulated.IsValid());
  EXPECT_EQ(accumulated.GetValue(), 0.0);
}

TEST(XpDateTimeSpan, ArithmeticLeavingTheRangeKeepsTheValue) {
  const XpDateTimeSpan sum = XpDateTimeSpan(kMax) + XpDateTimeSpan(1.0);
  EXPECT_FALSE(sum.IsValid());
  EXPECT_EQ(sum.GetValue(), kMax + 1.0);

  XpDateTimeSpan span(kMax);
  span -= XpDateTimeSpan(-1.0);
  EXPECT_FALSE(span.IsValid());
  span = 2.5;
  span -= XpDateTimeSpan(1.0);
  EXPECT_TRUE(span.IsValid());
  EXPECT_EQ(span.GetValue(), 1.5);

  EXPECT_EQ((-XpDateTimeSpan(1.25)).GetValue(), -1.25);
  EXPECT_FALSE((-InvalidSpan(kMax * 2)).IsValid());
}

TEST(XpDateTimeSpan, ComparisonsLookAtTheValidFlags) {
  const XpDateTimeSpan one(1.0);
  const XpDateTimeSpan two(2.0);
  const XpDateTimeSpan big = InvalidSpan(kMax * 2);
  const XpDateTimeSpan sameBig = InvalidSpan(kMax * 2);
  const XpDateTimeSpan invalidZero = InvalidSpan(kMax * 2) + one;  // 0.0, not valid
  const XpDateTimeSpan zero(0.0);

  EXPECT_TRUE(one < two);
  EXPECT_TRUE(two > one);
  EXPECT_TRUE(one <= two);
  EXPECT_TRUE(one <= one);
  EXPECT_TRUE(two >= one);
  EXPECT_TRUE(one == XpDateTimeSpan(1.0));

  // Same value, different flags.
  EXPECT_FALSE(invalidZero == zero);
  EXPECT_TRUE(invalidZero != zero);
  EXPECT_FALSE(invalidZero <= zero);
  EXPECT_FALSE(invalidZero >= zero);

  // Strict order needs both valid; equal flags and values still count.
  EXPECT_FALSE(one < big);
  EXPECT_FALSE(big > one);
  EXPECT_FALSE(big < sameBig);
  EXPECT_TRUE(big == sameBig);
  EXPECT_TRUE(big <= sameBig);
  EXPECT_TRUE(big >= sameBig);
}

TEST(XpDateTimeSpan, TotalsOfAHugeInvalidSpanSaturate) {
  const XpDateTimeSpan huge = InvalidSpan(1e300);
  EXPECT_EQ(huge.GetDays(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(huge.GetTotalHours(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(huge.GetTotalSeconds(), std::numeric_limits<int64_t>::max());
  const XpDateTimeSpan tiny = InvalidSpan(-1e300);
  EXPECT_EQ(tiny.GetTotalMinutes(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(XpDateTimeSpan(std::nan("")).GetTotalHours(), 0);
}

}  // namespace
