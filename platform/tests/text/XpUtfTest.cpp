#include "platform/text/XpUtf.h"

#include <gtest/gtest.h>

#include <cstdint>
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

TEST(XpUtf, DecodeOneReadsOnlyAWholeStrictSequence) {
  struct Case {
    const char* name;
    std::string bytes;
    size_t length;
    char32_t codePoint;
  };
  const Case cases[] = {
      {"ascii", "A", 1, U'A'},
      {"nul", std::string("\0", 1), 1, 0},
      {"lowest two", "\xC2\x80", 2, 0x80},
      {"two", "\xC3\xA9", 2, 0xE9},
      {"lowest three", "\xE0\xA0\x80", 3, 0x800},
      {"below the surrogates", "\xED\x9F\xBF", 3, 0xD7FF},
      {"above the surrogates", "\xEE\x80\x80", 3, 0xE000},
      {"lowest four", "\xF0\x90\x80\x80", 4, 0x10000},
      {"highest", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"what follows stays", "\xE2\x82\xAC\xE2", 3, 0x20AC},
      {"empty", "", 0, 0},
      {"truncated two", "\xC3", 0, 0},
      {"truncated three", "\xE2\x82", 0, 0},
      {"truncated four", "\xF0\x9F\x98", 0, 0},
      {"overlong C0", "\xC0\xAF", 0, 0},
      {"overlong C1", "\xC1\xBF", 0, 0},
      {"overlong three", "\xE0\x9F\xBF", 0, 0},
      {"overlong four", "\xF0\x8F\xBF\xBF", 0, 0},
      {"lowest surrogate", "\xED\xA0\x80", 0, 0},
      {"highest surrogate", "\xED\xBF\xBF", 0, 0},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
      {"F5 lead", "\xF5\x80\x80\x80", 0, 0},
      {"lone continuation", "\x80", 0, 0},
      {"FE", "\xFE", 0, 0},
      {"FF", "\xFF", 0, 0},
      {"ascii for the second byte",
       "\xC3"
       "A",
       0, 0},
      {"ascii for the third byte",
       "\xE2\x82"
       "A",
       0, 0},
      {"lead for the fourth byte", "\xF0\x9F\x98\xF0", 0, 0},
  };
  for (const Case& c : cases) {
    char32_t codePoint = 0xFFFFFFFF;
    EXPECT_EQ(XpUtf8DecodeOne(c.bytes, codePoint), c.length) << c.name;
    if (c.length != 0) {
      EXPECT_EQ(codePoint, c.codePoint) << c.name;
    }
  }
}

// The length the top bits of a lead byte give; 0 when they give none.
size_t MaskedLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// The decoder against the arithmetic definition: the bits of the sequence
// form a value no shorter form could hold, within Unicode and no surrogate.
TEST(XpUtf, DecodeOneAgreesWithTheDefinitionForEveryLeadAndSecondByte) {
  const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  for (int lead = 0; lead < 256; ++lead) {
    for (int second = 0; second < 256; ++second) {
      for (const unsigned char tail : {0x80, 0xBF, 0x41}) {
        const std::string bytes = {static_cast<char>(lead), static_cast<char>(second),
                                   static_cast<char>(tail), static_cast<char>(tail)};
        size_t length = MaskedLength(static_cast<unsigned char>(lead));
        char32_t value = static_cast<char32_t>(lead) & (length == 1 ? 0x7F : 0x7F >> length);
        for (size_t i = 1; i < length; ++i) {
          const auto next = static_cast<unsigned char>(bytes[i]);
          if ((next & 0xC0) != 0x80) length = 0;
          value = (value << 6) | (next & 0x3F);
        }
        if (length != 0 && (value < kMinimum[length] || value > 0x10FFFF ||
                            (value >= 0xD800 && value <= 0xDFFF))) {
          length = 0;
        }
        char32_t decoded = 0;
        ASSERT_EQ(XpUtf8DecodeOne(bytes, decoded), length)
            << std::hex << lead << " " << second << " " << static_cast<int>(tail);
        if (length != 0) {
          ASSERT_EQ(decoded, value) << std::hex << lead << " " << second;
        }
      }
    }
  }
}

TEST(XpUtf, SequenceLengthIsWhatTheLeadByteAnnounces) {
  struct Range {
    int first;
    int last;
    size_t length;
  };
  const Range ranges[] = {{0x00, 0x7F, 1}, {0x80, 0xC1, 1}, {0xC2, 0xDF, 2},
                          {0xE0, 0xEF, 3}, {0xF0, 0xF4, 4}, {0xF5, 0xFF, 1}};
  for (const Range& r : ranges) {
    for (int lead = r.first; lead <= r.last; ++lead) {
      EXPECT_EQ(XpUtf8SequenceLength(static_cast<unsigned char>(lead)), r.length)
          << std::hex << lead;
    }
  }
}

TEST(XpUtf, AppendWritesOneUnitOrAPair) {
  struct Case {
    char32_t codePoint;
    std::u16string units;
  };
  const Case cases[] = {{U'A', u"A"},
                        {0xFFFF, u"\xFFFF"},
                        {0x10000, u"\xD800\xDC00"},
                        {0x1F600, u"\xD83D\xDE00"},
                        {0x10FFFF, u"\xDBFF\xDFFF"}};
  for (const Case& c : cases) {
    std::u16string out = u"x";
    XpUtf16Append(out, c.codePoint);
    EXPECT_EQ(out, u"x" + c.units) << std::hex << static_cast<uint32_t>(c.codePoint);
  }
}

TEST(XpUtf, ClassifiesEscapesAndSurrogatesAtTheirBounds) {
  struct Case {
    char16_t unit;
    bool escape;
    bool high;
    bool low;
  };
  const Case cases[] = {
      {0xD7FF, false, false, false}, {0xD800, false, true, false}, {0xDBFF, false, true, false},
      {0xDC00, false, false, true},  {0xDC7F, false, false, true}, {0xDC80, true, false, true},
      {0xDCFF, true, false, true},   {0xDD00, false, false, true}, {0xDFFF, false, false, true},
      {0xE000, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpUtf16IsEscape(c.unit), c.escape) << std::hex << static_cast<int>(c.unit);
    EXPECT_EQ(XpUtf16IsHighSurrogate(c.unit), c.high) << std::hex << static_cast<int>(c.unit);
    EXPECT_EQ(XpUtf16IsLowSurrogate(c.unit), c.low) << std::hex << static_cast<int>(c.unit);
  }
  EXPECT_EQ(XpUtf16EscapeOf(0x80), u'\xDC80');
  EXPECT_EQ(XpUtf16EscapeOf(0xE9), u'\xDCE9');
  EXPECT_EQ(XpUtf16EscapeOf(0xFF), u'\xDCFF');
}

}  // namespace
