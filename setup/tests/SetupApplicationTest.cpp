#include "setup/app/SetupApplication.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sync/XpNamedObject.h"
#include "platform/testsupport/ForkedChild.h"
#include "setup/app/SetupMutex.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

using setuptest::BoxLines;
using setuptest::CompleteSettings;
using setuptest::ErrorBoxLine;
using setuptest::IniFile;
using setuptest::Lines;
using setuptest::RecordingSetup;
using testsupport::ChildChannel;
using testsupport::ForkedChild;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using Calls = std::vector<std::string>;

const XpString kMissingForInstaller =
    u"Cannot start Installer because the necessary files do not exist or the files are "
    u"corrupted.";
const XpString kMissingForProduct =
    u"Cannot start QMV because the necessary files do not exist or the files are corrupted.";
const XpString kOsRefused =
    u"Cannot install because this program does not support\nWindows XP Service Pack 2 or "
    u"earlier Windows operating systems.\nUpdate to Service Pack 3 or later, and then try again.";

const Calls kAllHooks = {"StartPreparingWindow", "ExtractPackage",
                         "VerifySettingsDigest", "StopWatcher",
                         "CheckRequiredFiles",   "ReadFileConfigurationFacts",
                         "SetPackageSourceList", "ReadInstalledProduct",
                         "BuildInstallerCommand", "RunInstaller",
                         "RunFileConfiguration", "RegisterWatcher",
                         "StartWatcher",         "IsRestartNeeded"};

// Bits of ChildOpenMask.
constexpr int kBootstrapBit = 1;
constexpr int kInstallerBit = 2;
constexpr int kViewerBit = 4;

// Which of setup's mutexes another process can open now.
int ChildOpenMask() {
  ForkedChild child;
  const bool started = child.Start([](ChildChannel&) {
    int mask = 0;
    const std::pair<const char16_t*, int> names[] = {{kSetupBootstrapMutexName, kBootstrapBit},
                                                     {kSetupInstallerMutexName, kInstallerBit},
                                                     {kSetupViewerMutexName, kViewerBit}};
    for (const auto& [name, bit] : names) {
      XpNamedObject probe;
      if (XpSucceeded(probe.Open(name, XpNamedObjectKind::kMutex))) mask |= bit;
    }
    return mask;
  });
  EXPECT_TRUE(started);
  return started ? child.Wait() : -1;
}

class SetupApplicationFixture : public setuptest::SetupFixture {
 protected:
  // Runs setup over the program folder with a script that answers one box
  // when a box is expected.
  int RunSetup(bool expectBox, const std::function<void(RecordingSetup&)>& prepare = {}) {
    host_ = setuptest::MakeScriptedHost(expectBox ? "box * press ok\n" : "", lines_);
    RecordingSetup setup(*host_, TestEnvironment());
    if (prepare) prepare(setup);
    const int status = setup.Run({});
    calls_ = setup.calls;
    allMutexesNewSeen_ = setup.allMutexesNewSeen;
    EXPECT_FALSE(host_->HasFailed());
    return status;
  }

  std::vector<std::string> Boxes() const { return BoxLines(*lines_); }

  Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
  Calls calls_;
  std::optional<bool> allMutexesNewSeen_;
};
using SetupApplication = SetupApplicationFixture;

TEST_F(SetupApplication, MissingSettingsFileShowsAnEmptyCaption) {
  for (const bool asFolder : {false, true}) {
    lines_->clear();
    errorLines.clear();
    if (asFolder) std::filesystem::create_directories(ProgramDir() / "setup.ini");
    EXPECT_EQ(RunSetup(true), kSetupExitFailure);
    EXPECT_THAT(Boxes(), ElementsAre(ErrorBoxLine(u"", kMissingForInstaller))) << asFolder;
    EXPECT_THAT(calls_, IsEmpty());
    EXPECT_EQ(errorLines.size(), 1u);
  }
}

TEST_F(SetupApplication, EachFailureBeforeTheInstallerIsOneBoxAndStatusOne) {
  struct Case {
    const char* name;
    std::function<void(IniFile&)> settings;
    std::function<void(RecordingSetup&)> prepare;
    std::function<void()> files;
    XpString message;
    Calls calls;
  };
  const Calls upToRequiredFiles = {"VerifySettingsDigest", "StopWatcher", "CheckRequiredFiles"};
  const Calls upToBuild = {"VerifySettingsDigest",  "StopWatcher",          "CheckRequiredFiles",
                           "ReadFileConfigurationFacts", "SetPackageSourceList",
                           "ReadInstalledProduct", "BuildInstallerCommand"};
  const Case cases[] = {
      {"bad Settings", [](IniFile& s) { s.general["Settings"] = "zz"; }, {}, {},
       kMissingForInstaller, {}},
      {"no Target", [](IniFile& s) { s.general.erase("Target"); }, {}, {}, kMissingForInstaller,
       {}},
      {"extract fails", [](IniFile& s) { s.general["Extract"] = "p.zip"; },
       [](RecordingSetup& r) { r.extractAnswer = false; }, {}, kMissingForProduct,
       {"ExtractPackage"}},
      {"no data.bin", {}, {},
       [this] { std::filesystem::remove(ProgramDir() / "Data/data.bin"); },
       kMissingForProduct, {}},
      {"data.bin is a folder", {}, {},
       [this] {
         std::filesystem::remove(ProgramDir() / "Data/data.bin");
         std::filesystem::create_directories(ProgramDir() / "Data/data.bin");
       },
       kMissingForProduct, {}},
      {"digest differs", {}, [](RecordingSetup& r) { r.digestAnswer = false; }, {},
       kMissingForProduct, {"VerifySettingsDigest"}},
      {"required files missing", {}, [](RecordingSetup& r) { r.requiredFilesAnswer = false; }, {},
       kMissingForProduct, upToRequiredFiles},
      {"no Version.txt", {}, {},
       [this] {
         std::filesystem::remove(ProgramDir() / "Data/Version.txt");
       },
       kMissingForProduct, upToRequiredFiles},
      {"empty Version.txt", {}, {},
       [this] { WriteProgramFile("Data/Version.txt", "\r\n"); },
       kMissingForProduct, upToRequiredFiles},
      {"command refused", {}, [](RecordingSetup& r) { r.buildAnswer = false; }, {},
       kMissingForProduct, upToBuild},
      {"old system", {}, {},
       [this] { SetEnv("KAVO_OS_VERSION", "2.6.2"); }, kOsRefused,
       {"VerifySettingsDigest", "StopWatcher"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lines_->clear();
    errorLines.clear();
    IniFile settings = CompleteSettings();
    if (c.settings) c.settings(settings);
    WriteInstallSet(settings);
    if (c.files) c.files();
    EXPECT_EQ(RunSetup(true, c.prepare), kSetupExitFailure);
    EXPECT_THAT(Boxes(), ElementsAre(ErrorBoxLine(u"QMV Setup", c.message)));
    EXPECT_THAT(calls_, ElementsAreArray(c.calls));
    EXPECT_EQ(errorLines.size(), 1u);
    SetEnv("KAVO_OS_VERSION", "2.6.1");
  }
}

TEST_F(SetupApplication, AFailedSystemQueryRefuses) {
  WriteInstallSet(CompleteSettings());
  host_ = setuptest::MakeScriptedHost("box * press ok\n", lines_);
  SetupEnvironment environment = TestEnvironment();
  environment.os.reset();
  RecordingSetup setup(*host_, environment);
  EXPECT_EQ(setup.Run({}), kSetupExitFailure);
  EXPECT_THAT(Boxes(), ElementsAre(ErrorBoxLine(u"QMV Setup", kOsRefused)));
}

TEST_F(SetupApplication, EverythingSucceeds) {
  IniFile settings = CompleteSettings();
  settings.general["PrepareMsg"] = "true";
  settings.general["Extract"] = "p.zip";
  WriteInstallSet(settings);
  XpString archive;
  XpString folder;
  EXPECT_EQ(RunSetup(false, [&](RecordingSetup& r) {
              r.afterRelease = [&r, &archive, &folder] {
                archive = r.archiveSeen;
                folder = r.folderSeen;
              };
            }),
            kSetupExitSuccess);
  EXPECT_THAT(calls_, ElementsAreArray(kAllHooks));
  EXPECT_THAT(Boxes(), IsEmpty());
  EXPECT_THAT(errorLines, IsEmpty());
  EXPECT_EQ(allMutexesNewSeen_, true);
  EXPECT_EQ(archive, ProgramFolder() + u"p.zip");
  EXPECT_EQ(folder, ProgramFolder() + u"Data/");
  EXPECT_EQ(std::filesystem::current_path(), ProgramDir());
}

TEST_F(SetupApplication, OnlyCabAndZipNamesAreUnpacked) {
  struct Case {
    const char* extract;
    bool unpacked;
  };
  const Case cases[] = {{"p.zip", true}, {"sub/p.cab", true}, {"p.ZIP", false},
                        {"p.Cab", false}, {"p.zip.txt", false}, {"", false}};
  for (const Case& c : cases) {
    IniFile settings = CompleteSettings();
    settings.general["Extract"] = c.extract;
    WriteInstallSet(settings);
    EXPECT_EQ(RunSetup(false), kSetupExitSuccess) << c.extract;
    const bool called = std::find(calls_.begin(), calls_.end(), "ExtractPackage") != calls_.end();
    EXPECT_EQ(called, c.unpacked) << c.extract;
  }
}

TEST_F(SetupApplication, FailedInstallerEndsWithEightyAndOneLine) {
  struct Case {
    const char* supressVW;
    Calls tail;
  };
  const Case cases[] = {{"True", {"RunInstaller", "StartWatcher"}},
                        {"true", {"RunInstaller"}},
                        {"", {"RunInstaller"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.supressVW);
    errorLines.clear();
    IniFile settings = CompleteSettings();
    settings.general["SupressVW"] = c.supressVW;
    WriteInstallSet(settings);
    EXPECT_EQ(RunSetup(false, [](RecordingSetup& r) { r.installerExit = 1603; }), kSetupExitBusy);
    ASSERT_GE(calls_.size(), c.tail.size());
    EXPECT_THAT(Calls(calls_.end() - static_cast<long>(c.tail.size()), calls_.end()),
                ElementsAreArray(c.tail));
    EXPECT_THAT(Boxes(), IsEmpty());
    EXPECT_THAT(errorLines, ElementsAre("setup: the installer ended with exit code 1603"));
  }
}

TEST_F(SetupApplication, RestartComesAfterTheLastSteps) {
  WriteInstallSet(CompleteSettings());
  EXPECT_EQ(RunSetup(false, [](RecordingSetup& r) { r.restartAnswer = true; }),
            kSetupExitSuccess);
  // Without PrepareMsg and Extract the first two hooks are not called.
  Calls expected(kAllHooks.begin() + 2, kAllHooks.end());
  expected.push_back("RestartWindows");
  EXPECT_THAT(calls_, ElementsAreArray(expected));
}

TEST_F(SetupApplication, BaseHooksNeverClaimSuccess) {
  IniFile settings = CompleteSettings();
  WriteInstallSet(settings);
  host_ = setuptest::MakeScriptedHost("box * press ok\n", lines_);
  ::SetupApplication setup(*host_, TestEnvironment());
  EXPECT_EQ(setup.Run({}), kSetupExitFailure);
  EXPECT_THAT(Boxes(), ElementsAre(ErrorBoxLine(u"QMV Setup", kMissingForProduct)));
}

TEST_F(SetupApplication, ABusyStartStillRunsTheInstallerThenEndsWithEighty) {
  WriteInstallSet(CompleteSettings());
  ForkedChild holder;
  ASSERT_TRUE(holder.Start([](ChildChannel& channel) {
    XpNamedObject mutex;
    if (XpFailed(mutex.CreateMutex(kSetupBootstrapMutexName, true))) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(holder.WaitReady());
  EXPECT_EQ(RunSetup(false), kSetupExitBusy);
  holder.LetGo();
  EXPECT_EQ(holder.Wait(), 0);

  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), "RunInstaller"), 1);
  EXPECT_EQ(calls_.back(), "RunInstaller");
  EXPECT_EQ(allMutexesNewSeen_, false);
  EXPECT_THAT(errorLines, ElementsAre("setup: another setup was running"));
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(SetupApplication, HeldViewerMutexRestartsTheWatcherOnlyForExactTrue) {
  struct Case {
    const char* supressVW;
    Calls calls;
  };
  const Case cases[] = {
      {"True",
       {"VerifySettingsDigest", "StopWatcher", "StartWatcher", "CheckRequiredFiles",
        "ReadFileConfigurationFacts", "SetPackageSourceList", "ReadInstalledProduct",
        "BuildInstallerCommand", "RunInstaller"}},
      {"true",
       {"VerifySettingsDigest", "StopWatcher", "CheckRequiredFiles", "ReadFileConfigurationFacts",
        "SetPackageSourceList", "ReadInstalledProduct", "BuildInstallerCommand",
        "RunInstaller"}},
  };
  ForkedChild holder;
  ASSERT_TRUE(holder.Start([](ChildChannel& channel) {
    XpNamedObject mutex;
    if (XpFailed(mutex.CreateMutex(kSetupViewerMutexName, true))) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(holder.WaitReady());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.supressVW);
    IniFile settings = CompleteSettings();
    settings.general["SupressVW"] = c.supressVW;
    WriteInstallSet(settings);
    EXPECT_EQ(RunSetup(false), kSetupExitBusy);
    EXPECT_THAT(calls_, ElementsAreArray(c.calls));
    EXPECT_EQ(allMutexesNewSeen_, false);
  }
  holder.LetGo();
  EXPECT_EQ(holder.Wait(), 0);
}

TEST_F(SetupApplication, MutexLifetimes) {
  WriteInstallSet(CompleteSettings());
  int duringInstaller = -1;
  int afterRelease = -1;
  EXPECT_EQ(RunSetup(false,
                     [&](RecordingSetup& r) {
                       r.duringInstaller = [&] { duringInstaller = ChildOpenMask(); };
                       r.afterRelease = [&] { afterRelease = ChildOpenMask(); };
                     }),
            kSetupExitSuccess);
  EXPECT_EQ(duringInstaller, kBootstrapBit | kInstallerBit | kViewerBit);
  EXPECT_EQ(afterRelease, kBootstrapBit);
  EXPECT_EQ(ChildOpenMask(), 0);
}

TEST_F(SetupApplication, MutexesAreClosedAfterAFailureToo) {
  WriteInstallSet(CompleteSettings());
  EXPECT_EQ(RunSetup(true, [](RecordingSetup& r) { r.buildAnswer = false; }), kSetupExitFailure);
  EXPECT_EQ(ChildOpenMask(), 0);
}

}  // namespace
