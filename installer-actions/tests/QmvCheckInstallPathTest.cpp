#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "InstallPathTree.h"
#include "QmvProcLibrary.h"
#include "msi/MsiInstallation.h"
#include "platform/fs/XpPathQueries.h"

namespace installertest {
namespace {

class QmvCheckInstallPath : public InstallPathTest {
 protected:
  void SetUp() override {
    InstallPathTest::SetUp();
    Install({{u"QMVLOGGING", u"True"}, {u"QMV_INSTALLER_LOGFILENAME", u"test.log"}});
  }

  // The flag the export sets; a null folder leaves the property unset.
  std::u16string FlagFor(const char* folder) {
    const XpString value = folder == nullptr ? XpString() : XpString::FromUtf8(folder);
    MsiSetPropertyW(install_, u"APPLICATIONROOTDIRECTORY", folder == nullptr ? nullptr : value.CStr());
    MsiSetPropertyW(install_, u"INSRALLDIRCHECK_FLAG", nullptr);
    const QmvAction action = QmvProcExport("QMV_CheckInstallPath");
    EXPECT_NE(action, nullptr);
    if (action == nullptr) return u"(no export)";
    EXPECT_EQ(action(install_), 0u);
    return msi::PropertyOf(install_, u"INSRALLDIRCHECK_FLAG").value_or(u"(unset)");
  }
};

TEST_F(QmvCheckInstallPath, EachFolderGetsItsFlag) {
  std::filesystem::create_directories(At("fixed/data/.cache/QMV"));
  struct Case {
    std::string folder;
    const char16_t* flag;
  } const cases[] = {
      {At("fixed/apps/Kavo/QMV/"), u"0"},
      {At("fixed/"), u"1"},
      {At("stick/QMV/"), u"1"},
      {At("usbfixed/Apps/"), u"1"},
      {At("net/x/"), u"1"},
      {At("cd/x/"), u"1"},
      {Home() + "/Documents/QMV/", u"1"},
      {Home() + "/Tools/QMV/", u"1"},
      {Home() + "/AppData/Local/Temp/QMV/", u"0"},
      {At("fixed/machine/usr/QMV/"), u"1"},
      {At("fixed/data/.cache/QMV/"), u"1"},
      {At("fixed/ro/"), u"0"},
      {PathOfLength(260), u"0"},
      {PathOfLength(261), u"1"},
      {"rel/x/", u"1"},
      // Without its trailing '/', the folder is passed with one.
      {At("fixed/apps/Kavo/QMV"), u"0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlagFor(c.folder.c_str()), c.flag) << c.folder;
  }
  EXPECT_FALSE(std::filesystem::exists(At("fixed/apps")));
  EXPECT_FALSE(std::filesystem::exists(At("fixed/long")));
  EXPECT_FALSE(std::filesystem::exists(At("fixed/ro")));
  EXPECT_FALSE(std::filesystem::exists("rel"));
}

TEST_F(QmvCheckInstallPath, AReadOnlyFolderIsRefusedOnlyOnceItExists) {
  std::filesystem::create_directories(At("fixed/ro"));
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8(At("fixed/ro")), true), kXpOk);
  EXPECT_EQ(FlagFor(At("fixed/ro/").c_str()), u"1");
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8(At("fixed/ro")), false), kXpOk);
  std::filesystem::remove(At("fixed/ro"));
  EXPECT_EQ(FlagFor(At("fixed/ro/").c_str()), u"0");
}

TEST_F(QmvCheckInstallPath, AnUnreadableFolderGivesOneAndCreatesNothing) {
  EXPECT_EQ(FlagFor(nullptr), u"1");
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("[QMV_CheckInstallPath Start]\r\n\tMSI Hundle: "), std::string::npos) << log;
  EXPECT_NE(log.find("[QMV_CheckInstallPath End]\r\n\tSetPropertyMsi Return: 0\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("[CreateTargetFilePath]"), std::string::npos) << log;
}

}  // namespace
}  // namespace installertest
