#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/suite/SfSuiteRegistry.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class SfGetMoviePluginFolder : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SfSetProgramFileForTest(XpString::FromUtf8((Root() / "app" / "bin" / "TLVMPThumb").string()));
  }
  void TearDown() override {
    SfSetProgramFileForTest(XpString());
    HermeticTest::TearDown();
  }
  static void SetLocation(const std::string& value) {
    XpRegistry key;
    ASSERT_EQ(key.Open(kSfSuiteKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(u"InstalledLocation", XpString::FromUtf8(value)), kXpOk);
  }
};

TEST_F(SfGetMoviePluginFolder, SuiteLocationElseTheProgramFolderJoinedWithShared3) {
  const std::string programFolder = (Root() / "app" / "bin" / "Shared3").string();
  EXPECT_EQ(::SfGetMoviePluginFolder().ToMultiByte().ToStdString(), programFolder);  // key missing
  SetLocation("");
  EXPECT_EQ(::SfGetMoviePluginFolder().ToMultiByte().ToStdString(), programFolder);
  SetLocation("/opt/suite");
  EXPECT_EQ(::SfGetMoviePluginFolder().ToMultiByte().ToStdString(), "/opt/suite/Shared3");
}

}  // namespace
