#include "framework/suite/SfDlgSelectFolder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/volume/XpDriveType.h"

namespace {

namespace fs = std::filesystem;

using fstest::ToXp;

class SfDlgSelectFolder : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  }

  // A volume mounted at name; returns its mount point.
  fs::path AddVolume(const std::string& name, bool removable, testsupport::FakeBus bus,
                     const std::string& type = "vfat") {
    testsupport::FakeVolume volume;
    volume.mountPoint = Dir(name).string();
    volume.fileSystemType = type;
    volume.removable = removable;
    volume.bus = bus;
    fake_->AddVolume(volume);
    return volume.mountPoint;
  }

  static fs::path MakeDir(const fs::path& path) {
    fs::create_directories(path);
    return path;
  }

 private:
  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

using Setup = std::function<void(::SfDlgSelectFolder&)>;

struct RuleCase {
  const char* name;
  XpString path;
  Setup setup;
  // The refusal's reason contains this; null when the folder passes.
  const char* refusal;
};

void ExpectCases(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    ::SfDlgSelectFolder dialog(nullptr);
    if (c.setup) {
      c.setup(dialog);
    }
    const XfFolderCheck check = dialog.Validator()(c.path);
    if (c.refusal == nullptr) {
      EXPECT_TRUE(check.ok) << c.name << ": " << c.path.ToMultiByte().ToStdString()
                            << " refused: " << check.reason.ToMultiByte().ToStdString();
      continue;
    }
    EXPECT_FALSE(check.ok) << c.name << ": " << c.path.ToMultiByte().ToStdString();
    EXPECT_NE(check.reason.ToMultiByte().ToStdString().find(c.refusal), std::string::npos)
        << c.name << ": the reason was \"" << check.reason.ToMultiByte().ToStdString() << "\"";
  }
}

TEST_F(SfDlgSelectFolder, EachRuleRefusesItsFoldersAndPassesTheOthers) {
  const fs::path stick = AddVolume("stick", true, testsupport::FakeBus::kUsb);
  const fs::path usbDisk = AddVolume("usbdisk", false, testsupport::FakeBus::kUsb, "ext4");
  const fs::path fireWire = AddVolume("firewire", false, testsupport::FakeBus::kFireWire, "ext4");
  const fs::path internal = AddVolume("internal", false, testsupport::FakeBus::kVirtio, "ext4");
  const fs::path camera = AddVolume("camera", true, testsupport::FakeBus::kUsb);
  std::ofstream(camera / "BLTINMEM.IND") << "";
  const fs::path share = AddVolume("share", false, testsupport::FakeBus::kNetwork, "cifs");
  const fs::path plain = MakeDir(Root() / "plain" / "folder");
  const XpString pictures = XpGetSpecialFolder(kXpFolderPictures, true);
  ASSERT_FALSE(pictures.IsEmpty());
  const fs::path pictureSub = MakeDir(fs::path(pictures.ToMultiByte().ToStdString()) / "Holiday");
  const fs::path home = Root() / "home";
  const fs::path hidden = MakeDir(home / ".cache" / "x");
  const fs::path visible = MakeDir(home / "cache" / "x");
  const fs::path excluded = MakeDir(Root() / "ex" / "sub");
  const fs::path besideExcluded = MakeDir(Root() / "exx");
  const XpString programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);

  const auto all = [](::SfDlgSelectFolder&) {};
  const auto noRoot = [](::SfDlgSelectFolder& d) { d.SetAllowDriveRoot(false); };
  const auto noSpecial = [](::SfDlgSelectFolder& d) { d.SetAllowSpecialFolder(false); };
  const auto noCamera = [](::SfDlgSelectFolder& d) { d.SetAllowCameraDrive(false, true); };
  const auto noCameraNoFixedTest = [](::SfDlgSelectFolder& d) { d.SetAllowCameraDrive(false, false); };
  const auto noHidden = [](::SfDlgSelectFolder& d) { d.SetAllowHiddenFolder(false); };
  const auto noSystem = [](::SfDlgSelectFolder& d) { d.SetAllowWindowsFolder(false); };
  const auto noPrograms = [](::SfDlgSelectFolder& d) { d.SetAllowProgramFiles(false); };
  const auto noMemory = [](::SfDlgSelectFolder& d) { d.SetAllowCameraMemory(false); };
  const auto noNetwork = [](::SfDlgSelectFolder& d) { d.SetAllowNetworkFolder(false); };
  const auto max230 = [](::SfDlgSelectFolder& d) { d.SetMaxPathLength(230); };
  const auto exclude = [&](::SfDlgSelectFolder& d) { d.SetExcludedFolders({ToXp(Root() / "ex") + u"/"}); };
  const auto removableOnly = [](::SfDlgSelectFolder& d) { d.SetAllowedDriveTypes({kXpDriveRemovable}); };
  const auto fixedOnly = [](::SfDlgSelectFolder& d) { d.SetAllowedDriveTypes({kXpDriveFixed}); };

  // Paths of exactly 230 and 231 units below the test's root.
  const XpString rootText = ToXp(Root()) + u"/";
  const std::string filler230(static_cast<size_t>(230 - rootText.GetLength()), 'a');
  const fs::path long230 = MakeDir(Root() / filler230);
  const fs::path long231 = MakeDir(Root() / (filler230 + "b"));
  ASSERT_EQ(ToXp(long231).GetLength(), 231);

  ExpectCases({
      {"every rule off", ToXp(plain), all, nullptr},
      {"every rule off, the root", u"/", all, nullptr},
      {"every rule off, a removable volume", ToXp(stick), all, nullptr},
      {"missing", ToXp(Root() / "missing"), all, "does not exist"},
      {"drive root /", u"/", noRoot, "root of a drive"},
      {"drive root of a volume", ToXp(stick) + u"/", noRoot, "root of a drive"},
      {"below a drive root", ToXp(plain), noRoot, nullptr},
      {"pictures", pictures, noSpecial, "personal"},
      {"inside pictures", ToXp(pictureSub), noSpecial, nullptr},
      {"removable volume", ToXp(MakeDir(stick / "DCIM")), noCamera, "removable or camera"},
      {"USB fixed disk", ToXp(usbDisk), noCamera, "removable or camera"},
      {"FireWire fixed disk", ToXp(fireWire), noCamera, "removable or camera"},
      {"USB fixed disk without the fixed-disk test", ToXp(usbDisk), noCameraNoFixedTest, nullptr},
      {"internal disk", ToXp(internal), noCamera, nullptr},
      {"hidden component", ToXp(hidden), noHidden, "hidden"},
      {"no hidden component", ToXp(visible), noHidden, nullptr},
      {"system folder", u"/etc", noSystem, "system folder"},
      {"inside a system folder", u"/usr/share", noSystem, "system folder"},
      {"not a system folder", ToXp(plain), noSystem, nullptr},
      {"program folder", programFolder, noPrograms, "program folder"},
      {"ordinary folder and programs", ToXp(plain), noPrograms, nullptr},
      {"built-in camera memory", ToXp(camera), noMemory, "built-in memory"},
      {"memory rule on a plain stick", ToXp(stick), noMemory, nullptr},
      {"network share", ToXp(share), noNetwork, "network"},
      {"230 units", ToXp(long230), max230, nullptr},
      {"231 units", ToXp(long231), max230, "too long"},
      {"inside an excluded folder", ToXp(excluded), exclude, "may not be used"},
      {"beside an excluded folder", ToXp(besideExcluded), exclude, nullptr},
      {"removable type allowed", ToXp(stick), removableOnly, nullptr},
      {"removable type not allowed", ToXp(stick), fixedOnly, "wrong type"},
      {"no volume holds it", ToXp(plain), removableOnly, "wrong type"},
  });
}

TEST_F(SfDlgSelectFolder, TheExportRulesRefuseTheCameraCardAndTakeAPlainFolder) {
  const fs::path stick = AddVolume("stick", true, testsupport::FakeBus::kUsb);
  const fs::path internal = AddVolume("internal", false, testsupport::FakeBus::kVirtio, "ext4");
  const fs::path plain = MakeDir(internal / "work" / "temp");
  const auto exportRules = [](::SfDlgSelectFolder& d) {
    d.SetAllowCameraDrive(false, true);
    d.SetAllowNetworkFolder(false);
    d.SetAllowDriveRoot(false);
    d.SetAllowHiddenFolder(false);
    d.SetAllowWindowsFolder(false);
    d.SetAllowReadOnlyFolder(false);
    d.SetAllowCameraMemory(false);
    d.SetMaxPathLength(230);
  };
  ExpectCases({
      {"the card's root", ToXp(stick) + u"/", exportRules, "removable or camera"},
      {"a folder on the card", ToXp(MakeDir(stick / "x")), exportRules, "removable or camera"},
      {"a plain folder", ToXp(plain), exportRules, nullptr},
  });
}

TEST_F(SfDlgSelectFolder, ADriveTypeListOfMoreThanTenLeavesTheListAsItWas) {
  const fs::path stick = AddVolume("stick", true, testsupport::FakeBus::kUsb);
  ::SfDlgSelectFolder dialog(nullptr);
  dialog.SetAllowedDriveTypes({kXpDriveFixed});
  dialog.SetAllowedDriveTypes(std::vector<uint32_t>(11, kXpDriveRemovable));
  EXPECT_FALSE(dialog.CheckFolder(ToXp(stick)).ok);
  dialog.SetAllowedDriveTypes(std::vector<uint32_t>(10, kXpDriveRemovable));
  EXPECT_TRUE(dialog.CheckFolder(ToXp(stick)).ok);
}

TEST_F(SfDlgSelectFolder, DoModalAsksAgainAfterARefusalAndStoresTheChosenFolder) {
  const fs::path good = MakeDir(Root() / "good");
  const std::string missing = (Root() / "missing").string();
  ui_test::Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = ui_test::MakeScriptedHost(
      "folder * pick \"" + missing + "\"\n" + "folder * pick \"" + good.string() + "\"\n", lines);

  ::SfDlgSelectFolder dialog(host.get());
  dialog.SetTitle(u"Pick the work folder");
  dialog.SetInitialFolder(ToXp(good));
  ASSERT_EQ(dialog.DoModal(), 1);
  EXPECT_EQ(dialog.GetSelectedFolder(), ToXp(good));
  EXPECT_EQ(ui_test::LinesStartingWith(*lines, "folder refused"),
            std::vector<std::string>({"folder refused \"The folder does not exist.\""}));
  EXPECT_FALSE(host->HasFailed());
}

TEST_F(SfDlgSelectFolder, DoModalGivesCancelWhenThePickIsCancelled) {
  ui_test::Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = ui_test::MakeScriptedHost("folder * cancel\n", lines);
  ::SfDlgSelectFolder dialog(host.get());
  EXPECT_EQ(dialog.DoModal(), 2);
  EXPECT_TRUE(dialog.GetSelectedFolder().IsEmpty());
  EXPECT_FALSE(host->HasFailed());
}

}  // namespace
