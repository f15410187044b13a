#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sync/XpNamedObject.h"
#include "platform/testsupport/ForkedChild.h"
#include "setup/app/SetupMutex.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/launch/RestartWindows.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"
#include "setup/tests/tools/MakeInstallSet.h"
#include "setup/tests/tools/RecordingMsiexec.h"

namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

constexpr const char* kMissingForProduct =
    "Cannot start QMV because the necessary files do not exist or the files are corrupted.";
constexpr const char* kRealClock = "option clock real\noption timeout 600000\n";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The setup program run in an install set that make-install-set wrote,
// with the recording "Msiexec" beside it.
class SetupEndToEndFixture : public setuptest::SetupFixture {
 protected:
  void Make(const setuptest::InstallSetOptions& options = {}) {
    std::string error;
    ASSERT_TRUE(setuptest::MakeInstallSet(Set().string(), KAVO_SETUP_PROGRAM, options, &error)) << error;
    SetEnv("KAVO_CA_BUNDLE", (Set() / "test-ca.pem").string());
    SetEnv("MSIEXEC_RECORD", Record().string());
    SetEnv("LANG", "en_US.UTF-8");
    SetEnv("LC_ALL", "");
    SetEnv("LC_MESSAGES", "");
    SetEnv("PATH", "/usr/bin:/bin");
  }

  // As Make, in place of the set and record of a case before.
  void MakeAfresh(const setuptest::InstallSetOptions& options) {
    fs::remove_all(Set());
    fs::remove(Record());
    Make(options);
  }

  // Runs setup with the UI script; the exit status, or -1.
  int Run(const std::string& script, const std::string& arguments = std::string()) {
    std::ofstream(Root() / "ui.script") << kRealClock << script;
    SetEnv("KAVO_UI_SCRIPT", (Root() / "ui.script").string());
    // A transcript file is written whole at the end; standard output shows
    // each line as it happens.
    SetEnv("KAVO_UI_TRANSCRIPT", transcriptOnStdout_ ? std::string() : Transcript().string());
    const std::string command = "cd " + Set().string() + " && ./setup " + arguments + " </dev/null >" +
                                (Root() / "stdout").string() + " 2>" + (Root() / "stderr").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path Set() const { return Root() / "set"; }
  fs::path Transcript() const { return transcriptOnStdout_ ? Root() / "stdout" : Root() / "transcript"; }
  fs::path Record() const { return Root() / "msiexec.record"; }
  std::vector<setuptest::MsiexecRun> Runs() const {
    return setuptest::ReadMsiexecRecord(Record().string());
  }
  std::vector<std::string> Boxes() const { return setuptest::BoxLines(Lines(ReadText(Transcript()))); }
  std::vector<std::string> ErrorLines() const { return Lines(ReadText(Root() / "stderr")); }
  std::string Stdout() const { return ReadText(Root() / "stdout"); }
  std::vector<std::string> BaseArguments() const {
    return {"/I",         (Set() / "Data/QMV.msi").string(), "REBOOT=ReallySuppress", "INSTALLERVERSION=1.1.00.12250",
            "TRANSFORMS=:1033", "QMVID=ABC", "CONNECTDEVICE=True", "QMVMUTEXCHECK_FLAG=False",
            "INSTALLMODE=1",    "SETTINGS=2"};
  }

  bool transcriptOnStdout_ = false;
};
using SetupEndToEnd = SetupEndToEndFixture;

TEST_F(SetupEndToEnd, AnIntactSetRunsTheInstallerOnceAndEndsWithZero) {
  Make();
  EXPECT_EQ(Run(""), 0);
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(1));
  EXPECT_EQ(runs[0].arguments, BaseArguments());
  EXPECT_EQ(runs[0].workingFolder, Set().string());
  EXPECT_THAT(Boxes(), IsEmpty());
  EXPECT_THAT(Stdout(), HasSubstr("Msiexec /I " + (Set() / "Data/QMV.msi").string() + " REBOOT=ReallySuppress"));
  EXPECT_THAT(Stdout(), Not(HasSubstr("restart")));
}

TEST_F(SetupEndToEnd, LoggingPassesTheLogToTheInstaller) {
  Make();
  EXPECT_EQ(Run("", "--logging"), 0);
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(1));
  const std::vector<std::string>& arguments = runs[0].arguments;
  ASSERT_THAT(arguments, Contains("/L*v"));
  const auto log = std::find(arguments.begin(), arguments.end(), "/L*v") + 1;
  ASSERT_NE(log, arguments.end());
  EXPECT_THAT(*log, AllOf(HasSubstr("[QMV]Installer-"), HasSubstr(".log")));
  EXPECT_EQ(*(log + 1), "QMVLOGGING=True");
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(SetupEndToEnd, ARefusedSetNeverStartsTheInstaller) {
  struct Case {
    const char* name;
    setuptest::InstallSetOptions options;
    const char* osVersion;
    const char* boxText;
    const char* errorText;
  };
  setuptest::InstallSetOptions tamperedPackage;
  tamperedPackage.tamperPackage = true;
  setuptest::InstallSetOptions tamperedSettings;
  tamperedSettings.tamperSettings = true;
  const Case cases[] = {
      {"package changed after signing", tamperedPackage, "", kMissingForProduct, "has no valid signature"},
      {"settings changed after data.bin", tamperedSettings, "", kMissingForProduct, "does not match"},
      {"old operating system", {}, "2.6.2", "", "not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeAfresh(c.options);
    SetEnv("KAVO_OS_VERSION", c.osVersion);
    EXPECT_EQ(Run("box * press ok\n"), 1);
    EXPECT_THAT(Runs(), IsEmpty());
    const auto boxes = Boxes();
    ASSERT_THAT(boxes, SizeIs(1));
    EXPECT_THAT(boxes[0], HasSubstr("\"QMV Setup\""));
    EXPECT_THAT(boxes[0], HasSubstr(c.boxText));
    EXPECT_THAT(ErrorLines(), ElementsAre(HasSubstr(c.errorText)));
  }
  SetEnv("KAVO_OS_VERSION", "");
}

TEST_F(SetupEndToEnd, AFailingOrMissingInstallerEndsWithEighty) {
  struct Case {
    const char* name;
    bool withoutInstaller;
    const char* exitCode;
    size_t runs;
    const char* errorText;
  };
  const Case cases[] = {
      {"1603", false, "1603", 1, "the installer ended with exit code 67"},
      {"3010", false, "3010", 1, "the installer ended with exit code 194"},
      {"no Msiexec", true, "0", 0, "\"Msiexec\" could not be started"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setuptest::InstallSetOptions options;
    options.withoutInstaller = c.withoutInstaller;
    MakeAfresh(options);
    SetEnv("MSIEXEC_EXIT", c.exitCode);
    EXPECT_EQ(Run(""), 80);
    EXPECT_THAT(Runs(), SizeIs(c.runs));
    EXPECT_THAT(Boxes(), IsEmpty());
    EXPECT_THAT(ErrorLines(), ElementsAre(HasSubstr(c.errorText)));
    EXPECT_THAT(Stdout(), Not(HasSubstr("restart")));
  }
}

TEST_F(SetupEndToEnd, ABusySetupRunsTheInstallerAndEndsWithEighty) {
  Make();
  testsupport::ForkedChild holder;
  ASSERT_TRUE(holder.Start([](testsupport::ChildChannel& channel) {
    XpNamedObject mutex;
    if (XpFailed(mutex.CreateMutex(kSetupBootstrapMutexName, true))) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(holder.WaitReady());
  EXPECT_EQ(Run(""), 80);
  holder.LetGo();
  EXPECT_EQ(holder.Wait(), 0);
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(1));
  EXPECT_THAT(runs[0].arguments, Not(Contains("QMVMUTEXCHECK_FLAG=False")));
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(SetupEndToEnd, ThePreparingNoticeEndsBeforeTheInstallerDoes) {
  setuptest::InstallSetOptions options;
  options.extraSettings = "PrepareMsg=True\r\n";
  Make(options);
  transcriptOnStdout_ = true;
  SetEnv("MSIEXEC_RELEASE", "1");
  SetEnv("MSIEXEC_SLEEP", "1");
  SetEnv("MSIEXEC_WATCH", Transcript().string());
  EXPECT_EQ(Run(""), 0);
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(1));
  EXPECT_TRUE(runs[0].released);
  EXPECT_EQ(runs[0].watchedEnds, 1);
  const std::string transcript = ReadText(Transcript());
  EXPECT_THAT(transcript, HasSubstr("form 129 show \"QMV Installer\""));
  EXPECT_THAT(transcript, HasSubstr("Preparing. Please wait..."));
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(SetupEndToEnd, AnInstalledProductAndARestartingWatcher) {
  Make();
  // An install path holding a quote reaches the installer whole.
  setuptest::ProductInstall product;
  product.location = Root() / "T/q\"mv";
  setuptest::InstallProduct(product);
  const XpString watcherKey = XpString(kSetupProductKey) + u"\\VolumeWatcher";
  setuptest::SetMachineString(watcherKey, u"CurrentVersion", u"1.0");
  setuptest::SetMachineString(watcherKey + u"\\1.0", u"InstalledLocation",
                              XpString::FromUtf8((Root() / "T/w").string()));
  setuptest::SetMachineString(watcherKey + u"\\1.0", u"ExeName", u"QMVVolumnWatcher.exe");
  const fs::path watcher = Root() / "T/w/QMVVolumnWatcher";
  setuptest::WriteFile(watcher, "#!/bin/sh\necho \"run${*:+ $*}\" >>\"$WATCHER_RECORD\"\nexit 3010\n");
  fs::permissions(watcher, fs::perms::owner_all);
  SetEnv("WATCHER_RECORD", (Root() / "watcher.record").string());

  EXPECT_EQ(Run(""), 0);
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(1));
  EXPECT_THAT(runs[0].arguments, Contains("INSTALLED_INSTALLPATH=" + product.location.string()));
  EXPECT_THAT(runs[0].arguments, Contains("QMVVERSION=1.1.00.12000"));
  // Registered with " /install"; its 3010 asks for the restart line.
  EXPECT_THAT(Lines(ReadText(Root() / "watcher.record")), Contains("run /install"));
  EXPECT_THAT(Lines(Stdout()), Contains(std::string(kSetupRestartLine)));
}

}  // namespace
