#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/memory/XpMemoryFile.h"
#include "platform/tests/value/PlistTestTrees.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpPlistReader.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

using plisttest::Describe;

std::string ParsedData(std::u16string_view text) {
  XpMemoryFile bytes;
  EXPECT_EQ(XpPlistReader::ParseData(text, &bytes), kXpOk);
  std::string hex;
  const auto* data = static_cast<const unsigned char*>(bytes.GetBuffer());
  for (uint64_t i = 0; i < bytes.GetDataSize(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", data[i]);
    hex += pair;
  }
  return hex;
}

// Parses text and reads it into dict.
[[nodiscard]] XpResult ReadInto(const std::string& text, XpIniDict& dict) {
  ::XpXmlDocument document;
  const XpResult parsed = document.Parse(text);
  EXPECT_EQ(parsed, kXpOk) << text;
  return XpPlistReader::Read(document, &dict);
}

TEST(XpPlistReader, IntegerAndRealRules) {
  const struct {
    const char16_t* text;
    int64_t value;
  } integers[] = {
      {u"-5", -5},
      {u" \t+42x", 42},
      {u"", 0},
      {u"abc", 0},
      {u"- 5", 0},
      {u"9223372036854775807", INT64_MAX},
      {u"9223372036854775808", INT64_MAX},
      {u"-9223372036854775808", INT64_MIN},
      {u"-99999999999999999999999", INT64_MIN},
      {u"1e3", 1},
  };
  for (const auto& c : integers) {
    EXPECT_EQ(XpPlistReader::ParseInt(c.text), c.value)
        << XpString(c.text).ToMultiByte().ToStdString();
  }

  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char16_t* text;
    double value;
  } reals[] = {
      {u"0.5", 0.5},      {u"0,5", 0.5},       {u" -1.5e3x", -1500.0}, {u"+.25", 0.25},
      {u"5.", 5.0},       {u"1.5,3", 1.5},     {u"1,5.3", 1.5},        {u"1e", 1.0},
      {u"abc", 0.0},      {u"", 0.0},          {u"--5", 0.0},          {u"0x10", 0.0},
      {u"1e400", inf},    {u"-1e400", -inf},   {u"1e-400", 0.0},       {u"-inf", -inf},
      {u"Infinity", inf}, {u"0.1\u00e9", 0.1},
  };
  for (const auto& c : reals) {
    EXPECT_EQ(XpPlistReader::ParseReal(c.text), c.value)
        << XpString(c.text).ToMultiByte().ToStdString();
  }
  EXPECT_TRUE(std::isnan(XpPlistReader::ParseReal(u"nan")));
  EXPECT_TRUE(std::signbit(XpPlistReader::ParseReal(u"-1e-400")));
}

TEST(XpPlistReader, DataRule) {
  EXPECT_EQ(ParsedData(u"00AB7F"), "00ab7f");
  EXPECT_EQ(ParsedData(u"00ab7f"), "00ab7f");
  EXPECT_EQ(ParsedData(u"0g"), "07");
  EXPECT_EQ(ParsedData(u"zz"), "aa");
  EXPECT_EQ(ParsedData(u"abc"), "ab");
  EXPECT_EQ(ParsedData(u"a"), "");
  EXPECT_EQ(ParsedData(u""), "");
  EXPECT_EQ(ParsedData(u"\u0130f"), "0f");  // only the low 8 bits count

  // Longer than one block of writes.
  std::u16string many;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    many += u"5A";
    expected += "5a";
  }
  EXPECT_EQ(ParsedData(many), expected);
  EXPECT_EQ(XpPlistReader::ParseData(u"00", nullptr), kXpErrBadArgument);
}

TEST(XpPlistReader, DateRule) {
  const struct {
    const char16_t* text;
    XpDateTime date;
  } cases[] = {
      {u"2006:01:02T03:04:05Z", XpDateTime(2006, 1, 2, 3, 4, 5)},
      {u"2006-01-02T03:04:05Z", XpDateTime(2006, 1, 2, 3, 4, 5)},
      {u"2006/1/2 3.4.5", XpDateTime(2006, 1, 2, 3, 4, 5)},
      {u"2006:01:02", XpDateTime(2006, 1, 2, 0, 0, 0)},
      {u"2006:01:02T03", XpDateTime(2006, 1, 2, 3, 0, 0)},
  };
  for (const auto& c : cases) {
    XpDateTime date;
    EXPECT_EQ(XpPlistReader::ParseDate(c.text, &date), kXpOk);
    EXPECT_TRUE(date.IsValid()) << XpString(c.text).ToMultiByte().ToStdString();
    EXPECT_EQ(date.GetValue(), c.date.GetValue()) << XpString(c.text).ToMultiByte().ToStdString();
  }
  for (const char16_t* text : {u"2006", u"2006:13:01T00:00:00Z", u"0000:00:00T00:00:00Z", u"x"}) {
    XpDateTime date(2000, 1, 1, 0, 0, 0);
    EXPECT_EQ(XpPlistReader::ParseDate(text, &date), kXpOk);
    EXPECT_FALSE(date.IsValid()) << XpString(text).ToMultiByte().ToStdString();
  }
  XpDateTime kept(2000, 1, 1, 0, 0, 0);
  EXPECT_EQ(XpPlistReader::ParseDate(u"", &kept), kXpErrValueNoRoot);
  EXPECT_TRUE(kept.IsValid());
}

TEST(XpPlistReader, StructureOfTheDocument) {
  const struct {
    const char* name;
    const char* document;
    XpResult result;
    const char* tree;
  } cases[] = {
      {"root not plist", "<dict><key>a</key><true/></dict>", kXpErrValueStructure, "{}"},
      {"no dict", "<plist><array/></plist>", kXpErrValueStructure, "{}"},
      {"first dict only",
       "<plist><array/><dict><key>a</key><true/></dict><dict><key>b</key><true/></dict></plist>",
       kXpOk, "{a=b:true}"},
      {"key after key",
       "<plist><dict><key>a</key><true/><key>b</key><key>c</key><integer>1</integer>"
       "<key>d</key><true/></dict></plist>",
       kXpErrValueStructure, "{a=b:true}"},
      {"nested dict stops",
       "<plist><dict><key>n</key><dict><key>x</key><true/><string>stray</string><key>y</key>"
       "<true/></dict><key>z</key><false/></dict></plist>",
       kXpOk, "{n={x=b:true},z=b:false}"},
      {"empty key",
       "<plist><dict><key>a</key><true/><key/><true/><key>b</key><true/></dict></plist>",
       kXpErrValueStructure, "{a=b:true}"},
      {"stray text", "<plist><dict>x<key>a</key><true/></dict></plist>", kXpErrValueStructure,
       "{}"},
      {"key without value", "<plist><dict><key>a</key><true/><key>b</key><!--c--></dict></plist>",
       kXpOk, "{a=b:true}"},
      {"duplicate key",
       "<plist><dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict></"
       "plist>",
       kXpOk, "{a=i:1}"},
      {"values that are dropped",
       "<plist><dict><key>u</key><unknown/><key>k</key><plist/><key>t</key>text<key>c</key>"
       "<![CDATA[x]]><key>ok</key><true/></dict></plist>",
       kXpOk, "{ok=b:true}"},
      {"key order",
       "<plist><dict><key>b</key><true/><key>A</key><true/><key>a</key><true/></dict></plist>",
       kXpOk, "{A=b:true,a=b:true,b=b:true}"},
      {"paths as keys",
       "<plist><dict><key>n</key><dict/><key>n/x</key><true/><key>m/y</key><true/>"
       "<key>l</key><array/><key>l/q</key><integer>7</integer></dict></plist>",
       kXpOk, "{l=[i:7],n={x=b:true}}"},
      {"comments",
       "<plist><!--c--><dict><!--c--><key>a</key><!--c--><array><!--c--><true/></array></dict></"
       "plist>",
       kXpOk, "{a=[b:true]}"},
      {"array keeps going",
       "<plist><dict><key>a</key><array><integer>1</integer><key>x</key><foo/>t<dict><key>y</key>"
       "<true/><junk/></dict><false/></array></dict></plist>",
       kXpOk, "{a=[i:1,{y=b:true},b:false]}"},
      {"element texts",
       "<plist><dict><key>b</key><true>no</true><key>c</key><string><![CDATA[x]]></string>"
       "<key>d</key><string><!--c--><![CDATA[x]]>y</string><key>e</key><integer/>"
       "<key>f</key><date/><key>g</key><data>0g</data><key>h</key><real>0,5</real>"
       "<key>i</key><string>  </string></dict></plist>",
       kXpOk, "{b=b:true,c=s:'',d=s:'y',e=i:0,f=t:invalid,g=d:07,h=r:0.5,i=s:'  '}"},
  };
  for (const auto& c : cases) {
    XpIniDict dict;
    EXPECT_EQ(ReadInto(c.document, dict), c.result) << c.name;
    EXPECT_EQ(Describe(dict), c.tree) << c.name;
  }
}

TEST(XpPlistReader, ReadAddsToTheDictionaryAndNeedsARoot) {
  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"kept", kXpIniTypeInt, 1), kXpOk);
  EXPECT_EQ(
      ReadInto("<plist><dict><key>new</key><true/><key>kept</key><true/></dict></plist>", dict),
      kXpOk);
  EXPECT_EQ(Describe(dict), "{kept=i:1,new=b:true}");

  ::XpXmlDocument empty;
  EXPECT_EQ(XpPlistReader::Read(empty, &dict), kXpErrValueNoRoot);
  EXPECT_EQ(XpPlistReader::Read(empty, nullptr), kXpErrBadArgument);
}

TEST(XpPlistReader, IndentedDocumentReadsLikeACompactOne) {
  const std::string compact =
      "<plist version=\"1.0\"><dict><key>a</key><array><integer>1</integer><dict><key>b</key>"
      "<string>x "
      "y</string></dict></array><key>c</key><date>2006:01:02T03:04:05Z</date></dict></plist>";
  const std::string indented =
      "<?xml version=\"1.0\"?>\r\n<plist version=\"1.0\">\r\n  <dict>\n    <key>a</key>\n    "
      "<array>\n"
      "      <integer>1</integer>\n      <dict>\n        <key>b</key>\n\t\t<string>x y</string>\n"
      "      </dict>\n    </array>\n    <key>c</key>\n    <date>2006:01:02T03:04:05Z</date>\n"
      "  </dict>\n</plist>\n";
  XpIniDict fromCompact;
  XpIniDict fromIndented;
  EXPECT_EQ(ReadInto(compact, fromCompact), kXpOk);
  EXPECT_EQ(ReadInto(indented, fromIndented), kXpOk);
  EXPECT_EQ(Describe(fromCompact), "{a=[i:1,{b=s:'x y'}],c=t:2006-01-02 03:04:05}");
  EXPECT_EQ(Describe(fromIndented), Describe(fromCompact));
}

}  // namespace
