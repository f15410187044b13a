#include "framework/commandline/SfAccessorCommandLineInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/tests/text/XpStringPrinters.h"

namespace {

struct Expected {
  bool exportFlag = false;
  bool importFlag = false;
  bool importScore = false;
  const char16_t* exportFile = u"";
  const char16_t* importPath = u"";
  const char16_t* lastParam = u"";
  uint32_t parentWindow = 0;
  const char16_t* fileName = u"";
};

SfAccessorCommandLineInfo Parse(std::vector<const char*> arguments,
                                SfAccessorCommandLineInfo info = {}) {
  arguments.insert(arguments.begin(), "TLVK2Accessor");
  XfParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), info);
  return info;
}

std::string Joined(const std::vector<const char*>& arguments) {
  std::string text;
  for (const char* argument : arguments) {
    text += text.empty() ? "" : " ";
    text += argument;
  }
  return text;
}

TEST(SfAccessorCommandLineInfo, RecordsRequestsFromArgumentVectors) {
  struct Case {
    std::vector<const char*> arguments;
    Expected expected;
  };
  const Case cases[] = {
      {{"/EXPORT", "f"},
       {.exportFlag = true, .exportFile = u"f", .lastParam = u"f", .fileName = u"f"}},
      {{"-export", "/tmp/x.xml", "-parentwindow", "1A2B"},
       {.exportFlag = true,
        .exportFile = u"/tmp/x.xml",
        .lastParam = u"1A2B",
        .parentWindow = 0x1A2B,
        .fileName = u"/tmp/x.xml"}},
      {{"--export", "/tmp/x.xml"},
       {.exportFlag = true,
        .exportFile = u"/tmp/x.xml",
        .lastParam = u"/tmp/x.xml",
        .fileName = u"/tmp/x.xml"}},
      // A flag takes no flag as its parameter.
      {{"/export", "/import", "dir"},
       {.exportFlag = true,
        .importFlag = true,
        .importPath = u"dir",
        .lastParam = u"dir",
        .fileName = u"dir"}},
      {{"-importscore", "7"}, {.importScore = true, .lastParam = u"7", .fileName = u"7"}},
      // A flag as the last argument leaves the last parameter alone.
      {{"-importscore", "7", "-export"},
       {.exportFlag = true, .importScore = true, .fileName = u"7"}},
      {{"-parentwindow", "zz"}, {.lastParam = u"zz", .fileName = u"zz"}},
      {{"-parentwindow", "0x1a2b"}, {.lastParam = u"0x1a2b", .parentWindow = 0x1A2B, .fileName = u"0x1a2b"}},
      // A flag takes at most one parameter.
      {{"-export", "a", "b"},
       {.exportFlag = true, .exportFile = u"a", .lastParam = u"b", .fileName = u"a"}},
      {{"/tmp/x.xml"}, {.lastParam = u"/tmp/x.xml", .fileName = u"/tmp/x.xml"}},
      {{"/unknown", "x"}, {.lastParam = u"x", .fileName = u"/unknown"}},
      {{"-Unknown", "x", "-IMPORTSCORE"}, {.importScore = true, .fileName = u"x"}},
  };
  for (const Case& c : cases) {
    const SfAccessorCommandLineInfo info = Parse(c.arguments);
    const Expected& e = c.expected;
    SCOPED_TRACE(Joined(c.arguments));
    EXPECT_EQ(info.m_bExport, e.exportFlag);
    EXPECT_EQ(info.m_bImport, e.importFlag);
    EXPECT_EQ(info.m_bImportScore, e.importScore);
    EXPECT_EQ(info.m_strExportFile, e.exportFile);
    EXPECT_EQ(info.m_strImportPath, e.importPath);
    EXPECT_EQ(info.m_strLastParam, e.lastParam);
    EXPECT_EQ(info.m_hParentWnd, e.parentWindow);
    EXPECT_EQ(info.m_strFileName, e.fileName);
  }
}

TEST(SfAccessorCommandLineInfo, KeepsTheLastFlagUntilAParameterFollows) {
  EXPECT_EQ(Parse({"-export"}).m_strLastFlag, u"export");
  EXPECT_EQ(Parse({"-Other"}).m_strLastFlag, u"Other");
  EXPECT_EQ(Parse({"-export", "a"}).m_strLastFlag, u"");
}

TEST(SfAccessorCommandLineInfo, ReadsTheParentWindowAsHexadecimal) {
  constexpr uint32_t kBefore = 0x5A5A;
  struct Case {
    const char* text;
    uint32_t expected;
  };
  const Case cases[] = {
      {"1A2Bzz", 0x1A2B},
      {" \t0X1a2b", 0x1A2B},
      {"ffffffff", 0xFFFFFFFF},
      {"0000000012345678", 0x12345678},  // leading zeros are not significant
      {"0", 0},
      {"123456789", kBefore},  // nine significant digits
      {"zz", kBefore},
      {"", kBefore},
      {"0x", kBefore},
      {"-1", kBefore},
  };
  for (const Case& c : cases) {
    SfAccessorCommandLineInfo start;
    start.m_hParentWnd = kBefore;
    EXPECT_EQ(Parse({"-parentwindow", c.text}, start).m_hParentWnd, c.expected) << c.text;
  }
}

// A derived record extends the known flags, so "/salvage" becomes a flag.
class SalvageInfo : public SfAccessorCommandLineInfo {
 public:
  void ParseParam(const char16_t* param, bool isFlag, bool isLast) override {
    if (isFlag && XpString(param).CompareNoCase(u"salvage") == 0) {
      salvage = true;
    }
    SfAccessorCommandLineInfo::ParseParam(param, isFlag, isLast);
  }
  XpStringVector GetKnownFlags() const override {
    XpStringVector flags = SfAccessorCommandLineInfo::GetKnownFlags();
    flags.emplace_back(u"salvage");
    return flags;
  }

  bool salvage = false;
};

TEST(SfAccessorCommandLineInfo, DerivedRecordsAddKnownFlags) {
  SalvageInfo info;
  std::vector<const char*> arguments = {"TLVK2Accessor", "/Salvage", "/export", "/tmp/h.xml"};
  XfParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), info);
  EXPECT_TRUE(info.salvage);
  EXPECT_TRUE(info.m_bExport);
  EXPECT_EQ(info.m_strExportFile, u"/tmp/h.xml");
  EXPECT_TRUE(SfAccessorCommandLineInfo().IsKnownFlag(XpString(u"ParentWindow")));
  EXPECT_FALSE(SfAccessorCommandLineInfo().IsKnownFlag(XpString(u"salvage")));
}

}  // namespace
