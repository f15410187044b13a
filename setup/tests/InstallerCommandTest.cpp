#include "setup/launch/InstallerCommand.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/registry/XpRegistry.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/config/UserLanguageTransform.h"
#include "setup/launch/InstalledProduct.h"
#include "setup/settings/SetupSettings.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char16_t* kPackageVersion = u"1.1.00.12250";
constexpr const char* kBaseTail =
    " QMVID=ABC CONNECTDEVICE=True QMVMUTEXCHECK_FLAG=False INSTALLMODE=1 SETTINGS=2";

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class InstallerCommandFixture : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    Reset();
  }

  // The base case again, with an empty registry and no installation.
  void Reset() {
    static_cast<void>(XpRegistry::DeleteKeyTree(u"Software", XpRegistry::kRootLocalMachine));
    std::filesystem::remove_all(Root() / "T");
    arguments.clear();
    locale = "en_US.UTF-8";
    allMutexesNew = true;
    packageAccepted = true;
    ini.general = {{"InstallerID", "ABC"}, {"Settings", "2"}, {"Target", "QMV.msi"}};
    ini.bootstrap = {{"ProductName", "QMV"}, {"ErrorCaptionText", "%s Setup"}};
  }

  ::InstallerCommand Build() {
    WriteSettings(ini);
    EXPECT_TRUE(settings_.Read(ProgramFolder() + u"setup.ini"));
    const InstalledProduct product = ReadInstalledProduct(kPackageVersion);
    const SetupCommandLine commandLine =
        ParseSetupCommandLine(arguments, DataFolder(), kPackageVersion, product.version);
    InstallerCommandFacts facts;
    facts.settings = &settings_;
    facts.allMutexesNew = allMutexesNew;
    facts.packageAccepted = packageAccepted;
    uint32_t transform = 0;
    UserLanguageTransform(SetupLcidFromLocale(locale), &transform);
    facts.languageTransform = transform;
    facts.logName = LogName();
    facts.product = product;
    return BuildInstallerCommand(commandLine, facts);
  }

  std::string Text() { return Build().text.ToMultiByte().ToStdString(); }

  XpString DataFolder() const { return ProgramFolder() + u"Data/"; }
  std::string P() const { return DataFolder().ToMultiByte().ToStdString() + "QMV.msi"; }
  static XpString LogName() { return SetupLogName(u"QMV", XpDateTime(2026, 12, 9, 14, 30, 5)); }
  static std::string L() { return LogName().ToMultiByte().ToStdString(); }
  std::string Head() const { return " /I \"" + P() + "\" REBOOT=ReallySuppress INSTALLERVERSION=1.1.00.12250"; }

  setuptest::IniFile ini;
  XpStringVector arguments;
  std::string locale = "en_US.UTF-8";
  bool allMutexesNew = true;
  bool packageAccepted = true;

 private:
  SetupSettings settings_;
};
using InstallerCommand = InstallerCommandFixture;

TEST_F(InstallerCommand, TheBaseCommand) {
  const ::InstallerCommand command = Build();
  EXPECT_TRUE(command.succeeded);
  EXPECT_TRUE(command.installModePassed);
  EXPECT_EQ(command.text.ToMultiByte().ToStdString(), Head() + " TRANSFORMS=:1033" + kBaseTail);
}

TEST_F(InstallerCommand, OptionsAndSettingsShapeTheCommand) {
  struct Case {
    const char* name;
    XpStringVector arguments;
    std::map<std::string, std::string> general;
    std::string locale;
    bool allMutexesNew;
    std::string expectedAfterHead;
  };
  const std::string log = " /L*v \"" + L() + "\"";
  const Case cases[] = {
      {"thru", {u"/thru=ALLUSERS=1"}, {}, "en_US.UTF-8", true, log + " ALLUSERS=1" + kBaseTail},
      {"logging", {u"/logging"}, {}, "en_US.UTF-8", true, log + " QMVLOGGING=True TRANSFORMS=:1033" + kBaseTail},
      {"LOGGING", {u"/LOGGING"}, {}, "en_US.UTF-8", true, std::string(" TRANSFORMS=:1033") + kBaseTail},
      {"japanese", {}, {}, "ja_JP.UTF-8", true, kBaseTail},
      {"transforms option", {u"/transforms=1031"}, {{"Transforms", "x.mst"}}, "en_US.UTF-8", true,
       std::string(" TRANSFORMS=:1031") + kBaseTail},
      {"transforms setting", {}, {{"Transforms", "x.mst"}}, "en_US.UTF-8", true,
       std::string(" TRANSFORMS=:x.mst") + kBaseTail},
      {"qn without the flag", {u"/qn"}, {}, "en_US.UTF-8", true, std::string(" TRANSFORMS=:1033") + kBaseTail},
      {"qn with the flag", {u"/qn"}, {{"Settings", "10002"}}, "en_US.UTF-8", true,
       " TRANSFORMS=:1033 /qn QMVID=ABC CONNECTDEVICE=True QMVMUTEXCHECK_FLAG=False INSTALLMODE=1 SETTINGS=65538"},
      {"select mode", {}, {{"Settings", "10004"}}, "en_US.UTF-8", true,
       " TRANSFORMS=:1033 QMVID=ABC CONNECTDEVICE=True QMVMUTEXCHECK_FLAG=False"},
      {"select mode with oi", {u"/oi"}, {{"Settings", "10004"}}, "en_US.UTF-8", true,
       " TRANSFORMS=:1033 QMVID=ABC CONNECTDEVICE=True QMVMUTEXCHECK_FLAG=False INSTALLMODE=2 SETTINGS=65540"},
      {"watcher suppressed", {}, {{"SupressVW", "True"}}, "en_US.UTF-8", true,
       " TRANSFORMS=:1033 QMVID=ABC QMVMUTEXCHECK_FLAG=False INSTALLMODE=1 SETTINGS=2"},
      {"watcher not exactly suppressed", {}, {{"SupressVW", "true"}}, "en_US.UTF-8", true,
       std::string(" TRANSFORMS=:1033") + kBaseTail},
      {"a mutex existed", {}, {}, "en_US.UTF-8", false,
       " TRANSFORMS=:1033 QMVID=ABC CONNECTDEVICE=True INSTALLMODE=1 SETTINGS=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    for (const auto& [key, value] : c.general) ini.general[key] = value;
    arguments = c.arguments;
    locale = c.locale;
    allMutexesNew = c.allMutexesNew;
    const ::InstallerCommand command = Build();
    EXPECT_TRUE(command.succeeded);
    EXPECT_EQ(command.text.ToMultiByte().ToStdString(), Head() + c.expectedAfterHead);
  }
}

TEST_F(InstallerCommand, ARefusedPackageSkipsOnlyTheOptionsAndFails) {
  packageAccepted = false;
  arguments = {u"/logging", u"/qn"};
  ini.general["Settings"] = "10002";
  const ::InstallerCommand command = Build();
  EXPECT_FALSE(command.succeeded);
  EXPECT_EQ(command.text.ToMultiByte().ToStdString(),
            Head() +
                " QMVID=ABC CONNECTDEVICE=True QMVMUTEXCHECK_FLAG=False INSTALLMODE=1"
                " SETTINGS=65538");
}

TEST_F(InstallerCommand, TheInstalledProductAddsItsVersionAndProperties) {
  setuptest::ProductInstall product;
  product.location = Root() / "T/qmv";
  setuptest::InstallProduct(product);
  const std::string location = product.location.string();
  EXPECT_EQ(Text(), Head() + " QMVVERSION=1.1.00.12000 TRANSFORMS=:1033 QMVID=ABC CONNECTDEVICE=True"
                             " QMVMUTEXCHECK_FLAG=False INSTALLED_INSTALLPATH=\"" + location +
                        "\" INSTALLED_SELECTEDLANG=1033 INSTALLED_COUNTRYORAREACODE=US INSTALLED_BROADCASTSYSTEM=1"
                        " OPPOSITE_UPDATE_FLAG=False REINSTALL=ALL REINSTALLMODE=vomus INSTALLMODE=1 SETTINGS=2"
                        " UPDATER_TARGET_FLAG=False");

  ini.general["Settings"] = "80002";
  EXPECT_THAT(Text(), Not(HasSubstr("REINSTALL")));
}

TEST_F(InstallerCommand, AnOlderPackageSetsTheOppositeUpdateFlag) {
  setuptest::ProductInstall product;
  product.location = Root() / "T/qmv";
  product.version = "1.2.00.00001";
  setuptest::InstallProduct(product);
  EXPECT_THAT(Text(), HasSubstr(" OPPOSITE_UPDATE_FLAG=True REINSTALL=ALL REINSTALLMODE=vomus"));
}

TEST_F(InstallerCommand, WithoutItsBroadcastSystemTheProductIsNotInstalled) {
  setuptest::ProductInstall product;
  product.location = Root() / "T/qmv";
  product.withBroadcast = false;
  setuptest::InstallProduct(product);
  const std::string text = Text();
  EXPECT_THAT(text, Not(HasSubstr("INSTALLED_INSTALLPATH")));
  EXPECT_THAT(text, Not(HasSubstr("REINSTALL")));
}

TEST_F(InstallerCommand, ReinstallIsAddedOnceWhateverAddsIt) {
  const XpString productCode = u"{11111111-2222-3333-4444-555555555555}";
  ini.general["ProductCode"] = productCode.ToMultiByte().ToStdString();

  // The ProductCode's key is missing: nothing, and the read creates nothing.
  EXPECT_THAT(Text(), Not(HasSubstr("REINSTALL")));
  EXPECT_FALSE(setuptest::MachineKeyExists(kSetupUninstallRoot + productCode));

  setuptest::MakeMachineKey(kSetupUninstallRoot + productCode);
  std::string text = Text();
  EXPECT_EQ(Count(text, "REINSTALL=ALL REINSTALLMODE=vomus"), 1u);
  EXPECT_THAT(text, HasSubstr(" QMVMUTEXCHECK_FLAG=False REINSTALL=ALL REINSTALLMODE=vomus INSTALLMODE=1"));

  // The Existence product adds it first; the ProductCode rule then adds nothing.
  ini.general["Existence"] = "DL";
  setuptest::WriteFile(Root() / "T/dl/Version.txt", "1.2.00.00001");
  setuptest::SetMachineString(XpString(kSetupMakerKey) + u"\\DL", u"InstalledLocation",
                              XpString::FromUtf8((Root() / "T/dl").string()));
  text = Text();
  EXPECT_THAT(text, HasSubstr(" DL_INSTALLED_INSTALLPATH=\"" + (Root() / "T/dl").string() +
                              "\" DL_OPPOSITE_UPDATE_FLAG=True REINSTALL=ALL REINSTALLMODE=vomus"));
  EXPECT_EQ(Count(text, "REINSTALL="), 1u);
}

TEST_F(InstallerCommand, ExistenceAddsItsOwnValuesAndThenTheInstalledProduct) {
  ini.general["Existence"] = "DL";
  const XpString dlKey = XpString(kSetupMakerKey) + u"\\DL";
  setuptest::WriteFile(Root() / "T/dl/Version.txt", "1.0.00.00001");
  setuptest::SetMachineString(dlKey, u"InstalledLocation",
                              XpString::FromUtf8((Root() / "T/dl").string()));
  setuptest::SetMachineString(dlKey, u"InstalledLanguage", u"1031");
  setuptest::SetMachineString(dlKey + u"\\GlobalSettings\\1.0", u"CountryOrAreaCode", u"DE");
  setuptest::SetMachineNumber(dlKey + u"\\TranscodeSettings", u"BroadcastSystem", 2);
  setuptest::ProductInstall product;
  product.location = Root() / "T/qmv";
  setuptest::InstallProduct(product);
  EXPECT_THAT(Text(), HasSubstr(" DL_INSTALLED_INSTALLPATH=\"" + (Root() / "T/dl").string() +
                                "\" DL_INSTALLED_BROADCASTSYSTEM=2 DL_INSTALLED_SELECTEDLANG=1031"
                                " DL_INSTALLED_COUNTRYORAREACODE=DE DL_OPPOSITE_UPDATE_FLAG=False REINSTALL=ALL"
                                " REINSTALLMODE=vomus INSTALLED_INSTALLPATH=\"" +
                                product.location.string() +
                                "\" INSTALLED_SELECTEDLANG=1033 INSTALLED_COUNTRYORAREACODE=US"
                                " INSTALLED_BROADCASTSYSTEM=1 OPPOSITE_UPDATE_FLAG=False INSTALLMODE=1"));
}

TEST_F(InstallerCommand, TheThruLogPathIsQuotedLikeTheLoggingOne) {
  SetEnv("TMPDIR", (Root() / "temp with blank").string());
  std::filesystem::create_directories(Root() / "temp with blank");
  ASSERT_THAT(L(), HasSubstr("temp with blank"));
  arguments = {u"/thru=ALLUSERS=1"};
  EXPECT_THAT(Text(), HasSubstr(" /L*v \"" + L() + "\" ALLUSERS=1"));
}

TEST_F(InstallerCommand, TheUpdaterFlagFollowsTheRangeAndTheHistory) {
  struct Case {
    const char* version;
    std::vector<XpStringVector> histories;  // uninstall key, then product key
    const char* expected;                   // "" for no flag
  };
  const Case cases[] = {
      {"1.0.00.9", {}, " UPDATER_TARGET_FLAG=False"},
      {"1.0.06.1", {}, " UPDATER_TARGET_FLAG=False"},
      {"1.0.03.1", {{u"2601"}, {u"2602"}}, " UPDATER_TARGET_FLAG=False"},
      {"1.0.03.1", {{u"2601"}, {u"3100"}}, " UPDATER_TARGET_FLAG=True"},
      {"1.0.05.0", {{u"3100"}}, " UPDATER_TARGET_FLAG=True"},
      {"1.0.03.1", {}, ""},
      {nullptr, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version == nullptr ? "no version" : c.version);
    Reset();
    ini.general["UpdateRange"] = "1.0.00-1.0.05";
    setuptest::SetMachineString(XpString(kSetupMakerKey) + u"\\" + kSetupFormerSuiteSubkey,
                                u"InstalledLocation",
                                XpString::FromUtf8((Root() / "T/tlv").string()));
    std::filesystem::create_directories(Root() / "T/tlv");
    if (c.version != nullptr) setuptest::WriteFile(Root() / "T/tlv/Version.txt", c.version);
    const XpString keys[] = {kSetupUninstallKey, kSetupProductKey};
    for (size_t i = 0; i < c.histories.size(); ++i) setuptest::SetMachineMultiString(keys[i], c.histories[i]);
    const std::string text = Text();
    EXPECT_TRUE(text.ends_with(std::string(" INSTALLMODE=1 SETTINGS=2") + c.expected)) << text;
  }
}

TEST_F(InstallerCommand, UpdateRangeExcludesTheLowestAndIncludesTheHighest) {
  struct Case {
    const char16_t* version;
    const char16_t* range;
    bool inside;
  };
  const Case cases[] = {
      {u"1.0.00.1", u"1.0.00-1.0.05", false}, {u"1.0.01", u"1.0.00-1.0.05", true},
      {u"1.0.05.9", u"1.0.00-1.0.05", true},  {u"1.0.06", u"1.0.00-1.0.05", false},
      {u"1.0.03", u"", false},                 {u"", u"1.0.00-1.0.05", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsVersionInUpdateRange(c.version, c.range), c.inside) << XpString(c.version).ToMultiByte().CStr();
  }
}

}  // namespace
