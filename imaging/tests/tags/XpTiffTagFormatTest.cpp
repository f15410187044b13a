#include "imaging/tags/XpTiffTagFormat.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/time/XpDateTime.h"

namespace {

using XpTiffTagFormat = testsupport::HermeticTest;

TEST_F(XpTiffTagFormat, ExposureTexts) {
  const struct {
    int64_t numerator;
    int64_t denominator;
    const char16_t* text;
  } cases[] = {
      {1, 250, u"1/250"},
      {10, 25, u"1/2.5"},
      {1, 2, u"1/2"},
      {2, 1, u"2.0"},
      {1, 1, u"1.0"},
      {100, 105, u"1/1.0"},
      {10, 29, u"1/2.9"},
      {100, 295, u"1/3.0"},
      {1, 3, u"1/3"},
      {-1, 250, u"1/250"},
      {1, -250, u"1/250"},
      {0, 5, u""},
      {5, 0, u""},
      {10, 15, u"1/1.5"},
      {1, 2147483648, u"1/2147483648"},
      {INT32_MIN, 1, u"2147483648.0"},
      {1, INT32_MIN, u"1/2147483648"},
      {1, std::numeric_limits<int64_t>::min(), u"1/9223372036854775808"},
      {3000000000, 1, u"3000000000.0"},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(::testing::Message() << entry.numerator << "/" << entry.denominator);
    EXPECT_EQ(XpTiffTagFormatExposure(entry.numerator, entry.denominator), XpString(entry.text));
  }
}

TEST_F(XpTiffTagFormat, ApexShutterRows) {
  const struct {
    int32_t index;
    bool inTable;
    uint32_t numerator;
    uint32_t denominator;
    const char16_t* text;
  } cases[] = {
      {-5, true, 30, 1, u"30"},      {-1, true, 2, 1, u"2"},     {0, true, 1, 1, u"1"},
      {1, true, 1, 2, u"1/2"},       {4, true, 1, 15, u"1/15"},  {6, true, 1, 60, u"1/60"},
      {7, true, 1, 125, u"1/125"},   {12, true, 1, 4000, u"1/4000"},
      {13, false, 0, 0, u""},        {-6, false, 0, 0, u""},
      {INT32_MIN, false, 0, 0, u""}, {INT32_MAX, false, 0, 0, u""},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.index);
    EXPECT_EQ(XpTiffTagApexShutterText(entry.index), XpString(entry.text));
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    EXPECT_EQ(XpTiffTagApexShutterTime(entry.index, numerator, denominator), entry.inTable);
    EXPECT_EQ(numerator, entry.numerator);
    EXPECT_EQ(denominator, entry.denominator);
  }
}

TEST_F(XpTiffTagFormat, ExifDateTexts) {
  const XpStringA text = XpTiffTagFormatDateTime(XpDateTime(2009, 5, 6, 7, 8, 9));
  EXPECT_EQ(text, "2009:05:06 07:08:09");
  EXPECT_EQ(text.GetLength(), 19);
  EXPECT_EQ(XpTiffTagFormatDateTime(XpDateTime(100, 1, 1, 0, 0, 0)), "0100:01:01 00:00:00");
  EXPECT_EQ(XpTiffTagFormatDateTime(XpDateTime(9999, 12, 31, 23, 59, 59)),
            "9999:12:31 23:59:59");
  // A date that is not valid has no text.
  EXPECT_TRUE(XpTiffTagFormatDateTime(XpDateTime()).IsEmpty());
}

TEST_F(XpTiffTagFormat, NowIsTheLocalTimeInExifForm) {
  const XpDateTime before = XpDateTime::Now();
  const XpStringA now = XpTiffTagFormatNow();
  const XpDateTime after = XpDateTime::Now();
  ASSERT_EQ(now.GetLength(), 19);
  // The text is one of the two readings around it.
  EXPECT_TRUE(now == XpTiffTagFormatDateTime(before) || now == XpTiffTagFormatDateTime(after))
      << now.CStr();
}

}  // namespace
