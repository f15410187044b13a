#include "setup/launch/RunFileConfiguration.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/tests/text/XpStringPrinters.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/launch/InstalledProduct.h"
#include "setup/settings/SetupSettings.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"
#include "setup/tests/tools/TestPki.h"

namespace {

namespace fs = std::filesystem;

class RunFileConfigurationFixture : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    SetEnv("CONFIG_RECORD", Record().string());
    const std::string caPem = (Root() / "ca.pem").string();
    ASSERT_TRUE(setuptest::WriteCertificatePem(ca_, caPem));
    SetEnv("KAVO_CA_BUNDLE", caPem);
    setuptest::IniFile ini = setuptest::CompleteSettings();
    WriteSettings(ini);
    ASSERT_TRUE(settings_.Read(ProgramFolder() + u"setup.ini"));
    setuptest::SetMachineString(kSetupProductKey, u"InstalledLocation",
                                XpString::FromUtf8((Root() / "T/qmv").string()));
  }

  fs::path Program() const { return Root() / "T/qmv/QMVFileConfig"; }
  fs::path Record() const { return Root() / "config.record"; }

  // A recording program: its working folder and its arguments.
  void WriteProgram(bool sign) const {
    setuptest::WriteFile(Program(), "#!/bin/sh\necho \"$(pwd)|$*\" >>\"$CONFIG_RECORD\"\n");
    fs::permissions(Program(), fs::perms::owner_all);
    if (!sign) return;
    setuptest::CertificateRequest request;
    request.commonName = "Kavo Corporation Europe";
    ASSERT_TRUE(setuptest::SignDetached(setuptest::MakeLeaf(request, ca_), Program().string()));
  }

  std::string Recorded() const {
    std::ifstream in(Record());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  FileConfigurationRun MakeRun() const {
    FileConfigurationRun run;
    run.facts = ReadFileConfigurationFacts();
    run.settings = &settings_;
    run.installModePassed = true;
    run.programFolder = ProgramFolder();
    return run;
  }

  setuptest::Credential ca_ = setuptest::MakeCertificateAuthority("Test Root");
  SetupSettings settings_;
};
using RunFileConfiguration = RunFileConfigurationFixture;

TEST_F(RunFileConfiguration, TheSignedProgramRunsInTheProgramFolderWithEveryFact) {
  WriteProgram(true);
  setuptest::SetMachineMultiString(kSetupUninstallKey, {u"2601"});
  setuptest::SetMachineMultiString(kSetupProductKey, {u"2602"});
  setuptest::SetMachineString(kSetupUninstallKey, u"InstallLocation",
                              XpString::FromUtf8((Root() / "T/tlv").string()));
  setuptest::SetMachineString(XpString(kSetupMakerKey) + u"\\" + kSetupFormerSuiteSubkey,
                              u"InstalledLocation",
                              XpString::FromUtf8((Root() / "T/tlv").string()));
  setuptest::WriteFile(Root() / "T/tlv/Version.txt", "1.0.02.5");
  setuptest::MakeMachineKey(kSetupPmUninstallKey);

  EXPECT_TRUE(::RunFileConfiguration(MakeRun()));
  EXPECT_EQ(Recorded(), ProgramDir().string() + "|/InstallMode=1 /Settings=2 /QMVID=2601,2602,200 /PM /TLVVERSION=1.0.02.5\n");
}

TEST_F(RunFileConfiguration, ArgumentsLeaveOutWhatIsNotKnown) {
  struct Case {
    bool installModePassed;
    const char* formerVersion;
    const char* expected;
  };
  const Case cases[] = {
      {false, nullptr, ""},
      {true, nullptr, " /InstallMode=1 /Settings=2"},
      {false, "1.0.02.1", " /QMVID=200 /TLVVERSION=1.0.02.1"},
      {false, "1.0.03.1", " /TLVVERSION=1.0.03.1"},
  };
  for (const Case& c : cases) {
    FileConfigurationRun run = MakeRun();
    run.installModePassed = c.installModePassed;
    run.facts.formerVersion =
        c.formerVersion == nullptr ? XpString() : XpString::FromUtf8(c.formerVersion);
    EXPECT_EQ(FileConfigurationArguments(run).ToMultiByte().ToStdString(), c.expected);
  }
}

TEST_F(RunFileConfiguration, AnUnsignedProgramIsNotStarted) {
  WriteProgram(false);
  EXPECT_FALSE(::RunFileConfiguration(MakeRun()));
  EXPECT_EQ(Recorded(), "");
  EXPECT_TRUE(errorLines.empty());
}

}  // namespace
