#include "setup/launch/SetupCommandLine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shell/XpSpecialFolder.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "setup/launch/InstallerCommand.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

using Options = std::vector<std::pair<XpString, XpString>>;

class SetupCommandLineFixture : public setuptest::SetupFixture {};
using SetupCommandLine = SetupCommandLineFixture;

TEST_F(SetupCommandLine, OptionsAreTakenAsGivenWithExactNames) {
  struct Case {
    XpStringVector arguments;
    Options options;
  };
  const Case cases[] = {
      {{}, {}},
      {{u"/logging"}, {{u"logging", u""}}},
      {{u"/thru=ALLUSERS=1"}, {{u"thru", u"ALLUSERS=1"}}},
      {{u"/transforms=1031", u"plain", u"/qn"}, {{u"transforms", u"1031"}, {u"qn", u""}}},
      // Nothing is split again: a blank stays inside the value.
      {{u"/thru=A=1 B=2"}, {{u"thru", u"A=1 B=2"}}},
      {{u"/LOGGING"}, {{u"LOGGING", u""}}},
      {{u"/"}, {{u"", u""}}},
      // Dashes only for the known names.
      {{u"-logging", u"--oi", u"--transforms=1031"}, {{u"logging", u""}, {u"oi", u""}, {u"transforms", u"1031"}}},
      {{u"-unknown", u"--LOGGING", u"---qn"}, {}},
  };
  for (const Case& c : cases) {
    const ::SetupCommandLine parsed = ParseSetupCommandLine(c.arguments, u"/d/", u"1.0", u"");
    EXPECT_EQ(parsed.options, c.options) << (c.arguments.empty() ? "" : c.arguments[0].ToMultiByte().CStr());
  }
}

TEST_F(SetupCommandLine, HasOptionComparesNamesExactlyAndHandsOverTheValue) {
  const ::SetupCommandLine parsed =
      ParseSetupCommandLine({u"/LOGGING", u"/transforms=1031", u"/transforms=9"}, u"/d/", u"1.1", u"1.0");
  EXPECT_EQ(parsed.packageFolder, u"/d/");
  EXPECT_EQ(parsed.packageVersion, u"1.1");
  EXPECT_EQ(parsed.installedVersion, u"1.0");
  EXPECT_FALSE(parsed.HasOption(u"logging"));
  EXPECT_TRUE(parsed.HasOption(u"LOGGING"));
  XpString value = u"kept";
  EXPECT_FALSE(parsed.HasOption(u"thru", &value));
  EXPECT_EQ(value, u"kept");
  EXPECT_TRUE(parsed.HasOption(u"transforms", &value));
  EXPECT_EQ(value, u"1031");
  EXPECT_TRUE(parsed.HasOption(u"transforms"));
}

TEST_F(SetupCommandLine, NamesAndValuesAreCutTo260Units) {
  const std::u16string longName(300, u'n');
  const std::u16string longValue(300, u'v');
  const ::SetupCommandLine parsed =
      ParseSetupCommandLine({XpString(u"/" + longName + u"=" + longValue)}, u"/d/", u"1", u"");
  ASSERT_EQ(parsed.options.size(), 1u);
  EXPECT_EQ(parsed.options[0].first, XpString(longName.substr(0, 260)));
  EXPECT_EQ(parsed.options[0].second, XpString(longValue.substr(0, 260)));
}

TEST_F(SetupCommandLine, TheLogNameTakesTheTemporaryFolderTheProductAndTheLocalTime) {
  XpString folder = XpGetSpecialFolder(kXpFolderTemp, false);
  if (!folder.View().ends_with(u"/")) folder += u"/";
  const XpDateTime frozen(2026, 12, 9, 14, 30, 5);
  EXPECT_EQ(SetupLogName(u"", frozen), folder + u"[QMV]Installer-20261209-143005.log");
  EXPECT_EQ(SetupLogName(u"Q V", XpDateTime(2027, 1, 2, 3, 4, 5)), folder + u"[Q V]Installer-20270102-030405.log");
}

}  // namespace
