#include "setup/launch/SetPackageSourceList.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry/XpRegistry.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

namespace fs = std::filesystem;

const XpString kMediaKey = XpString(kSetupInstallerProductKey) + u"\\SourceList\\Media";

class SetPackageSourceListFixture : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    // A mount at T/disc in the fake mount table.
    const fs::path mountinfo = fs::path(std::getenv("KAVO_SYSROOT")) / "proc/self/mountinfo";
    setuptest::WriteFile(mountinfo, "20 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                    "30 20 11:0 / " + Disc().string() + " ro - iso9660 /dev/sr0 ro\n");
    fs::create_directories(Disc() / "set/Data");
  }

  fs::path Disc() const { return Root() / "T/disc"; }
  XpString WorkingFolder() const { return XpString::FromUtf8((Disc() / "set").string() + "/"); }

  static XpString MediaPackage() {
    XpRegistry key;
    if (XpFailed(key.Open(kMediaKey, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead))) return u"<none>";
    return key.QueryString(u"MediaPackage", u"<no value>");
  }
};
using SetPackageSourceList = SetPackageSourceListFixture;

TEST_F(SetPackageSourceList, TheMediaPathIsTheDataFolderBelowItsMount) {
  EXPECT_EQ(SetupMediaPath(WorkingFolder()), u"/set/Data/");
  setuptest::MakeMachineKey(kSetupInstallerProductKey);
  EXPECT_TRUE(::SetPackageSourceList(u"QMV.msi", WorkingFolder()));
  EXPECT_EQ(MediaPackage(), u"/set/Data/");
}

TEST_F(SetPackageSourceList, AnotherTargetOrAMissingProductWritesNothing) {
  EXPECT_FALSE(::SetPackageSourceList(u"QMV.msi", WorkingFolder()));
  EXPECT_FALSE(setuptest::MachineKeyExists(kSetupInstallerProductKey));
  EXPECT_FALSE(setuptest::MachineKeyExists(kMediaKey));

  setuptest::MakeMachineKey(kSetupInstallerProductKey);
  EXPECT_FALSE(::SetPackageSourceList(u"qmv.msi", WorkingFolder()));
  EXPECT_FALSE(setuptest::MachineKeyExists(kMediaKey));
}

}  // namespace
