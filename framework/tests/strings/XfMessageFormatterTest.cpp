#include "framework/strings/XfMessageFormatter.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "platform/text/XpString.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr XpResult kUnchanged = kXpErrBadArgument;

TEST(XfMessageFormatter, FillsInsertsAndEscapes) {
  const XpFormatArg args[] = {XpFormatArg(u"a"), XpFormatArg(u"b"), XpFormatArg(3)};
  struct Case {
    const char16_t* pattern;
    XpResult result;
    const char16_t* expected;  // when the result is kXpOk
  };
  const Case cases[] = {
      {u"%1 %2", kXpOk, u"a b"},
      {u"%2%1%2", kXpOk, u"bab"},
      {u"%3!d! files", kXpOk, u"3 files"},
      {u"%3!04X!%1!3s!", kXpOk, u"0003  a"},
      {u"100%%", kXpOk, u"100%"},
      {u"a%.b%!c% d", kXpOk, u"a.b!c d"},
      {u"x%ny", kXpOk, u"x\ny"},
      {u"kept%0gone %9", kXpOk, u"kept"},
      {u"%1!", kXpErrBadArgument, nullptr},     // no closing mark
      {u"", kXpOk, u""},
      {u"%3", kXpErrBadArgument, nullptr},      // an integer is not text
      {u"%1!d!", kXpErrBadArgument, nullptr},   // text is not an integer
      {u"%4", kXpErrBadArgument, nullptr},      // beyond the arguments
      {u"%10", kXpErrBadArgument, nullptr},     // two digits: insert 10
      {u"%q", kXpErrBadArgument, nullptr},
      {u"%r%t", kXpErrBadArgument, nullptr},
      {u"end%", kXpErrBadArgument, nullptr},
      {u"%1!d", kXpErrBadArgument, nullptr},    // unterminated conversion
      {u"%1!!", kXpErrBadArgument, nullptr},
      {u"%3!d%s!", kXpErrBadArgument, nullptr},
      {u"%3!n!", kXpErrBadArgument, nullptr},
  };
  for (const Case& c : cases) {
    std::u16string out = u"before";
    EXPECT_EQ(XfFormatMessageTo(c.pattern, args, &out), c.result) << XpUtf16ToUtf8(c.pattern);
    EXPECT_EQ(out, c.result == kXpOk ? c.expected : u"before") << XpUtf16ToUtf8(c.pattern);
  }
}

TEST(XfMessageFormatter, ReadsInsertNumbersOfTwoDigits) {
  const char16_t* const texts[] = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"};
  std::vector<XpFormatArg> args(std::begin(texts), std::end(texts));
  std::u16string out;
  ASSERT_EQ(XfFormatMessageTo(u"%10|%100|%9", args, &out), kXpOk);
  EXPECT_EQ(out, u"10|100|9");
  // A '*' takes the arguments after the insert.
  const XpFormatArg starred[] = {XpFormatArg(5), XpFormatArg(u"ab")};
  ASSERT_EQ(XfFormatMessageTo(u"[%1!*s!]", starred, &out), kXpOk);
  EXPECT_EQ(out, u"[   ab]");
}

TEST(XfMessageFormatter, RefusesResultsLongerThanTheBuffer) {
  const XpString fits(std::u16string(kXfMaxFormattedLength - 1, u'w'));
  const XpFormatArg args[] = {XpFormatArg(fits)};
  std::u16string out;
  EXPECT_EQ(XfFormatMessageTo(u"%1x", args, &out), kXpOk);
  EXPECT_EQ(out.size(), kXfMaxFormattedLength);
  out = u"before";
  EXPECT_EQ(XfFormatMessageTo(u"%1xy", args, &out), kXpErrBufferTooSmall);
  EXPECT_EQ(out, u"before");
  EXPECT_EQ(XfFormatMessageTo(u"%1%%%%", args, &out), kXpErrBufferTooSmall);
  EXPECT_EQ(XfFormatMessageTo(u"%1x", args, nullptr), kUnchanged);
}

}  // namespace
