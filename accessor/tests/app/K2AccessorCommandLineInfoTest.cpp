#include "accessor/app/K2AccessorCommandLineInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "accessor/tests/app/AccessorTestSupport.h"
#include "framework/commandline/XfCommandLineInfo.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

struct Record {
  bool exportFlag = false;
  std::string exportFile;
  uint32_t parentWindow = 0;
  bool importFlag = false;
  std::string importPath;
  bool importScore = false;
  bool salvage = false;
  bool assumeYes = false;
  std::string lastParam;
  bool help = false;
};

struct Case {
  std::vector<std::string> args;
  // Sets what differs from an empty record.
  std::function<void(Record&)> expect;
};

Record Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"TLVK2Accessor"};
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  ::K2AccessorCommandLineInfo info;
  XfParseCommandLine(static_cast<int>(argv.size()), argv.data(), info);
  return Record{info.m_bExport,
                info.m_strExportFile.ToMultiByte().ToStdString(),
                info.m_hParentWnd,
                info.m_bImport,
                info.m_strImportPath.ToMultiByte().ToStdString(),
                info.m_bImportScore,
                info.m_bSalvage,
                info.m_bAssumeYes,
                info.m_strLastParam.ToMultiByte().ToStdString(),
                info.m_bHelp};
}

std::string Describe(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) {
    text += (text.empty() ? "" : " ") + arg;
  }
  return text;
}

class CommandLineTest : public testsupport::HermeticTest {};
using K2AccessorCommandLineInfo = CommandLineTest;

TEST_F(K2AccessorCommandLineInfo, ParsesEachLineIntoTheFullRecord) {
  const Case cases[] = {
      {{"-EXPORT", "/t/h.xml"}, [](Record& r) { r.exportFlag = true; r.exportFile = "/t/h.xml"; r.lastParam = "/t/h.xml"; }},
      {{"--export", "/t/h.xml", "-parentwindow", "1A2B"},
       [](Record& r) {
         r.exportFlag = true;
         r.exportFile = "/t/h.xml";
         r.parentWindow = 0x1A2B;
         r.lastParam = "1A2B";
       }},
      {{"-export"}, [](Record& r) { r.exportFlag = true; }},
      {{"-export", "a", "b"}, [](Record& r) { r.exportFlag = true; r.exportFile = "a"; r.lastParam = "b"; }},
      {{"-parentwindow", "zz"}, [](Record& r) { r.lastParam = "zz"; }},
      {{"-import", "/c", "-importscore"}, [](Record& r) { r.importFlag = true; r.importPath = "/c"; r.importScore = true; }},
      {{"-import", "/c"}, [](Record& r) { r.importFlag = true; r.importPath = "/c"; }},
      // The last plain argument is dropped while an import is asked for.
      {{"-import", "/c", "/d"}, [](Record& r) { r.importFlag = true; r.importPath = "/c"; }},
      {{"/salvage"}, [](Record& r) { r.salvage = true; }},
      {{"-SALVAGE", "/yes"}, [](Record& r) { r.salvage = true; r.assumeYes = true; }},
      {{"/data/salvage.xml"}, [](Record& r) { r.lastParam = "/data/salvage.xml"; }},
      {{"/yes.xml"}, [](Record& r) { r.lastParam = "/yes.xml"; }},
      {{"--yes", "-export", "h.xml"}, [](Record& r) { r.exportFlag = true; r.exportFile = "h.xml"; r.assumeYes = true; r.lastParam = "h.xml"; }},
      {{"-yes"}, [](Record& r) { r.assumeYes = true; }},
      // "help" is one flag more; like the others it consumes the next plain argument.
      {{"--help"}, [](Record& r) { r.help = true; }},
      {{"/HELP", "h.xml"}, [](Record& r) { r.help = true; r.lastParam = "h.xml"; }},
      {{"-export", "h.xml", "-help"}, [](Record& r) { r.exportFlag = true; r.exportFile = "h.xml"; r.help = true; }},
      {{"/help.xml"}, [](Record& r) { r.lastParam = "/help.xml"; }},
      // A flag the record does not know consumes the next plain argument.
      {{"-export", "-verbose", "h.xml"}, [](Record& r) { r.exportFlag = true; r.lastParam = "h.xml"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.args));
    const Record got = Parse(c.args);
    Record expected;
    c.expect(expected);
    EXPECT_EQ(got.exportFlag, expected.exportFlag);
    EXPECT_EQ(got.exportFile, expected.exportFile);
    EXPECT_EQ(got.parentWindow, expected.parentWindow);
    EXPECT_EQ(got.importFlag, expected.importFlag);
    EXPECT_EQ(got.importPath, expected.importPath);
    EXPECT_EQ(got.importScore, expected.importScore);
    EXPECT_EQ(got.salvage, expected.salvage);
    EXPECT_EQ(got.assumeYes, expected.assumeYes);
    EXPECT_EQ(got.lastParam, expected.lastParam);
    EXPECT_EQ(got.help, expected.help);
  }
}

TEST_F(K2AccessorCommandLineInfo, KnowsTheBaseFlagsPlusSalvageYesAndHelp) {
  const ::K2AccessorCommandLineInfo info;
  for (const char16_t* name : {u"export", u"import", u"importscore", u"parentwindow", u"salvage", u"Yes", u"help"}) {
    EXPECT_TRUE(info.IsKnownFlag(name)) << XpString(name).ToMultiByte().ToStdString();
  }
  EXPECT_FALSE(info.IsKnownFlag(u"data"));
}

}  // namespace
