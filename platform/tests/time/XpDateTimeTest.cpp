#include "platform/time/XpDateTime.h"

#include <locale.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using Date = ::XpDateTime;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Every test runs in a hermetic environment (TZ=UTC) with the C.UTF-8
// locale on its thread.
class XpDateTimeFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    locale_ = ::newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
    ASSERT_NE(locale_, locale_t{});
    previous_ = ::uselocale(locale_);
  }

  void TearDown() override {
    if (locale_ != locale_t{}) {
      ::uselocale(previous_);
      ::freelocale(locale_);
    }
    HermeticTest::TearDown();
  }

  void UseZone(const std::string& zone) {
    SetEnv("TZ", zone);
    ::tzset();
  }

 private:
  locale_t locale_{};
  locale_t previous_{};
};

// The suite carries the class's name; the class itself is Date here.
using XpDateTime = XpDateTimeFixture;

struct Parts {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;

  bool operator==(const Parts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parts& p) {
  return out << p.year << '-' << p.month << '-' << p.day << ' ' << p.hour << ':' << p.minute
             << ':' << p.second;
}

Parts PartsOf(const Date& date) {
  Parts parts{};
  EXPECT_TRUE(date.GetParts(&parts.year, &parts.month, &parts.day, &parts.hour, &parts.minute,
                            &parts.second, nullptr));
  return parts;
}

Date MakeDate(const Parts& p) {
  return Date(p.year, p.month, p.day, p.hour, p.minute, p.second);
}

std::u16string Text(const XpString& text) { return std::u16string(text.View()); }

TEST_F(XpDateTime, PartsToValueAcceptsOnlyRealDates) {
  struct Case {
    Parts parts;
    bool accepted;
    double value;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0}, true, 0.0},
      {{1899, 12, 29, 6, 0, 0}, true, -1.25},
      {{100, 1, 1, 0, 0, 0}, true, -657434.0},
      {{100, 1, 1, 12, 0, 0}, true, -657434.5},
      {{9999, 12, 31, 23, 59, 59}, true, 2958465.999988426},
      {{2000, 2, 29, 0, 0, 0}, true, 36585.0},
      {{2000, 1, 1, 18, 0, 0}, true, 36526.75},
      {{1900, 2, 29, 0, 0, 0}, false, 0},
      {{2006, 4, 31, 0, 0, 0}, false, 0},
      {{2006, 1, 0, 0, 0, 0}, false, 0},
      {{2006, 0, 1, 0, 0, 0}, false, 0},
      {{2006, 13, 1, 0, 0, 0}, false, 0},
      {{99, 12, 31, 23, 59, 59}, false, 0},
      {{10000, 1, 1, 0, 0, 0}, false, 0},
      {{2006, 1, 2, 24, 0, 0}, false, 0},
      {{2006, 1, 2, 0, 60, 0}, false, 0},
      {{2006, 1, 2, 0, 0, 60}, false, 0},
      {{2006, 1, 2, -1, 0, 0}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.parts);
    constexpr double kUntouched = 12345.5;
    double value = kUntouched;
    const Parts& p = c.parts;
    EXPECT_EQ(Date::PartsToValue(p.year, p.month, p.day, p.hour, p.minute, p.second, &value),
              c.accepted);
    EXPECT_EQ(value, c.accepted ? c.value : kUntouched);
    EXPECT_EQ(MakeDate(p).IsValid(), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(PartsOf(MakeDate(p)), p);
    }
  }
  EXPECT_EQ(MakeDate({9999, 12, 31, 23, 59, 59}).GetValue(), Date::kMaxDays);
}

TEST_F(XpDateTime, ValueToPartsRoundsToTheNearestSecond) {
  struct Case {
    double value;
    Parts parts;
    int32_t dayOfWeek;
  };
  const Case cases[] = {
      {0.0, {1899, 12, 30, 0, 0, 0}, 6},
      {0.99999999, {1899, 12, 31, 0, 0, 0}, 0},
      {-1.25, {1899, 12, 29, 6, 0, 0}, 5},
      {-0.25, {1899, 12, 30, 6, 0, 0}, 6},
      {Date::kMaxDays, {9999, 12, 31, 23, 59, 59}, 5},
      {Date::kMinDays, {100, 1, 1, 0, 0, 0}, 5},
      // Every time of the first day is inside the range.
      {Date::kMinDays - 0.99999, {100, 1, 1, 23, 59, 59}, 5},
      {38719.12783564815, {2006, 1, 2, 3, 4, 5}, 1},
      // The last half second of a day before 1899-12-30 rounds into the
      // next day, as it does after it.
      {-1.99999999, {1899, 12, 30, 0, 0, 0}, 6},
      {-2.99999999, {1899, 12, 29, 0, 0, 0}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Parts parts{};
    int32_t dayOfWeek = -1;
    ASSERT_TRUE(Date::ValueToParts(c.value, &parts.year, &parts.month, &parts.day, &parts.hour,
                                   &parts.minute, &parts.second, &dayOfWeek));
    EXPECT_EQ(parts, c.parts);
    EXPECT_EQ(dayOfWeek, c.dayOfWeek);
  }
  for (double outside : {std::nextafter(Date::kMaxDays, kInfinity), Date::kMinDays - 1.0,
                         Date::kMinDays - 1.25, std::nan("")}) {
    int32_t year = -7;
    EXPECT_FALSE(Date::ValueToParts(outside, &year, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr));
    EXPECT_EQ(year, -7);
  }
}

// Walks the calendar day by day over the whole range and checks both
// conversions and the day of the week against it.
TEST_F(XpDateTime, EveryDayOfTheRangeConvertsBothWays) {
  Parts expected{100, 1, 1, 12, 34, 56};
  const double timeOfDay = (12 * 3600 + 34 * 60 + 56) * (1.0 / 86400);
  int32_t expectedDayOfWeek = 5;  // 0100-01-01 was a Friday.
  int failures = 0;
  for (int32_t day = -657434; day <= 2958465 && failures < 5; ++day) {
    const double value = day >= 0 ? day + timeOfDay : day - timeOfDay;
    Parts parts{};
    int32_t dayOfWeek = -1;
    double back = 0.0;
    const bool ok = Date::ValueToParts(value, &parts.year, &parts.month, &parts.day, &parts.hour,
                                       &parts.minute, &parts.second, &dayOfWeek) &&
                    Date::PartsToValue(expected.year, expected.month, expected.day,
                                       expected.hour, expected.minute, expected.second, &back);
    if (!ok || parts != expected || dayOfWeek != expectedDayOfWeek || back != value) {
      ADD_FAILURE() << "day " << day << ": got " << parts << " weekday " << dayOfWeek
                    << ", expected " << expected << " weekday " << expectedDayOfWeek;
      ++failures;
    }
    expectedDayOfWeek = (expectedDayOfWeek + 1) % 7;
    if (++expected.day > Date::DaysInMonth(expected.year, expected.month)) {
      expected.day = 1;
      if (++expected.month > 12) {
        expected.month = 1;
        ++expected.year;
      }
    }
  }
  EXPECT_EQ(expected, (Parts{10000, 1, 1, 12, 34, 56}));
}

TEST_F(XpDateTime, CalendarHelpers) {
  EXPECT_TRUE(Date::IsLeapYear(2000));
  EXPECT_TRUE(Date::IsLeapYear(2004));
  EXPECT_FALSE(Date::IsLeapYear(1900));
  EXPECT_FALSE(Date::IsLeapYear(2006));
  EXPECT_EQ(Date::DaysInMonth(2000, 2), 29);
  EXPECT_EQ(Date::DaysInMonth(1900, 2), 28);
  EXPECT_EQ(Date::DaysInMonth(2006, 12), 31);
  EXPECT_EQ(Date::DaysInMonth(2006, 13), 0);
  EXPECT_EQ(Date::DayOfYear(2000, 3, 1), 61);
  EXPECT_EQ(Date::DayOfYear(1900, 3, 1), 60);
  EXPECT_EQ(Date::DayOfYear(2006, 0, 1), -1);
  EXPECT_EQ(Date(2000, 12, 31, 0, 0, 0).GetDayOfYear(), 366);
}

TEST_F(XpDateTime, GettersOfAnInvalidDateGiveMinusOne) {
  const Date date(2006, 1, 2, 3, 4, 5);
  EXPECT_EQ(date.GetYear(), 2006);
  EXPECT_EQ(date.GetMonth(), 1);
  EXPECT_EQ(date.GetDay(), 2);
  EXPECT_EQ(date.GetHour(), 3);
  EXPECT_EQ(date.GetMinute(), 4);
  EXPECT_EQ(date.GetSecond(), 5);
  EXPECT_EQ(date.GetDayOfWeek(), 1);
  EXPECT_EQ(date.GetDayOfYear(), 2);

  for (const Date& invalid : {Date(), Date(Date::kMaxDays + 1.0), Date(2006, 2, 30, 0, 0, 0)}) {
    EXPECT_FALSE(invalid.IsValid());
    EXPECT_EQ(invalid.GetYear(), -1);
    EXPECT_EQ(invalid.GetMonth(), -1);
    EXPECT_EQ(invalid.GetDay(), -1);
    EXPECT_EQ(invalid.GetHour(), -1);
    EXPECT_EQ(invalid.GetMinute(), -1);
    EXPECT_EQ(invalid.GetSecond(), -1);
    EXPECT_EQ(invalid.GetDayOfWeek(), -1);
    EXPECT_EQ(invalid.GetDayOfYear(), -1);
    EXPECT_FALSE(invalid.GetParts(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  }
}

TEST_F(XpDateTime, SettersCheckTheRangeAndKeepTheValueOnBadParts) {
  Date date(1.5);
  EXPECT_TRUE(date.IsValid());
  EXPECT_FALSE(date.SetDateTime(2006, 2, 29, 0, 0, 0));
  EXPECT_FALSE(date.IsValid());
  EXPECT_EQ(date.GetValue(), 1.5);
  EXPECT_TRUE(date.SetDateTime(2006, 1, 2, 3, 4, 5));
  EXPECT_EQ(PartsOf(date), (Parts{2006, 1, 2, 3, 4, 5}));

  date = Date::kMinDays - 1.0;
  EXPECT_FALSE(date.IsValid());
  EXPECT_EQ(date.GetValue(), Date::kMinDays - 1.0);
  date = -1.25;
  EXPECT_TRUE(date.IsValid());
}

TEST_F(XpDateTime, ComparesInTimeOrderIgnoringTheFlags) {
  // Midnight of 29 December comes before 06:00 of that day.
  EXPECT_TRUE(Date(-1.0) < Date(-1.25));
  EXPECT_TRUE(Date(-1.25) > Date(-1.0));
  EXPECT_TRUE(Date(-1.25) < Date(0.0));
  EXPECT_TRUE(Date(-1.25) <= Date(-1.25));
  EXPECT_TRUE(Date(-1.25) >= Date(-1.0));
  EXPECT_TRUE(Date(-1.25) != Date(-1.0));
  // Both name 1899-12-30 06:00.
  EXPECT_TRUE(Date(-0.25) == Date(0.25));
  // A default date (0.0, not valid) equals a valid 0.0.
  EXPECT_TRUE(Date() == Date(0.0));
  EXPECT_TRUE(Date(Date::kMaxDays + 1.0) > Date(Date::kMaxDays));
}

TEST_F(XpDateTime, SpanArithmeticRunsOnTheLinearScale) {
  EXPECT_EQ((Date(-1.25) + XpDateTimeSpan(0.0)).GetValue(), -1.25);
  // 1899-12-29 18:00 plus twelve hours is 1899-12-30 06:00.
  const Date later = Date(-1.75) + XpDateTimeSpan(0, 12, 0, 0);
  EXPECT_EQ(later.GetValue(), 0.25);
  EXPECT_EQ((later - XpDateTimeSpan(0, 12, 0, 0)).GetValue(), -1.75);
  EXPECT_EQ((Date(-1.25) - Date(0.25)).GetValue(), -1.0);
  EXPECT_EQ((Date(0.5) - Date(-1.5)).GetValue(), 1.0);

  // + and - check the range; the span's flag is not looked at.
  const XpDateTimeSpan invalidDay(XpDateTimeSpan::kMaxSpanDays + 1.0);
  ASSERT_FALSE(invalidDay.IsValid());
  const Date moved = Date(1.0) + invalidDay;
  EXPECT_FALSE(moved.IsValid());
  EXPECT_EQ(moved.GetValue(), XpDateTimeSpan::kMaxSpanDays + 2.0);
  EXPECT_TRUE((moved - invalidDay).IsValid());
  const XpDateTimeSpan whole = Date(Date::kMaxDays) - Date(Date::kMinDays);
  EXPECT_TRUE(whole.IsValid());
  EXPECT_EQ(whole.GetValue(), XpDateTimeSpan::kMaxSpanDays);
}

TEST_F(XpDateTime, CompoundAssignmentKeepsTheFlag) {
  Date valid(Date::kMaxDays);
  valid += XpDateTimeSpan(1.0);
  EXPECT_TRUE(valid.IsValid());
  EXPECT_EQ(valid.GetValue(), Date::kMaxDays + 1.0);

  Date invalid(Date::kMaxDays + 1.0);
  invalid -= XpDateTimeSpan(1.0);
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(invalid.GetValue(), Date::kMaxDays);
}

TEST_F(XpDateTime, AddAndSubtractTimeMoveBySecondsAndCheckTheRange) {
  Date date(2006, 1, 2, 23, 59, 0);
  EXPECT_TRUE(date.AddTime(1, 2, 3));
  EXPECT_EQ(PartsOf(date), (Parts{2006, 1, 3, 1, 1, 3}));
  EXPECT_TRUE(date.SubtractTime(1, 2, 3));
  EXPECT_EQ(PartsOf(date), (Parts{2006, 1, 2, 23, 59, 0}));

  Date early(1899, 12, 29, 23, 0, 0);
  EXPECT_TRUE(early.AddTime(2, 0, 0));
  EXPECT_EQ(PartsOf(early), (Parts{1899, 12, 30, 1, 0, 0}));

  Date last(Date::kMaxDays);
  EXPECT_FALSE(last.AddTime(0, 0, 1));
  EXPECT_TRUE(last.SubtractTime(0, 0, 1));
  EXPECT_EQ(PartsOf(last), (Parts{9999, 12, 31, 23, 59, 59}));

  // The count is 32 bits: 596524 hours are 2147486400 seconds, which wrap
  // to -2147480896.
  Date wrapped(2006, 1, 2, 0, 0, 0);
  EXPECT_TRUE(wrapped.AddTime(596524, 0, 0));
  Date expected(2006, 1, 2, 0, 0, 0);
  EXPECT_TRUE(expected.SubtractTime(0, 0, 2147480896));
  EXPECT_EQ(PartsOf(wrapped), PartsOf(expected));
}

TEST_F(XpDateTime, DifferenceInSecondsCountsOnTheParts) {
  int64_t seconds = -1;
  EXPECT_TRUE(Date(2006, 1, 2, 3, 4, 5).DifferenceInSeconds(Date(2006, 1, 1, 0, 0, 0), &seconds));
  EXPECT_EQ(seconds, 86400 + 3 * 3600 + 4 * 60 + 5);
  EXPECT_TRUE(Date(-1.25).DifferenceInSeconds(Date(0.25), &seconds));
  EXPECT_EQ(seconds, -86400);
  EXPECT_TRUE(Date(Date::kMaxDays).DifferenceInSeconds(Date(Date::kMinDays), &seconds));
  EXPECT_EQ(seconds, int64_t{3615899} * 86400 + 86399);

  seconds = -1;
  EXPECT_FALSE(Date(1.0).DifferenceInSeconds(Date(), &seconds));
  EXPECT_EQ(seconds, 0);
  Date movedOut(Date::kMaxDays);
  movedOut += XpDateTimeSpan(1.0);  // still flagged valid, but outside
  EXPECT_FALSE(movedOut.DifferenceInSeconds(Date(1.0), &seconds));
}

TEST_F(XpDateTime, ParseReadsDecimalFieldsInOrder) {
  struct Case {
    const char16_t* text;
    const char16_t* format;
    bool result;
    Parts parts;
  };
  const Case cases[] = {
      {u"2006/01/02", u"%d/%d/%d", true, {2006, 1, 2, 0, 0, 0}},
      {u"2006:01:02 03:04:05", u"%d:%d:%d %d:%d:%d", true, {2006, 1, 2, 3, 4, 5}},
      {u"2006:01:02 07", u"%d:%d:%d %d:%d:%d", true, {2006, 1, 2, 7, 0, 0}},
      {u"20060102 0304", u"%4d%2d%2d%2d%2d", true, {2006, 1, 2, 3, 4, 0}},
      {u"  2006 -\t1-2", u"%d - %d-%d", true, {2006, 1, 2, 0, 0, 0}},
      {u"2006- 1-+2", u"%d-%d-%d", true, {2006, 1, 2, 0, 0, 0}},
      {u"100%1/1", u"%d%%%d/%d", true, {100, 1, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << XpString(c.text).ToMultiByte().CStr());
    Date date;
    EXPECT_EQ(date.Parse(c.text, c.format), c.result);
    EXPECT_EQ(PartsOf(date), c.parts);
  }
}

TEST_F(XpDateTime, ParseRefusesShortTextsBadDatesAndOtherConversions) {
  struct Case {
    const char16_t* text;
    const char16_t* format;
    bool changes;  // the parts were read and refused
  };
  const Case cases[] = {
      {u"2006/01", u"%d/%d/%d", false},
      {u"2006-01-02", u"%d/%d/%d", false},
      {u"", u"%d/%d/%d", false},
      {u"2006/01/02", u"%d/%d/%s", false},
      {u"2006/01/02", u"%d/%d/%ld", false},
      {u"2006/01/02", u"%d/%d/%d%", false},
      {u"2006/01/02", u"%d/%d/%0d", false},
      {u"1/2/3/4/5/6/7", u"%d/%d/%d/%d/%d/%d/%d", false},
      {u"2006/02/30", u"%d/%d/%d", true},
      {u"-2006/01/02", u"%d/%d/%d", true},
      {u"99999999999/01/02", u"%d/%d/%d", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << XpString(c.text).ToMultiByte().CStr() << " with "
                                    << XpString(c.format).ToMultiByte().CStr());
    Date date(2001, 2, 3, 4, 5, 6);
    const double before = date.GetValue();
    EXPECT_FALSE(date.Parse(c.text, c.format));
    EXPECT_EQ(date.GetValue(), before);
    EXPECT_EQ(date.IsValid(), !c.changes);
  }
}

TEST_F(XpDateTime, LocalTimeFollowsTheZoneOfEachDate) {
  UseZone("Europe/Berlin");
  EXPECT_EQ(Date(2006, 7, 1, 12, 0, 0).ToTime64(), 1151748000);
  EXPECT_EQ(Date(2006, 1, 15, 12, 0, 0).ToTime64(), 1137322800);

  struct timespec winter {};
  struct timespec summer {};
  ASSERT_TRUE(Date(2006, 1, 15, 12, 0, 0).ToFileTime(&winter));
  ASSERT_TRUE(Date(2006, 7, 15, 12, 0, 0).ToFileTime(&summer));
  EXPECT_EQ(winter.tv_sec, 1137322800);
  EXPECT_EQ(winter.tv_nsec, 0);
  EXPECT_EQ(summer.tv_sec, 1152957600);
  EXPECT_EQ(summer.tv_nsec, 0);

  EXPECT_EQ(Date(time_t{1151748000}).GetHour(), 12);
  EXPECT_EQ(PartsOf(Date(time_t{1137322800})), (Parts{2006, 1, 15, 12, 0, 0}));

  Date summerUtc(2006, 7, 1, 10, 0, 0);
  EXPECT_TRUE(summerUtc.UtcToLocal());
  EXPECT_EQ(PartsOf(summerUtc), (Parts{2006, 7, 1, 12, 0, 0}));
  Date winterUtc(2006, 1, 15, 11, 0, 0);
  EXPECT_TRUE(winterUtc.UtcToLocal());
  EXPECT_EQ(PartsOf(winterUtc), (Parts{2006, 1, 15, 12, 0, 0}));

  UseZone("America/New_York");
  EXPECT_EQ(Date(2006, 7, 1, 12, 0, 0).ToTime64(), 1151769600);
  Date newYork(2006, 7, 1, 16, 0, 0);
  EXPECT_TRUE(newYork.UtcToLocal());
  EXPECT_EQ(newYork.GetHour(), 12);
}

TEST_F(XpDateTime, TimeConversionsInUtc) {
  EXPECT_EQ(Date(1970, 1, 1, 0, 0, 0).ToTime64(), 0);
  // One second before 1970 is -1, and still a success.
  struct timespec fileTime {};
  ASSERT_TRUE(Date(1969, 12, 31, 23, 59, 59).ToFileTime(&fileTime));
  EXPECT_EQ(fileTime.tv_sec, -1);
  EXPECT_EQ(PartsOf(Date(time_t{-1})), (Parts{1969, 12, 31, 23, 59, 59}));
  EXPECT_EQ(PartsOf(Date(time_t{-58991587200})), (Parts{100, 8, 19, 0, 0, 0}));

  Date utc(2006, 1, 2, 3, 4, 5);
  EXPECT_TRUE(utc.UtcToLocal());
  EXPECT_EQ(PartsOf(utc), (Parts{2006, 1, 2, 3, 4, 5}));

  // Times that fall outside the date range cannot be converted.
  EXPECT_FALSE(Date(time_t{253402300800}).IsValid());  // 10000-01-01
  EXPECT_FALSE(Date(std::numeric_limits<time_t>::max()).IsValid());
  Date kept(1.5);
  const time_t tooLate = std::numeric_limits<time_t>::max();
  EXPECT_FALSE(kept.SetFromTime64(&tooLate));
  EXPECT_FALSE(kept.SetFromTime64(nullptr));
  EXPECT_TRUE(kept.IsValid());
  EXPECT_EQ(kept.GetValue(), 1.5);

  EXPECT_EQ(Date().ToTime64(), -1);
  EXPECT_FALSE(Date().ToFileTime(&fileTime));
  EXPECT_FALSE(Date(1.0).ToFileTime(nullptr));
  Date invalid;
  EXPECT_FALSE(invalid.UtcToLocal());
  EXPECT_EQ(invalid.GetValue(), 0.0);
}

TEST_F(XpDateTime, NowIsTheCurrentTime) {
  const time_t before = std::time(nullptr);
  const Date now = Date::Now();
  const time_t after = std::time(nullptr);
  ASSERT_TRUE(now.IsValid());
  EXPECT_GE(now.ToTime64(), before);
  EXPECT_LE(now.ToTime64(), after);
}

TEST_F(XpDateTime, FormatsForPeopleInTheLocale) {
  const Date date(2006, 1, 2, 3, 4, 5);
  EXPECT_EQ(Text(date.FormatDate(0)), u"01/02/06");
  EXPECT_EQ(Text(date.FormatDate(7)), u"01/02/06");
  EXPECT_EQ(Text(date.FormatDate(1)), u"Monday, 02 January 2006");
  EXPECT_EQ(Text(date.FormatDate(2)), u"January 2006");
  EXPECT_EQ(Text(date.FormatTime(2, false)), u"03:04:05");
  EXPECT_EQ(Text(date.FormatTime(1, false)), u"03:04");
  EXPECT_EQ(Text(date.FormatTime(0, false)), u"03");
  EXPECT_EQ(Text(date.FormatTime(2, true)), u"03:04:05");
  EXPECT_EQ(Text(date.FormatDateTime(0, 2, false)), u"01/02/06 03:04:05");
  EXPECT_EQ(Text(Date(2006, 1, 2, 15, 4, 5).FormatDateTime(1, 1, false)),
            u"Monday, 02 January 2006 15:04");
  EXPECT_EQ(Text(Date(-1.25).FormatDate(1)), u"Friday, 29 December 1899");

  const Date invalid(Date::kMaxDays + 1.0);
  EXPECT_EQ(Text(invalid.FormatDate(0)), u"");
  EXPECT_EQ(Text(invalid.FormatTime(2, false)), u"");
  EXPECT_EQ(Text(invalid.FormatDateTime(0, 2, false)), u"");
}

TEST_F(XpDateTime, NamesOfDaysAndMonths) {
  EXPECT_EQ(Text(Date::GetDayOfWeekName(0, false)), u"Sunday");
  EXPECT_EQ(Text(Date::GetDayOfWeekName(6, true)), u"Sat");
  EXPECT_EQ(Text(Date::GetMonthName(1, true)), u"Jan");
  EXPECT_EQ(Text(Date::GetMonthName(12, false)), u"December");
  EXPECT_EQ(Text(Date::GetDayOfWeekName(7, false)), u"");
  EXPECT_EQ(Text(Date::GetDayOfWeekName(-1, true)), u"");
  EXPECT_EQ(Text(Date::GetMonthName(13, true)), u"");
  EXPECT_EQ(Text(Date::GetMonthName(0, false)), u"");
}

}  // namespace
