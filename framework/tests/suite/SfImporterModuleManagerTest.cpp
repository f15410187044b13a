#include "framework/suite/SfImporterModuleManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/suite/SfSuiteRegistry.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/suite/ImporterTestFiles.h"
#include "framework/tests/suite/SfExtProgramTestFiles.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Manager = ::SfImporterModuleManager;

constexpr const char* kImporterKey = "Software/Kavo Corporation/Kavo Telvane/Importer";
constexpr const char* kAccessorKey = "Software/Kavo Corporation/Kavo Telvane/Accessor";
constexpr uint32_t kAnyDevice = 0xFFFFFFFF;

// Keeps the exit codes it hears; the modal choice calls it on the test thread.
struct RecordingSink : ISfImporterModuleObserver {
  void OnModuleExited(uint32_t exitCode) override { codes.push_back(exitCode); }
  std::vector<uint32_t> codes;
};

Names IdsOf(const Manager::Modules& modules) {
  Names ids;
  for (const Manager::Module& module : modules)
    ids.push_back(module->GetId().ToMultiByte().ToStdString());
  return ids;
}

class ImporterModuleManagerFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    bin_ = Dir("bin");
  }
  void TearDown() override {
    application_.reset();
    HermeticTest::TearDown();
  }

  fs::path Program(const std::string& name) const { return bin_ / name; }
  // Module name under the importer key, running its own copy of the fake.
  std::string AddModule(const std::string& name) const {
    importertest::InstallFake(Program(name));
    return importertest::RegisterModule(kImporterKey, name, name, bin_);
  }
  void AddModules() const {
    for (const char* name : {"A", "DCF", "B"}) AddModule(name);
  }
  void AddHddAccessor() const {
    importertest::InstallFake(Program("HDD"));
    importertest::RegisterModule(kAccessorKey, "HDD1", "HDD", bin_);
  }
  std::unique_ptr<Manager> MakeManager() {
    auto manager = std::make_unique<Manager>();
    manager->SetSleepForTest([this](uint32_t ms) { sleeps_.push_back(ms); });
    return manager;
  }
  void StartApplication() {
    application_ = std::make_unique<framework_test::TestApplication>();
    XfSetApplication(application_.get());
    ASSERT_EQ(application_->SetRegistryRoot(u"Software\\Kavo Corporation\\QMV", u"Accessor/K2\\1.0"), kXpOk);
  }

  fs::path bin_;
  std::vector<uint32_t> sleeps_;
  std::unique_ptr<framework_test::TestApplication> application_;
};

using SfImporterModuleManager = ImporterModuleManagerFixture;

TEST_F(SfImporterModuleManager, BestScoreWinsAndTiesKeepTheEarlierModule) {
  AddModules();
  struct Case {
    int scoreA, scoreDcf, scoreB;
    const char* chosen;  // "" for none
  };
  const Case cases[] = {
      {5, 0, 5, "Importer/A"},
      {0, 0, 0, ""},
      {1, 2, 3, "Importer/B"},
      {2, 9, 9, "Importer/DCF"},
  };
  const auto manager = MakeManager();
  for (const Case& c : cases) {
    importertest::SetExitCode(Program("A"), c.scoreA);
    importertest::SetExitCode(Program("DCF"), c.scoreDcf);
    importertest::SetExitCode(Program("B"), c.scoreB);
    const Manager::Module best = manager->FindBestModule(u"score", kAnyDevice);
    EXPECT_EQ(best ? best->GetId().ToMultiByte().ToStdString() : "", c.chosen)
        << c.scoreA << c.scoreDcf << c.scoreB;
  }
  EXPECT_EQ(importertest::RecordedArgs(Program("B")).front(), "/importscore");
  EXPECT_TRUE(sleeps_.empty());
}

TEST_F(SfImporterModuleManager, AMissingProgramFailsEveryPass) {
  AddModules();
  importertest::SetExitCode(Program("B"), 5);
  fs::remove(Program("A"));
  const auto manager = MakeManager();
  EXPECT_FALSE(manager->FindBestModule(u"score", kAnyDevice));
  EXPECT_EQ(sleeps_, (std::vector<uint32_t>{3333, 3333, 3333}));
  EXPECT_FALSE(importertest::WasRun(Program("B")));
  EXPECT_FALSE(importertest::WasRun(Program("DCF")));
}

TEST_F(SfImporterModuleManager, AModuleForOtherDevicesIsNotAsked) {
  AddModules();
  importertest::SetDword(std::string(kImporterKey) + "/A/1.0", "SupportedDevice", 1);
  importertest::SetDword(std::string(kImporterKey) + "/DCF/1.0", "SupportedDevice", 3);
  importertest::SetDword(std::string(kImporterKey) + "/B/1.0", "SupportedDevice", 2);
  importertest::SetExitCode(Program("A"), 9);
  importertest::SetExitCode(Program("B"), 4);
  const auto manager = MakeManager();
  const Manager::Module best = manager->FindBestModule(u"score", 2);
  ASSERT_TRUE(best);
  EXPECT_EQ(best->GetId().ToMultiByte().ToStdString(), "Importer/B");
  EXPECT_FALSE(importertest::WasRun(Program("A")));
  EXPECT_TRUE(importertest::WasRun(Program("DCF")));
}

TEST_F(SfImporterModuleManager, LoadsModulesInRegistryOrderThenTheHddAccessor) {
  AddModules();
  AddHddAccessor();
  importertest::SetDword(std::string(kImporterKey) + "/B/1.0", "HasSettingsDialog", 0);
  const auto manager = MakeManager();
  EXPECT_EQ(IdsOf(manager->GetModules()), (Names{"Importer/A", "Importer/DCF", "Importer/B", "Accessor/HDD1"}));
  EXPECT_EQ(IdsOf(manager->GetModulesWithSettings()), (Names{"Importer/A", "Importer/DCF", "Accessor/HDD1"}));
  EXPECT_TRUE(manager->IsHDDAccessorInstalled());
  EXPECT_TRUE(manager->HasHDDAccessorModule());
  const Manager::Module dcf = manager->FindModule(u"importer/dcf");
  ASSERT_TRUE(dcf);
  EXPECT_EQ(dcf.Get(), manager->GetDCFModule().Get());
  EXPECT_FALSE(manager->FindModule(u"Importer/C"));
}

TEST_F(SfImporterModuleManager, TheLastModuleNamedDcfInAnyCaseIsTheDcfModule) {
  AddModules();
  importertest::InstallFake(Program("dcf"));
  importertest::RegisterModule("Software/Other/Importer", "dcf", "dcf", bin_);
  const auto manager = MakeManager();
  ASSERT_TRUE(manager->GetDCFModule());
  EXPECT_EQ(manager->GetDCFModule()->GetId().ToMultiByte().ToStdString(), "Importer/DCF");
  EXPECT_EQ(manager->LoadModules(u"Software/Other/Importer"), kXpOk);
  EXPECT_EQ(IdsOf(manager->GetModules()),
            (Names{"Importer/A", "Importer/DCF", "Importer/B", "Importer/dcf"}));
  ASSERT_TRUE(manager->GetDCFModule());
  EXPECT_EQ(manager->GetDCFModule()->GetName().ToMultiByte().ToStdString(), "dcf");
}

TEST_F(SfImporterModuleManager, AnHddAccessorWithoutItsProgramIsLeftOut) {
  AddModules();
  AddHddAccessor();
  fs::remove(Program("HDD"));
  const auto manager = MakeManager();
  EXPECT_EQ(IdsOf(manager->GetModules()), (Names{"Importer/A", "Importer/DCF", "Importer/B"}));
  EXPECT_FALSE(manager->IsHDDAccessorInstalled());
  EXPECT_FALSE(manager->HasHDDAccessorModule());
}

TEST_F(SfImporterModuleManager, AnEmptyOrMissingImporterKey) {
  AddHddAccessor();
  {
    const auto manager = MakeManager();
    EXPECT_EQ(manager->Reload(), kXpErrValueUnknownType);
    EXPECT_TRUE(manager->GetModules().empty());
    EXPECT_FALSE(manager->IsHDDAccessorInstalled());
  }
  importertest::SetString(kImporterKey, "Note", "no modules");
  const auto manager = MakeManager();
  EXPECT_EQ(manager->Reload(), kXpOk);
  EXPECT_EQ(IdsOf(manager->GetModules()), Names{"Accessor/HDD1"});
  EXPECT_EQ(manager->LoadModules(XpString::FromUtf8(std::string(kImporterKey) + "/Missing")),
            kXpErrValueUnknownType);
}

TEST_F(SfImporterModuleManager, AnImporterKeyWithoutSubkeysGivesNoModules) {
  importertest::SetString(kImporterKey, "Note", "no modules");
  const auto manager = MakeManager();
  EXPECT_EQ(manager->Reload(), kXpOk);
  EXPECT_TRUE(manager->GetModules().empty());
  EXPECT_FALSE(manager->GetDCFModule());
}

TEST_F(SfImporterModuleManager, ImporterEntriesOfTheExternalListFollowTheRegistryModules) {
  AddModules();
  extprogramtest::EntryFile file = extprogramtest::EntryFile::Group("Disc importer", 6);
  file.installSettingName = "Tools\\Disc";
  file.description = "Imports discs";
  file.Save(fs::path(SfGetExtToolsFolder().ToMultiByte().ToStdString()) / "disc.xml");
  const auto manager = MakeManager();
  EXPECT_EQ(IdsOf(manager->GetModules()), (Names{"Importer/A", "Importer/DCF", "Importer/B", "Tools/Disc"}));
  EXPECT_EQ(manager->GetModules().back()->GetVisibleName().ToMultiByte().ToStdString(),
            "Imports discs");
}

TEST_F(SfImporterModuleManager, SelectDestinationNeedsTheDcfModule) {
  AddModule("A");
  const auto manager = MakeManager();
  RecordingSink sink;
  EXPECT_EQ(manager->SelectDestination(0x10, &sink, true), kXpErrFileNotFound);
  EXPECT_FALSE(importertest::WasRun(Program("A")));
}

TEST_F(SfImporterModuleManager, SelectDestinationRunsTheDcfModuleWithItsParent) {
  AddModules();
  importertest::SetExitCode(Program("DCF"), 6);
  const auto manager = MakeManager();
  RecordingSink sink;
  EXPECT_EQ(manager->SelectDestination(0x10, &sink, true), kXpOk);
  EXPECT_EQ(sink.codes, std::vector<uint32_t>{6});
  EXPECT_EQ(importertest::RecordedArgs(Program("DCF")), (Names{"/destdir", "/parentwindow", "00000010"}));
}

TEST_F(SfImporterModuleManager, KeepsTheDcfDestinationFolder) {
  EXPECT_EQ(Manager::GetDCFImportDestDir().ToMultiByte().ToStdString(), "");
  EXPECT_EQ(Manager::SetDCFImportDestDir(u"/x"), kXpErrGeneric);
  StartApplication();
  EXPECT_EQ(Manager::GetDCFImportDestDir().ToMultiByte().ToStdString(), "");
  EXPECT_EQ(Manager::SetDCFImportDestDir(u"/x"), kXpOk);
  EXPECT_EQ(Manager::GetDCFImportDestDir().ToMultiByte().ToStdString(), "/x");
}

}  // namespace
