#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "setup/app/SetupApplication.h"
#include "setup/signature/PackageSignature.h"
#include "setup/tests/SetupTestSupport.h"
#include "setup/tests/tools/MakeInstallSet.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Calls = std::vector<std::string>;

const XpString kMissingForProduct =
    u"Cannot start QMV because the necessary files do not exist or the files are corrupted.";

// setup with the real package checks; the steps that follow them are
// recorded, and the installer command is built exactly when the package is
// accepted.
class PackageCheckingSetup : public SetupApplication {
 public:
  using SetupApplication::SetupApplication;

  Calls calls;

 protected:
  bool ExtractPackage(const XpString& archive, const XpString& folder) override {
    calls.push_back("ExtractPackage");
    return SetupApplication::ExtractPackage(archive, folder);
  }
  bool VerifySettingsDigest() override {
    calls.push_back("VerifySettingsDigest");
    return SetupApplication::VerifySettingsDigest();
  }
  void StopWatcher() override { calls.push_back("StopWatcher"); }
  bool CheckRequiredFiles() override {
    calls.push_back("CheckRequiredFiles");
    return SetupApplication::CheckRequiredFiles();
  }
  void ReadFileConfigurationFacts() override { calls.push_back("ReadFileConfigurationFacts"); }
  bool BuildInstallerCommand(const XpStringVector& /*arguments*/, bool /*allMutexesNew*/) override {
    calls.push_back("BuildInstallerCommand");
    return IsPackageAccepted(DataFolder() + Settings().Target());
  }
  uint32_t RunInstaller() override {
    calls.push_back("RunInstaller");
    return 0;
  }
};

class SetupPackageChecks : public setuptest::SetupFixture {
 protected:
  int Run(const setuptest::InstallSetOptions& options, bool expectBox) {
    std::string error;
    EXPECT_TRUE(
        setuptest::MakeInstallSet(ProgramDir().string(), KAVO_SETUP_PROGRAM, options, &error))
        << error;
    SetEnv("KAVO_CA_BUNDLE", (ProgramDir() / "test-ca.pem").string());
    host_ = setuptest::MakeScriptedHost(expectBox ? "box * press ok\n" : "", lines_);
    setup_ = std::make_unique<PackageCheckingSetup>(*host_, TestEnvironment());
    return setup_->Run({});
  }

  std::vector<std::string> Boxes() const { return setuptest::BoxLines(*lines_); }
  const Calls& SetupCalls() const { return setup_->calls; }

  setuptest::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<PackageCheckingSetup> setup_;
};

TEST_F(SetupPackageChecks, AnIntactInstallSetRunsTheInstaller) {
  EXPECT_EQ(Run({}, false), kSetupExitSuccess);
  EXPECT_THAT(Boxes(), IsEmpty());
  EXPECT_EQ(std::count(SetupCalls().begin(), SetupCalls().end(), "RunInstaller"), 1);
  EXPECT_TRUE(fs::is_regular_file(ProgramDir() / "Data" / "QMV.msi"));
}

TEST_F(SetupPackageChecks, ATamperedInstallSetEndsWithMessage143) {
  struct Case {
    const char* label;
    setuptest::InstallSetOptions options;
    Calls calls;
  };
  setuptest::InstallSetOptions settingsChanged;
  settingsChanged.tamperSettings = true;
  setuptest::InstallSetOptions escaping;
  escaping.extraEntries = {{"../evil", "evil"}};
  setuptest::InstallSetOptions noCabinet;
  noCabinet.omitCabinet = true;
  setuptest::InstallSetOptions packageChanged;
  packageChanged.tamperPackage = true;
  const Case cases[] = {
      {"settings changed", settingsChanged, {"ExtractPackage", "VerifySettingsDigest"}},
      {"archive escapes", escaping, {"ExtractPackage"}},
      {"cabinet missing",
       noCabinet,
       {"ExtractPackage", "VerifySettingsDigest", "StopWatcher", "CheckRequiredFiles"}},
      {"package changed",
       packageChanged,
       {"ExtractPackage", "VerifySettingsDigest", "StopWatcher", "CheckRequiredFiles",
        "ReadFileConfigurationFacts", "BuildInstallerCommand"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    lines_->clear();
    fs::remove_all(ProgramDir() / "Data");
    EXPECT_EQ(Run(c.options, true), kSetupExitFailure);
    EXPECT_THAT(Boxes(), ElementsAre(setuptest::ErrorBoxLine(u"QMV Setup", kMissingForProduct)));
    EXPECT_EQ(SetupCalls(), c.calls);
    EXPECT_FALSE(fs::exists(ProgramDir() / "evil"));
    EXPECT_FALSE(fs::exists(Root() / "evil"));
  }
}

}  // namespace
