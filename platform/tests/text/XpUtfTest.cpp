#include "platform/text/XpUtf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RoundTrip {
  const char* name;
  std::string bytes;
  std::u16string units;
};

// Bytes decode to the units, and the units encode back to the same bytes.
TEST(XpUtf, RoundTripsEveryByteSequence) {
  const RoundTrip cases[] = {
      {"ascii", "abc", u"abc"},
      {"two bytes", "\xC3\xA9", u"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
      {"four bytes", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"lone latin-1 byte", "a\xE9" "b", u"a\xDCE9" u"b"},
      {"encoded surrogate", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
      {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
      {"overlong three", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
      {"truncated", "\xE2\x82", u"\xDCE2\xDC82"},
      {"lone continuation", "\x80z", u"\xDC80z"},
      {"ff", "\xFF", u"\xDCFF"},
      {"nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"valid after invalid", "\xE9\xC3\xA9", u"\xDCE9\u00E9"},
      {"ascii runs between others", "DCIM/\xC3\xA9t\xC3\xA9 2024\xE2\x82\xAC.jpg",
       u"DCIM/\u00E9t\u00E9 2024\u20AC.jpg"},
  };
  for (const RoundTrip& c : cases) {
    EXPECT_EQ(XpUtf8ToUtf16(c.bytes), c.units) << c.name;
    EXPECT_EQ(XpUtf16ToUtf8(c.units), c.bytes) << c.name;
  }
}

TEST(XpUtf, EveryByteValueSurvivesARoundTrip) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const std::u16string units = XpUtf8ToUtf16(all);
  for (char16_t unit : units) {
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    EXPECT_TRUE(!surrogate || (unit >= 0xDC80 && unit <= 0xDCFF)) << std::hex << static_cast<int>(unit);
  }
  EXPECT_EQ(XpUtf16ToUtf8(units), all);
}

TEST(XpUtf, UnpairedSurrogatesThatAreNoEscapeEncodeAsReplacement) {
  const char* kReplacement = "\xEF\xBF\xBD";
  struct Case {
    const char* name;
    std::u16string units;
    std::string bytes;
  };
  const Case cases[] = {
      {"lone high", u"\xD800", kReplacement},
      {"high at end", u"a\xD83D", std::string("a") + kReplacement},
      {"high then text", u"\xD83Dz", std::string(kReplacement) + "z"},
      {"low below escapes", u"\xDC7F", kReplacement},
      {"low above escapes", u"\xDD00", kReplacement},
      {"reversed pair", u"\xDE00\xD83D", std::string(kReplacement) + kReplacement},
  };
  for (const Case& c : cases) EXPECT_EQ(XpUtf16ToUtf8(c.units), c.bytes) << c.name;
}

}  // namespace
