#include "platform/time/XpTimePattern.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kAmPm = "%I:%M:%S %p";

TEST(XpTimePattern, RemovesFieldsWithTheirSeparatorsOrUnits) {
  struct Case {
    const char* timeFormat;
    const char* amPmFormat;
    int32_t style;
    bool force24h;
    const char* expected;
  };
  const Case cases[] = {
      {"%H:%M:%S", kAmPm, 2, false, "%H:%M:%S"},
      {"%H:%M:%S", kAmPm, 1, false, "%H:%M"},
      {"%H:%M:%S", kAmPm, 0, false, "%H"},
      {"%H:%M:%S", kAmPm, -7, false, "%H:%M:%S"},
      {"%H.%M.%S", kAmPm, 1, false, "%H.%M"},
      {"%OH:%OM:%OS", kAmPm, 1, false, "%OH:%OM"},
      // Shorthands are expanded first.
      {"%T", kAmPm, 2, false, "%H:%M:%S"},
      {"%T", kAmPm, 1, false, "%H:%M"},
      {"%R", kAmPm, 0, false, "%H"},
      {"%r", kAmPm, 2, false, "%I:%M:%S %p"},
      {"%r", "%r", 2, false, "%I:%M:%S %p"},
      // An empty time format falls back to the 12-hour one.
      {"", "%I:%M:%S %p", 1, false, "%I:%M %p"},
      // A 12-hour clock keeps its marker unless 24 hours are forced.
      {"%r", kAmPm, 0, false, "%I %p"},
      {"%r", kAmPm, 1, true, "%H:%M"},
      {"%l:%M:%S %p", kAmPm, 2, true, "%H:%M:%S"},
      {"%p %I:%M:%S", kAmPm, 2, true, "%H:%M:%S"},
      // Units after each field go with it.
      {"%H時%M分%S秒", kAmPm, 1, false, "%H時%M分"},
      {"%H時%M分%S秒", kAmPm, 0, false, "%H時"},
      {"%Hh%Mm%Ss", kAmPm, 0, false, "%Hh"},
      {"%p %I시 %M분 %S초", kAmPm, 1, false, "%p %I시 %M분"},
      {"%p %I시 %M분 %S초", kAmPm, 0, true, "%H시"},
      // Literal percent signs stay literal.
      {"%H%%%M", kAmPm, 0, false, "%H"},
      {"%S:%H", kAmPm, 1, false, "%H"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.timeFormat << " style " << c.style << " force24h "
                                    << c.force24h);
    EXPECT_EQ(XpTimePattern(c.timeFormat, c.amPmFormat, c.style, c.force24h), c.expected);
  }
}

}  // namespace
