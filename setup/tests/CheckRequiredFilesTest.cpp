#include "setup/package/CheckRequiredFiles.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "setup/tests/tools/TestPackage.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kRequired = {"Data/QMV.msi",     "setup",
                                            "setup.ini",        "Data/Version.txt",
                                            "Data/data.bin",    "Data/QMV.cab"};

class CheckRequiredFiles : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fs::create_directories(Program() / "Data");
    for (const std::string& name : kRequired) {
      ASSERT_TRUE(setuptest::WriteBytes((Program() / name).string(), "x"));
    }
  }
  fs::path Program() const { return Root() / "program"; }
  bool Check(const char16_t* target = u"QMV.msi") const {
    const XpString folder = XpString::FromUtf8(Program().string() + "/");
    return ::CheckRequiredFiles(folder, XpString(target));
  }
};

TEST_F(CheckRequiredFiles, AcceptsACompleteSet) { EXPECT_TRUE(Check()); }

TEST_F(CheckRequiredFiles, RefusesEachMissingFileOrAFolderInItsPlace) {
  for (const std::string& name : kRequired) {
    SCOPED_TRACE(name);
    const fs::path path = Program() / name;
    fs::remove(path);
    EXPECT_FALSE(Check());
    fs::create_directory(path);
    EXPECT_FALSE(Check());
    fs::remove(path);
    ASSERT_TRUE(setuptest::WriteBytes(path.string(), "x"));
    EXPECT_TRUE(Check());
  }
}

TEST_F(CheckRequiredFiles, TheCabinetIsTheTargetWithEveryMsiTurnedIntoCab) {
  ASSERT_TRUE(setuptest::WriteBytes((Program() / "Data/a.msi.msi").string(), "x"));
  EXPECT_FALSE(Check(u"a.msi.msi"));
  ASSERT_TRUE(setuptest::WriteBytes((Program() / "Data/a.cab.cab").string(), "x"));
  EXPECT_TRUE(Check(u"a.msi.msi"));
}

}  // namespace
