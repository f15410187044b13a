#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/tests/value/PlistTestTrees.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpPlistReader.h"
#include "platform/value/XpPlistWriter.h"

namespace {

constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<plist version=\"1.0\">";
constexpr const char* kTail = "</plist>\n";

std::string Bytes(const XpIniDict& dict) {
  XpStringA bytes;
  EXPECT_EQ(XpPlistWriter::WriteBytes(dict, &bytes), kXpOk);
  return std::string(bytes.View());
}

// Switches the whole C library to a locale for one scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool Active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

TEST(XpPlistWriter, NumberTextsAreThoseOfTheCLocaleAndReadBack) {
  struct Case {
    double value;
    const char* text;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {0.1, "0.100000000000000"},
      {-2.5, "-2.500000000000000"},
      {4e-16, "0.000000000000000"},
      {6e-16, "0.000000000000001"},
      {inf, "inf"},
      {-inf, "-inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpPlistWriter::FormatReal(c.value).ToMultiByte().ToStdString(), c.text) << c.value;
  }
  EXPECT_EQ(XpPlistReader::ParseReal(u"0.000000000000000"), 0.0);
  EXPECT_EQ(XpPlistReader::ParseReal(XpPlistWriter::FormatReal(inf).View()), inf);
  EXPECT_EQ(XpPlistWriter::FormatReal(std::nan("")).ToMultiByte().ToStdString(), "nan");
  EXPECT_EQ(XpPlistWriter::FormatReal(-std::nan("")).ToMultiByte().ToStdString(), "nan");
  EXPECT_TRUE(std::isnan(XpPlistReader::ParseReal(u"nan")));

  // Large values take all the digits they need, exactly as printf does.
  for (const double value : {1e300, -1e300, std::numeric_limits<double>::max(), 123456789.125}) {
    char expected[400];
    std::snprintf(expected, sizeof(expected), "%.15f", value);
    const XpString text = XpPlistWriter::FormatReal(value);
    EXPECT_EQ(text.ToMultiByte().ToStdString(), expected);
    EXPECT_EQ(XpPlistReader::ParseReal(text.View()), value);
  }
  EXPECT_EQ(XpPlistWriter::FormatReal(1e300).GetLength(), 317);

  EXPECT_EQ(XpPlistWriter::FormatInt(-5).ToMultiByte().ToStdString(), "-5");
  EXPECT_EQ(XpPlistWriter::FormatInt(INT64_MIN).ToMultiByte().ToStdString(),
            "-9223372036854775808");
  EXPECT_EQ(XpPlistWriter::FormatInt(INT64_MAX).ToMultiByte().ToStdString(), "9223372036854775807");
}

TEST(XpPlistWriter, DataAndDateTexts) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x7F, 0x10};
  EXPECT_EQ(XpPlistWriter::FormatData(bytes, 3).ToMultiByte().ToStdString(), "00ab7f");
  EXPECT_EQ(XpPlistWriter::FormatData(bytes, 4).ToMultiByte().ToStdString(), "00ab7f10");
  EXPECT_EQ(XpPlistWriter::FormatData(bytes, 0).ToMultiByte().ToStdString(), "");

  EXPECT_EQ(XpPlistWriter::FormatDate(XpDateTime(2006, 1, 2, 3, 4, 5)).ToMultiByte().ToStdString(),
            "2006:01:02T03:04:05Z");
  EXPECT_EQ(
      XpPlistWriter::FormatDate(XpDateTime(100, 12, 31, 23, 59, 59)).ToMultiByte().ToStdString(),
      "0100:12:31T23:59:59Z");
  // Not valid: never made, refused parts, out of range.
  for (const XpDateTime& invalid :
       {XpDateTime(), XpDateTime(2006, 2, 30, 0, 0, 0), XpDateTime(1e9)}) {
    ASSERT_FALSE(invalid.IsValid());
    const XpString text = XpPlistWriter::FormatDate(invalid);
    EXPECT_EQ(text.ToMultiByte().ToStdString(), "0000:00:00T00:00:00Z");
    XpDateTime back(2000, 1, 1, 0, 0, 0);
    EXPECT_EQ(XpPlistReader::ParseDate(text.View(), &back), kXpOk);
    EXPECT_FALSE(back.IsValid());
  }
}

TEST(XpPlistWriter, RealsIgnoreTheThreadLocale) {
  ScopedLocale german("de_DE.UTF-8");
  if (!german.Active()) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  char probe[16];
  std::snprintf(probe, sizeof(probe), "%.1f", 0.5);
  ASSERT_STREQ(probe, "0,5");  // the locale really uses a comma

  EXPECT_EQ(XpPlistWriter::FormatReal(0.1).ToMultiByte().ToStdString(), "0.100000000000000");
  XpIniDict dict;
  plisttest::AddReal(dict, u"r", 0.1);
  EXPECT_EQ(Bytes(dict),
            std::string(kHead) + "<dict><key>r</key><real>0.100000000000000</real></dict>" + kTail);
  EXPECT_EQ(XpPlistReader::ParseReal(u"0.5"), 0.5);
  EXPECT_EQ(XpPlistReader::ParseReal(u"0,5"), 0.5);
}

TEST(XpPlistWriter, DocumentFollowsKeyAndIndexOrder) {
  XpIniDict dict;
  EXPECT_EQ(Bytes(dict), std::string(kHead) + "<dict/>" + kTail);

  for (const char16_t* key : {u"b", u"A", u"a"}) {
    ASSERT_EQ(dict.Add(key, kXpIniTypeBool, key[0] == u'A'), kXpOk);
  }
  ASSERT_EQ(dict.Add(u"", kXpIniTypeString), kXpOk);
  ASSERT_EQ(dict.Add(u"l", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"l/-1", kXpIniTypeInt, 2), kXpOk);
  ASSERT_EQ(dict.Add(u"l/0", kXpIniTypeInt, 1), kXpOk);
  ASSERT_EQ(dict.Add(u"l/-1", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"n", kXpIniTypeDict), kXpOk);
  ASSERT_EQ(dict.Add(u"n/z", kXpIniTypeMemChunk), kXpOk);
  ASSERT_EQ(dict.Add(u"n/y", kXpIniTypeString, u"\u00e9"), kXpOk);
  EXPECT_EQ(Bytes(dict),
            std::string(kHead) +
                "<dict><key></key><string></string><key>A</key><true/><key>a</key><false/>"
                "<key>b</key><false/><key>l</key><array><integer>1</integer><integer>2</integer>"
                "<array/></array><key>n</key><dict><key>y</key><string>\xc3\xa9</string>"
                "<key>z</key><data></data></dict></dict>" +
                kTail);
}

TEST(XpPlistWriter, GoldenTreeGivesTheGoldenBytes) {
  XpIniDict dict;
  plisttest::BuildGolden(dict);
  EXPECT_EQ(Bytes(dict),
            std::string(kHead) +
                "<dict><key>A</key><integer>-5</integer><key>B</key><real>0.100000000000000</real>"
                "<key>a</key><string>x&lt;&amp;&gt;</string><key>b</key><true/><key>c</key>"
                "<data>00ab7f</data><key>d</key><date>2006:01:02T03:04:05Z</date><key>e</key>"
                "<array><integer>1</integer><dict/></array></dict>" +
                kTail);
  EXPECT_EQ(XpPlistWriter::WriteBytes(dict, nullptr), kXpErrBadArgument);
  EXPECT_EQ(XpPlistWriter::Write(dict, nullptr), kXpErrBadArgument);
}

}  // namespace
