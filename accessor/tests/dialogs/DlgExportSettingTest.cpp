#include "accessor/dialogs/DlgExportSetting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "accessor/settings/K2ExportConfig.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

struct Settings {
  bool change;
  uint32_t size;
  bool cutting;
};

class DlgExportSetting : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    XpSharedPtr<XfStringsManager> manager(new XfStringsManager());
    ASSERT_EQ(manager->Load(XpStringA(KAVO_ACCESSOR_TEST_STRINGS).ToWide()), kXpOk);
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
    XpRegistry key;
    ASSERT_EQ(key.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(K2ExportConfig::kVersionValue, u"1.0"), kXpOk);
  }
  void TearDown() override {
    EXPECT_EQ(XfSetStringsManagers({}), kXpOk);
    testsupport::HermeticTest::TearDown();
  }

  static void Apply(const Settings& settings, K2ExportConfig& config) {
    config.SetChangeImageFileSize(settings.change);
    config.SetImageFileSize(settings.size);
    config.SetPictureCutting(settings.cutting);
  }

  static void ExpectSettings(const K2ExportConfig& config, const Settings& expected) {
    EXPECT_EQ(config.GetChangeImageFileSize(), expected.change);
    EXPECT_EQ(config.GetImageFileSize(), expected.size);
    EXPECT_EQ(config.GetPictureCutting(), expected.cutting);
  }

  // Runs the dialog over config with script; returns its end code.
  int32_t Run(K2ExportConfig& config, const std::string& script, ::DlgExportSetting** shown = nullptr) {
    auto host = ui_test::MakeScriptedHost(script, lines_);
    dialog_ = std::make_unique<::DlgExportSetting>(config);
    const int32_t code = host->RunModal(*dialog_);
    EXPECT_FALSE(host->HasFailed()) << Transcript();
    if (shown != nullptr) *shown = dialog_.get();
    return code;
  }

  std::vector<std::string> Boxes() const { return ui_test::LinesStartingWith(*lines_, "box \""); }
  std::string Transcript() const {
    std::string all;
    for (const std::string& line : *lines_) all += line + "\n";
    return all;
  }
  ::DlgExportSetting& Dialog() { return *dialog_; }

 private:
  ui_test::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<::DlgExportSetting> dialog_;
};

TEST_F(DlgExportSetting, TheStoredSizeChoosesTheRadioButton) {
  struct Case {
    uint32_t size;
    bool size0;
    bool size1;
  } const cases[] = {{0, true, false}, {1, false, true}, {7, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    K2ExportConfig config;
    Apply({true, c.size, false}, config);
    ASSERT_EQ(Run(config, "form 158 press 2\n"), kXfIdCancel);
    EXPECT_EQ(Dialog().Model().IsChecked(::DlgExportSetting::kSize0Id), c.size0);
    EXPECT_EQ(Dialog().Model().IsChecked(::DlgExportSetting::kSize1Id), c.size1);
  }
}

TEST_F(DlgExportSetting, ConversionOffDisablesItsControls) {
  for (const bool change : {false, true}) {
    SCOPED_TRACE(change);
    K2ExportConfig config;
    Apply({change, 0, false}, config);
    ASSERT_EQ(Run(config, "form 158 press 2\n"), kXfIdCancel);
    for (const int32_t id : {1018, 1021, 1022, 1023}) {
      EXPECT_EQ(Dialog().Model().IsEnabled(id), change) << id;
    }
  }
}

TEST_F(DlgExportSetting, UntickingConversionClearsCuttingAndCancelChangesNothing) {
  K2ExportConfig config;
  Apply({true, 1, true}, config);
  ASSERT_EQ(Run(config, "form 158 check 1016 off press 2\n"), kXfIdCancel);
  EXPECT_FALSE(Dialog().Model().IsChecked(::DlgExportSetting::kCuttingId));
  EXPECT_FALSE(Dialog().Model().IsEnabled(::DlgExportSetting::kCuttingId));
  ExpectSettings(config, {true, 1, true});
}

TEST_F(DlgExportSetting, TheFolderIsShownWithoutOneTrailingSlash) {
  struct Case {
    const char16_t* stored;
    const char16_t* shown;
  } const cases[] = {{u"/data/x/", u"/data/x"}, {u"/data/x", u"/data/x"}, {u"/", u"/"}};
  for (const Case& c : cases) {
    EXPECT_EQ(::DlgExportSetting::DisplayFolder(c.stored), XpString(c.shown));
  }
  K2ExportConfig config;
  config.SetTempDir(u"/data/x/");
  ASSERT_EQ(Run(config, "form 158 press 2\n"), kXfIdCancel);
  EXPECT_EQ(Dialog().Model().Text(::DlgExportSetting::kFolderId).ToMultiByte().ToStdString(),
            "/data/x");
}

TEST_F(DlgExportSetting, OkWithoutConversionAsksFirst) {
  const std::string question = "box \"[Messages/Confirms/ExportingWithoutConverting]\"";
  {
    SCOPED_TRACE("cancel keeps the dialog open and the settings untouched");
    K2ExportConfig config;
    Apply({true, 1, true}, config);
    ASSERT_EQ(Run(config, "form 158 check 1016 off press 1\n" + question + " press cancel\nform 158 press 2\n"),
              kXfIdCancel);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].find("style 0x41"), std::string::npos) << Boxes()[0];
    ExpectSettings(config, {true, 1, true});
  }
  {
    SCOPED_TRACE("OK saves conversion and cutting off");
    K2ExportConfig config;
    Apply({true, 1, true}, config);
    config.SetTempDir(XpString::FromUtf8(Dir("work").string()));
    ASSERT_EQ(Run(config, "form 158 check 1016 off press 1\n" + question + " press ok\n"), kXfIdOk);
    ExpectSettings(config, {false, 1, false});
    K2ExportConfig stored;
    ASSERT_EQ(stored.Load(), kXpOk);
    ExpectSettings(stored, {false, 1, false});
  }
}

TEST_F(DlgExportSetting, NoRadioButtonKeepsTheStoredSize) {
  K2ExportConfig config;
  Apply({true, 7, false}, config);
  config.SetTempDir(XpString::FromUtf8(Dir("work").string()));
  ASSERT_EQ(Run(config, "form 158 press 1\n"), kXfIdOk);
  EXPECT_TRUE(Boxes().empty());
  ExpectSettings(config, {true, 7, false});
}

TEST_F(DlgExportSetting, AFailedSaveIsReportedAndTheNewValuesStay) {
  K2ExportConfig config;
  Apply({true, 0, false}, config);
  config.SetTempDir(XpString::FromUtf8(Dir("work").string()));
  testsupport::FaultInjection faults;
  const int rule =
      faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, (Root() / "registry").string()).Errno(EROFS));
  ASSERT_EQ(Run(config, "form 158 check 1018 on click 1023 press 1\nbox \"[Messages/Errors/UnkownError]\" press ok\n"),
            kXfIdOk);
  EXPECT_GT(faults.Hits(rule), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("style 0x30"), std::string::npos) << Boxes()[0];
  ExpectSettings(config, {true, 1, true});
}

TEST_F(DlgExportSetting, BrowseRefusesTheCameraAndShowsTheChosenFolder) {
  testsupport::FakeSysfs fake(Root() / "sysroot");
  testsupport::FakeVolume card;
  card.mountPoint = Dir("cam").string();
  fake.AddVolume(card);
  testsupport::FakeVolume disk;
  disk.mountPoint = Dir("disk").string();
  disk.fileSystemType = "ext4";
  disk.removable = false;
  disk.bus = testsupport::FakeBus::kVirtio;
  fake.AddVolume(disk);
  const fs::path chosen = Dir("disk/temp");

  K2ExportConfig config;
  Apply({true, 0, false}, config);
  config.SetTempDir(XpString::FromUtf8(Dir("work").string()) + u"/");
  ASSERT_EQ(Run(config, "form 158 press 1014\nfolder * pick \"" + card.mountPoint + "/\"\nfolder * pick \"" +
                            chosen.string() + "\"\nform 158 press 2\n"),
            kXfIdCancel);
  EXPECT_EQ(Dialog().Model().Text(::DlgExportSetting::kFolderId).ToMultiByte().ToStdString(),
            chosen.string());
  EXPECT_NE(Transcript().find("folder refused \"The folder is on a removable or camera drive.\""), std::string::npos)
      << Transcript();
  EXPECT_EQ(config.GetTempDir(), XpString::FromUtf8(Dir("work").string()) + u"/");
}

}  // namespace
