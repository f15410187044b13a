#include "setup/app/ReportError.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "setup/app/SetupStringTable.h"
#include "setup/settings/SetupSettings.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

using setuptest::BoxLines;
using setuptest::CompleteSettings;
using setuptest::ErrorBoxLine;
using setuptest::IniFile;
using ::testing::ElementsAre;

class SetupReportError : public setuptest::SetupFixture {
 protected:
  SetupSettings Settings(const char* caption, const char* productName) {
    IniFile file = CompleteSettings();
    file.bootstrap["ErrorCaptionText"] = caption;
    file.bootstrap["ProductName"] = productName;
    WriteSettings(file);
    SetupSettings settings;
    static_cast<void>(settings.Read(ProgramFolder() + u"setup.ini"));
    return settings;
  }
};

TEST_F(SetupReportError, CaptionTakesTheProductNameThroughTheSafeFormatter) {
  struct Case {
    const char* format;
    const char* productName;
    const char16_t* caption;
  };
  const Case cases[] = {
      {"%s Setup", "QMV", u"QMV Setup"},
      {"%s Setup", "", u" Setup"},
      {"No name", "QMV", u"No name"},
      {"100%% %s", "QMV", u"100% QMV"},
      {"%n%s%d", "QMV", u"%n%s%d"},
      {"%s and %s", "QMV", u"%s and %s"},
      {"%d Setup", "QMV", u"%d Setup"},
      {"%s", "%d%n", u"%d%n"},
  };
  const CError error(kSetupStringFilesMissing, std::nullopt, "test");
  for (const Case& c : cases) {
    EXPECT_EQ(SetupErrorCaption(error, Settings(c.format, c.productName)), c.caption) << c.format;
  }
}

TEST_F(SetupReportError, CaptionIdAndMessageText) {
  const SetupSettings settings = Settings("%s Setup", "QMV");
  const CError withText(kSetupStringFilesMissing, XpString(u"Installer"), "test");
  EXPECT_EQ(SetupErrorMessage(withText, settings),
            u"Cannot start Installer because the necessary files do not exist or the files are "
            u"corrupted.");
  const CError withName(kSetupStringFilesMissing, std::nullopt, "test", 130);
  EXPECT_EQ(SetupErrorCaption(withName, settings), u"QMV Setup Error");
  EXPECT_EQ(SetupErrorMessage(withName, settings),
            u"Cannot start QMV because the necessary files do not exist or the files are "
            u"corrupted.");
  const CError unknownCaption(kSetupStringOsNotSupported, std::nullopt, "test", 9999);
  EXPECT_EQ(SetupErrorCaption(unknownCaption, settings), u"");
}

TEST_F(SetupReportError, FormattedTextsAreCutToTheirLimits) {
  const XpString longName(std::u16string(5000, u'n'));
  EXPECT_EQ(SetupFormatWithText(u"%s Setup", longName, kSetupCaptionLimit).GetLength(),
            kSetupCaptionLimit);
  EXPECT_EQ(SetupFormatWithText(u"<%s>", longName, kSetupMessageLimit),
            XpString(u"<" + std::u16string(kSetupMessageLimit - 1, u'n')));
  EXPECT_EQ(SetupFormatWithText(u"%s", u"short", kSetupCaptionLimit), u"short");
}

TEST_F(SetupReportError, ShowsOneErrorBox) {
  const SetupSettings settings = Settings("%s Setup", "QMV");
  auto lines = std::make_shared<std::vector<std::string>>();
  auto host = setuptest::MakeScriptedHost("box * press ok\n", lines);
  const CError error(kSetupStringOsNotSupported, std::nullopt, "test");
  EXPECT_EQ(error.ExitValue(), 1);
  EXPECT_EQ(error.BoxFlags(), 0x10u);
  EXPECT_EQ(ReportError(error, settings, *host), 1);
  EXPECT_THAT(BoxLines(*lines),
              ElementsAre(ErrorBoxLine(u"QMV Setup", SetupLoadString(kSetupStringOsNotSupported))));
  EXPECT_FALSE(host->HasFailed());
}

TEST_F(SetupReportError, StringTableRows) {
  const uint32_t ids[] = {103, 109, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130,
                          131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143};
  for (const uint32_t id : ids) {
    ASSERT_NE(SetupLoadString(id), nullptr) << id;
  }
  for (const uint32_t missing : {0u, 102u, 104u, 120u, 144u}) {
    EXPECT_EQ(SetupLoadString(missing), nullptr) << missing;
  }
  EXPECT_EQ(XpString(SetupLoadString(121)),
            u"Another version of setup is already running.\n\rOnly one version of this "
            u"application can run at a single time.");
  EXPECT_EQ(XpString(SetupLoadString(131)),
            u"Version detection failed for %1. Insure that the installer exists at the "
            u"specified location.%n%nMessage returned: %2");
  EXPECT_EQ(XpString(SetupLoadString(142)).ToMultiByte().ToStdString().find('\n'), 52u);
}

}  // namespace
