#include "platform/text/XpFormatter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/XpString.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

constexpr char16_t kUnchanged[] = u"unchanged";

template <typename... Args>
XpString Formatted(const char16_t* format, const Args&... args) {
  XpString text(kUnchanged);
  const XpResult result = text.Format(format, args...);
  EXPECT_EQ(result, kXpOk) << std::string(format, format + std::char_traits<char16_t>::length(format));
  return text;
}

// True when both Format and AppendFormat refuse and leave the string as it was.
template <typename... Args>
bool Refused(const char16_t* format, const Args&... args) {
  XpString replaced(kUnchanged);
  XpString appended(kUnchanged);
  const XpResult formatResult = replaced.Format(format, args...);
  const XpResult appendResult = appended.AppendFormat(format, args...);
  return formatResult == kXpErrBadArgument && appendResult == kXpErrBadArgument && replaced == kUnchanged &&
         appended == kUnchanged;
}

struct Case {
  int line;
  XpString actual;
  std::u16string_view expected;
};

void Check(const Case* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(cases[i].actual.View(), cases[i].expected) << "case at line " << cases[i].line;
  }
}

enum class Colour : uint8_t { kBlue = 7 };

TEST(XpFormatter, StringAndCharacterConversions) {
  const XpString ab(u"ab");
  const XpStringA narrow("n\xC3\xA9");
  const char16_t* nullWide = nullptr;
  const char* nullNarrow = nullptr;
  char16_t buffer[] = u"buf";
  char16_t* mutableText = buffer;
  const Case cases[] = {
      {__LINE__, Formatted(u"%s|%S|%c", ab, "cd", u'é'), u"ab|cd|é"},
      {__LINE__, Formatted(u"%s", nullWide), u"(null)"},
      {__LINE__, Formatted(u"%S", nullNarrow), u"(null)"},
      {__LINE__, Formatted(u"%s|%S", nullptr, nullptr), u"(null)|(null)"},
      {__LINE__, Formatted(u"%hs|%S", "x", narrow), u"x|né"},
      {__LINE__, Formatted(u"%ls|%ws|%lS", u"w", u"v", u"u"), u"w|v|u"},
      {__LINE__, Formatted(u"%S", "a\xE9"), u"a\xDCE9"},
      {__LINE__, Formatted(u"%s|%S", std::u16string(u"str"), std::string("std")), u"str|std"},
      {__LINE__, Formatted(u"%s", std::u16string_view(u"view")), u"view"},
      {__LINE__, Formatted(u"%s|%s", buffer, mutableText), u"buf|buf"},
      {__LINE__, Formatted(u"%5s|%-5s|", u"ab", u"cd"), u"   ab|cd   |"},
      {__LINE__, Formatted(u"%04s|%-04s|", u"7", u"8"), u"0007|8   |"},
      {__LINE__, Formatted(u"%.2s|%.0s|%.9s", u"abcdef", u"x", u"yz"), u"ab||yz"},
      {__LINE__, Formatted(u"%*s|%-*s|", 3, u"a", 3, u"b"), u"  a|b  |"},
      {__LINE__, Formatted(u"%c%C%hc%lC", u'x', 'y', 'z', u'é'), u"xyzé"},
      {__LINE__, Formatted(u"%c|%C", 65, 66), u"A|B"},
      {__LINE__, Formatted(u"%C", static_cast<char>(0xE9)), u"\xDCE9"},
      {__LINE__, Formatted(u"%3c|%-3c|%03c", u'x', u'y', u'z'), u"  x|y  |00z"},
      {__LINE__, Formatted(u"100%% sure"), u"100% sure"},
  };
  Check(cases, std::size(cases));
}

TEST(XpFormatter, IntegerConversions) {
  const Case cases[] = {
      {__LINE__, Formatted(u"%I64d", INT64_MIN), u"-9223372036854775808"},
      {__LINE__, Formatted(u"%lld|%llu", INT64_MAX, UINT64_MAX), u"9223372036854775807|18446744073709551615"},
      {__LINE__, Formatted(u"%08X", 0x1234ABCDu), u"1234ABCD"},
      {__LINE__, Formatted(u"%x", -1), u"ffffffff"},
      {__LINE__, Formatted(u"%d|%u", 0xFFFFFFFFu, -1), u"-1|4294967295"},
      {__LINE__, Formatted(u"%ld|%li", int64_t{-5}, uint64_t{5}), u"-5|5"},
      {__LINE__, Formatted(u"%hd|%hx|%hu", 40000, -1, short{-1}), u"-25536|ffff|65535"},
      {__LINE__, Formatted(u"%hhx|%hhd", -1, 200), u"ff|-56"},
      {__LINE__, Formatted(u"%llx|%I64X", -1, uint64_t{0xABCDEF0123}), u"ffffffffffffffff|ABCDEF0123"},
      {__LINE__, Formatted(u"%zu|%I32d|%Iu", size_t{42}, 7, SIZE_MAX), u"42|7|18446744073709551615"},
      {__LINE__, Formatted(u"%d|%d|%d|%i", u'A', 'A', true, Colour::kBlue), u"65|65|1|7"},
      {__LINE__, Formatted(u"%04X", kXpErrBadArgument), u"8102"},
      {__LINE__, Formatted(u"%o|%#o|%#o|%#.3o", 8, 8, 0, 8), u"10|010|0|010"},
      {__LINE__, Formatted(u"%#x|%#X|%#x", 255, 255, 0), u"0xff|0XFF|0"},
      {__LINE__, Formatted(u"%+d|% d|%+u|% d|%+d", 5, 5, 5u, -5, 0), u"+5| 5|5|-5|+0"},
      {__LINE__, Formatted(u"%05d|%-5d|%5d|", -42, 42, 42), u"-0042|42   |   42|"},
      {__LINE__, Formatted(u"%.3d|%.0d|%08.3d|%-+6d|", 7, 0, 7, 3), u"007||     007|+3    |"},
      {__LINE__, Formatted(u"%+05d|%#06x|% 05d", 3, 255, 3), u"+0003|0x00ff| 0003"},
      {__LINE__, Formatted(u"%*d|%-*d|%*d|", 5, 42, 4, 1, -4, 1), u"   42|1   |1   |"},
      {__LINE__, Formatted(u"%.*d", 4, 3), u"0003"},
      {__LINE__, Formatted(u"%llo|%#llo|%lld", UINT64_MAX, UINT64_MAX, int64_t{0}),
       u"1777777777777777777777|01777777777777777777777|0"},
      {__LINE__, Formatted(u"%s/%04d_%08X.JPG", XpString(u"/m/DCIM"), 7, 0xABCDEF12u), u"/m/DCIM/0007_ABCDEF12.JPG"},
      {__LINE__, Formatted(u"%d", 1, 2), u"1"},
      {__LINE__, Formatted(u"plain", 1, u"extra"), u"plain"},
  };
  Check(cases, std::size(cases));
}

TEST(XpFormatter, FloatingPointConversions) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {__LINE__, Formatted(u"%.15f", 0.1), u"0.100000000000000"},
      {__LINE__, Formatted(u"%.20f", 0.1), u"0.10000000000000000555"},
      {__LINE__, Formatted(u"%f|%lf|%f", 1.5, 2.0, 0.5f), u"1.500000|2.000000|0.500000"},
      {__LINE__, Formatted(u"%.0f|%.0f|%.2f", 2.5, 3.5, 1.005), u"2|4|1.00"},
      {__LINE__, Formatted(u"%010.3f|%-8.2f|%+.1f|% .1f", -3.14159, 2.5, 1.0, 1.0), u"-00003.142|2.50    |+1.0| 1.0"},
      {__LINE__, Formatted(u"%.*f|%.*f", 2, 3.14159, -1, 1.5), u"3.14|1.500000"},
      {__LINE__, Formatted(u"%f", -0.0), u"-0.000000"},
      {__LINE__, Formatted(u"%.0f", 1e20), u"100000000000000000000"},
      {__LINE__, Formatted(u"%e|%E|%.2e", 12345.678, 0.0, -0.00123), u"1.234568e+04|0.000000E+00|-1.23e-03"},
      {__LINE__, Formatted(u"%e", 1e100), u"1.000000e+100"},
      {__LINE__, Formatted(u"%g|%g|%g|%g", 0.0001, 0.00001, 123456.0, 1234567.0), u"0.0001|1e-05|123456|1.23457e+06"},
      {__LINE__, Formatted(u"%g|%g|%G|%.3g", 0.0, 100000.0, 1e-10, 0.0001234), u"0|100000|1E-10|0.000123"},
      {__LINE__, Formatted(u"%g|%.0g|%g", 1e6, 26.0, 2.5), u"1e+06|3e+01|2.5"},
      {__LINE__, Formatted(u"%.17g|%g|%g", 0.1, 9.9999995, 999999.5), u"0.10000000000000001|10|1e+06"},
      {__LINE__, Formatted(u"%#g|%#.0f|%#.0e|%#g", 1.0, 1.0, 1.0, 1e-5), u"1.00000|1.|1.e+00|1.00000e-05"},
      {__LINE__, Formatted(u"%f|%F|%f|%E", inf, inf, -inf, nan), u"inf|INF|-inf|NAN"},
      {__LINE__, Formatted(u"%05f|%+f", inf, inf), u"  inf|+inf"},
  };
  Check(cases, std::size(cases));
}

TEST(XpFormatter, PointerConversion) {
  const auto* pointer = reinterpret_cast<const int*>(uintptr_t{0x1234ABCD});
  const Case cases[] = {
      {__LINE__, Formatted(u"%p", pointer), u"000000001234ABCD"},
      {__LINE__, Formatted(u"%p", nullptr), u"0000000000000000"},
      {__LINE__, Formatted(u"%20p|%-18p|", pointer, pointer), u"    000000001234ABCD|000000001234ABCD  |"},
  };
  Check(cases, std::size(cases));
}

TEST(XpFormatter, MismatchesAndBadFormatsAreRefused) {
  const XpString wide(u"w");
  const XpStringA narrow("n");
  int value = 0;
  EXPECT_TRUE(Refused(u"%ld", int64_t{5000000000}));
  EXPECT_TRUE(Refused(u"%d", u"x"));
  EXPECT_TRUE(Refused(u"%s"));
  EXPECT_TRUE(Refused(u"%d %d", 1));
  EXPECT_TRUE(Refused(u"%n", &value));
  EXPECT_TRUE(Refused(u"%q", 1));
  EXPECT_TRUE(Refused(u"trailing %", 1));
  EXPECT_TRUE(Refused(u"%s", narrow));
  EXPECT_TRUE(Refused(u"%S", wide));
  EXPECT_TRUE(Refused(u"%s", "narrow literal"));
  EXPECT_TRUE(Refused(u"%hs", u"wide literal"));
  EXPECT_TRUE(Refused(u"%d", 1.5));
  EXPECT_TRUE(Refused(u"%f", 1));
  EXPECT_TRUE(Refused(u"%c", -1));
  EXPECT_TRUE(Refused(u"%c", 0x10000));
  EXPECT_TRUE(Refused(u"%C", 256));
  EXPECT_TRUE(Refused(u"%hd", 70000));
  EXPECT_TRUE(Refused(u"%hhd", 300));
  EXPECT_TRUE(Refused(u"%d", UINT64_MAX));
  EXPECT_TRUE(Refused(u"%u", int64_t{-3000000000}));
  EXPECT_TRUE(Refused(u"%p", 5));
  EXPECT_TRUE(Refused(u"%p", u"text"));
  EXPECT_TRUE(Refused(u"%d", &value));
  EXPECT_TRUE(Refused(u"%*d", u"x", 1));
  EXPECT_TRUE(Refused(u"%.*f", 2));
  EXPECT_TRUE(Refused(u"%wd", 1));
  EXPECT_TRUE(Refused(u"%lls", u"x"));
  EXPECT_TRUE(Refused(u"%hf", 1.0));
  EXPECT_TRUE(Refused(u"%2000000d", 1));
  EXPECT_TRUE(Refused(u"%.2000000f", 1.0));
  EXPECT_TRUE(Refused(static_cast<const char16_t*>(nullptr)));
}

// %c takes a UTF-16 unit and %C a narrow character; the other character type
// is a mismatch, whatever its value.
TEST(XpFormatter, CharacterOfTheOtherWidthIsRefused) {
  EXPECT_TRUE(Refused(u"%C", char16_t(u'A')));
  EXPECT_TRUE(Refused(u"%C", char16_t(0xE9)));
  EXPECT_TRUE(Refused(u"%hc", char16_t(u'A')));
  EXPECT_TRUE(Refused(u"x%C", char16_t(u'A')));
  EXPECT_TRUE(Refused(u"%c", 'A'));
  EXPECT_TRUE(Refused(u"%lC", 'A'));
  EXPECT_TRUE(Refused(u"%wc", static_cast<char>(0xE9)));
  EXPECT_TRUE(Refused(u"%c%C", u'a', u'b'));
}

TEST(XpFormatter, LongFormatsParseInOnePass) {
  constexpr size_t kDirectives = 100000;
  std::u16string format;
  for (size_t i = 0; i < kDirectives; ++i) format += u"%%";
  XpString text;
  ASSERT_EQ(text.Format(format.c_str()), kXpOk);
  EXPECT_EQ(text.View(), std::u16string(kDirectives, u'%'));

  // Many conversions, each reading its own argument in turn.
  std::u16string manyFormat;
  for (size_t i = 0; i < kDirectives; ++i) manyFormat += u"%d,";
  std::u16string expected;
  for (size_t i = 0; i < kDirectives; ++i) expected += u"7,";
  std::vector<XpFormatArg> args(kDirectives, XpFormatArg(7));
  std::u16string out;
  ASSERT_EQ(XpFormatTo(out, manyFormat.c_str(), args.data(), args.size()), kXpOk);
  EXPECT_EQ(out, expected);
}

TEST(XpFormatter, LongResultsComeOutExact) {
  for (const size_t length : {255, 256, 511, 512, 1023, 1024, 5000}) {
    const std::u16string body(length - 1, u'a');
    XpString text;
    ASSERT_EQ(text.Format(u"%s!", body.c_str()), kXpOk);
    EXPECT_EQ(text.GetLength(), static_cast<int32_t>(length));
    EXPECT_EQ(text.View(), body + u"!");

    XpString padded;
    ASSERT_EQ(padded.Format(u"%*d", static_cast<int>(length), 7), kXpOk);
    EXPECT_EQ(padded.View(), std::u16string(length - 1, u' ') + u"7");
  }
}

TEST(XpFormatter, AppendFormatAppendsAndFormatReplaces) {
  XpString text(u"a");
  XpString shared = text;
  ASSERT_EQ(text.AppendFormat(u"-%d", 1), kXpOk);
  ASSERT_EQ(text.AppendFormat(u"-%s", XpString(u"b")), kXpOk);
  EXPECT_EQ(text, u"a-1-b");
  EXPECT_EQ(shared, u"a");
  ASSERT_EQ(text.Format(u"%s", text), kXpOk);
  EXPECT_EQ(text, u"a-1-b");
  ASSERT_EQ(text.Format(u"[%s]", text), kXpOk);
  EXPECT_EQ(text, u"[a-1-b]");

  XpString first;
  XpString second;
  ASSERT_EQ(first.Format(u"%d", 5), kXpOk);
  EXPECT_EQ(first, u"5");
  EXPECT_EQ(second, u"");
}

TEST(XpFormatter, FormatToAppendsAndRestoresOnFailure) {
  std::u16string out = u"keep";
  const XpFormatArg args[] = {XpFormatArg(12), XpFormatArg(u"x")};
  EXPECT_EQ(XpFormatTo(out, u"+%d", args, 1), kXpOk);
  EXPECT_EQ(out, u"keep+12");
  EXPECT_EQ(XpFormatTo(out, u"+%d%d", args, 2), kXpErrBadArgument);
  EXPECT_EQ(out, u"keep+12");
  const XpFormatArg none[] = {XpFormatArg()};
  EXPECT_EQ(XpFormatTo(out, u"%d", none, 1), kXpErrBadArgument);
  EXPECT_EQ(out, u"keep+12");
}

}  // namespace
