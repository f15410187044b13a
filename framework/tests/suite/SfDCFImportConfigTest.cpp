#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/suite/SfDCFImportConfig.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMachine = XpRegistry::kRootLocalMachine;
constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr const char* kDcfKey = "Software\\Kavo Corporation\\Kavo Telvane\\Importer\\DCF";

class DCFImportConfigFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("LC_ALL", "C");
    savedLocale_ = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, savedLocale_.c_str());
    HermeticTest::TearDown();
  }

  static XpDateTime ImportDay() { return XpDateTime(2009, 10, 8, 15, 45, 0); }
  std::string Pictures() const { return (Root() / "home" / "Pictures").string(); }
  std::string Documents() const { return (Root() / "home" / "Documents").string(); }

  static std::string UserKey(const std::string& version) {
    return version.empty() ? kDcfKey : std::string(kDcfKey) + "\\" + version;
  }
  static void SetMachineVersion(const std::string& version) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(kDcfKey), kMachine, XpRegistry::kAccessWrite), kXpOk);
    ASSERT_EQ(key.SetString(u"CurrentVersion", XpString::FromUtf8(version)), kXpOk);
  }
  static void SetUserDword(const std::string& version, const std::string& name, uint32_t value) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(UserKey(version)), kUser, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetDword(XpString::FromUtf8(name), value), kXpOk);
  }
  static void SetUserString(const std::string& version, const std::string& name,
                            const std::string& value) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(UserKey(version)), kUser, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(XpString::FromUtf8(name), XpString::FromUtf8(value)), kXpOk);
  }
  static std::string UserString(const std::string& version, const std::string& name) {
    XpRegistry key;
    if (key.Open(XpString::FromUtf8(UserKey(version)), kUser, XpRegistry::kAccessRead) != kXpOk)
      return "<no key>";
    return key.QueryString(XpString::FromUtf8(name), u"<none>").ToMultiByte().ToStdString();
  }
  static uint32_t UserDword(const std::string& version, const std::string& name) {
    XpRegistry key;
    if (key.Open(XpString::FromUtf8(UserKey(version)), kUser, XpRegistry::kAccessRead) != kXpOk)
      return 99;
    return key.QueryDword(XpString::FromUtf8(name), 99);
  }

 private:
  std::string savedLocale_;
};
using SfDCFImportConfig = DCFImportConfigFixture;

TEST_F(SfDCFImportConfig, WithoutRegistryLoadProposesDefaultsAndTheDatedName) {
  struct Row {
    bool picturesExist;
    std::string expectedDest;
  };
  const std::vector<Row> rows = {{true, Pictures()}, {false, Documents()}};
  for (const Row& row : rows) {
    fs::remove_all(Pictures());
    if (row.picturesExist) fs::create_directories(Pictures());
    ::SfDCFImportConfig config;
    EXPECT_EQ(config.Load(ImportDay()), kXpErrGeneric);
    EXPECT_FALSE(config.IsAutomaticImport());
    EXPECT_TRUE(config.IsDifferentialImport());
    EXPECT_FALSE(config.IsRemoveAfterImport());
    EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), row.expectedDest);
    EXPECT_EQ(config.GetFolderName().ToMultiByte().ToStdString(), "10-08-09");
    EXPECT_EQ(config.GetImportFolderPath().ToMultiByte().ToStdString(),
              row.expectedDest + "/10-08-09");
  }
}

TEST_F(SfDCFImportConfig, StoredFlagsAreReadFromTheVersionedKey) {
  SetMachineVersion("1.0");
  SetUserDword("1.0", "DifferantialImport", 0);
  SetUserDword("1.0", "AutomaticImport", 1);
  SetUserDword("1.0", "RemoveAfterImport", 1);
  ::SfDCFImportConfig config;
  ASSERT_EQ(config.Load(ImportDay()), kXpOk);
  EXPECT_FALSE(config.IsDifferentialImport());
  EXPECT_TRUE(config.IsAutomaticImport());
  EXPECT_TRUE(config.IsRemoveAfterImport());

  ASSERT_EQ(
      XpRegistry::DeleteValue(XpString::FromUtf8(UserKey("1.0") + "\\DifferantialImport"), kUser),
      kXpOk);
  ASSERT_EQ(config.Load(ImportDay()), kXpOk);
  EXPECT_TRUE(config.IsDifferentialImport());

  SetUserString("1.0", "DifferantialImport", "yes");
  ASSERT_EQ(config.Load(ImportDay()), kXpOk);
  EXPECT_FALSE(config.IsDifferentialImport());
}

TEST_F(SfDCFImportConfig, EmptyVersionUsesTheDCFKeyItself) {
  SetMachineVersion("");
  SetUserDword("", "AutomaticImport", 1);
  SetUserDword("2.0", "AutomaticImport", 0);
  ::SfDCFImportConfig config;
  ASSERT_EQ(config.Load(ImportDay()), kXpOk);
  EXPECT_TRUE(config.IsAutomaticImport());
}

TEST_F(SfDCFImportConfig, MissingUserKeyKeepsTheMembersAsTheyWere) {
  SetMachineVersion("3.0");
  ::SfDCFImportConfig config;
  config.SetAutomaticImport(true);
  config.SetDifferentialImport(false);
  const std::string dest = Root().string();
  config.SetDestDir(XpString::FromUtf8(dest));
  EXPECT_EQ(config.Load(ImportDay()), kXpErrGeneric);
  EXPECT_TRUE(config.IsAutomaticImport());
  EXPECT_FALSE(config.IsDifferentialImport());
  EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), dest);
  EXPECT_EQ(config.GetFolderName().ToMultiByte().ToStdString(), "10-08-09");
}

TEST_F(SfDCFImportConfig, TakenFolderNamesGetTheNextNumber) {
  const fs::path dest = Root() / "dest";
  fs::create_directories(dest);
  SetMachineVersion("1.0");
  SetUserString("1.0", "DestDir", dest.string());
  struct Row {
    std::string take;  // made before the load; "" for nothing
    bool asFile;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"", false, "10-08-09"},
      {"10-08-09", false, "10-08-09(1)"},
      {"10-08-09(1)", true, "10-08-09(2)"},
      {"10-08-09(3)", false, "10-08-09(2)"},
  };
  for (const Row& row : rows) {
    if (row.asFile) {
      std::ofstream(dest / row.take) << "x";
    } else if (!row.take.empty()) {
      fs::create_directories(dest / row.take);
    }
    ::SfDCFImportConfig config;
    ASSERT_EQ(config.Load(ImportDay()), kXpOk);
    EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), dest.string());
    EXPECT_EQ(config.GetFolderName().ToMultiByte().ToStdString(), row.expected) << row.take;
    EXPECT_EQ(config.GetImportFolderPath().ToMultiByte().ToStdString(),
              (dest / row.expected).string());
  }
}

TEST_F(SfDCFImportConfig, DestinationUnderDocumentsTravelsToAnotherHome) {
  const fs::path shots = fs::path(Documents()) / "Shots";
  fs::create_directories(shots);
  fs::create_directories(Pictures());
  SetMachineVersion("1.0");
  {
    ::SfDCFImportConfig config;
    config.SetDestDir(XpString::FromUtf8(shots.string()));
    config.SetAutomaticImport(true);
    config.SetDifferentialImport(false);
    config.SetRemoveAfterImport(true);
    ASSERT_EQ(config.Save(), kXpOk);
  }
  EXPECT_EQ(UserString("1.0", "DestDir"), "<MYDOCUMENTS>/Shots");
  EXPECT_EQ(UserDword("1.0", "AutomaticImport"), 1u);
  EXPECT_EQ(UserDword("1.0", "DifferantialImport"), 0u);
  EXPECT_EQ(UserDword("1.0", "RemoveAfterImport"), 1u);

  const fs::path otherHome = Root() / "other";
  const fs::path otherShots = otherHome / "Documents" / "Shots";
  fs::create_directories(otherShots);
  SetEnv("HOME", otherHome.string());
  {
    ::SfDCFImportConfig config;
    ASSERT_EQ(config.Load(ImportDay()), kXpOk);
    EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), otherShots.string());
    EXPECT_TRUE(config.IsAutomaticImport());
    EXPECT_FALSE(config.IsDifferentialImport());
    EXPECT_TRUE(config.IsRemoveAfterImport());
  }
  fs::remove_all(otherShots);
  fs::create_directories(otherHome / "Pictures");
  {
    ::SfDCFImportConfig config;
    ASSERT_EQ(config.Load(ImportDay()), kXpOk);
    EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), (otherHome / "Pictures").string());
  }
}

TEST_F(SfDCFImportConfig, SaveWithoutTheVersionKeyWritesNothing) {
  ::SfDCFImportConfig config;
  config.SetDestDir(XpString::FromUtf8(Root().string()));
  EXPECT_EQ(config.Save(), kXpErrGeneric);
  EXPECT_EQ(UserString("", "DestDir"), "<no key>");
  XpRegistry dcf;
  EXPECT_NE(dcf.Open(XpString::FromUtf8(kDcfKey), kUser, XpRegistry::kAccessRead), kXpOk);
}

TEST_F(SfDCFImportConfig, HandOverFileIsMadeOnceAndKept) {
  ::SfDCFImportConfig config;
  const XpString first = config.GetHandOverFilePath();
  const XpString second = config.GetHandOverFilePath();
  ASSERT_FALSE(first.IsEmpty());
  EXPECT_EQ(second.ToMultiByte().ToStdString(), first.ToMultiByte().ToStdString());
  const fs::path folder =
      Root() / "home" / ".local" / "share" / "Kavo Corporation" / "Kavo Telvane" / "ImportData";
  EXPECT_EQ(fs::path(first.ToMultiByte().ToStdString()).parent_path(), folder);
  EXPECT_TRUE(fs::is_regular_file(first.ToMultiByte().ToStdString()));
  EXPECT_EQ(fs::file_size(first.ToMultiByte().ToStdString()), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  config.SetHandOverFilePath(u"/elsewhere/handover.xml");
  EXPECT_EQ(config.GetHandOverFilePath().ToMultiByte().ToStdString(), "/elsewhere/handover.xml");
}

TEST_F(SfDCFImportConfig, UnstoredMembersKeepWhatTheCallerGives) {
  ::SfDCFImportConfig config;
  const std::vector<bool> defaults = {true, false, false, true};
  for (int32_t index = 0; index < ::SfDCFImportConfig::kExtraFlagCount; ++index) {
    EXPECT_EQ(config.GetExtraFlag(index), defaults[static_cast<size_t>(index)]) << index;
    config.SetExtraFlag(index, !defaults[static_cast<size_t>(index)]);
    EXPECT_EQ(config.GetExtraFlag(index), !defaults[static_cast<size_t>(index)]) << index;
  }
  config.SetExtraFlag(::SfDCFImportConfig::kExtraFlagCount, true);
  EXPECT_FALSE(config.GetExtraFlag(::SfDCFImportConfig::kExtraFlagCount));
  EXPECT_FALSE(config.GetExtraFlag(-1));

  config.AddItem(4);
  config.AddItem(9);
  EXPECT_EQ(config.GetItems(), (std::vector<uint32_t>{4, 9}));
  config.SetItems({1});
  EXPECT_EQ(config.GetItems(), (std::vector<uint32_t>{1}));

  EXPECT_FALSE(config.GetDestinationFolder());
  config.SetDestinationFolder(XpString::FromUtf8(Root().string()));
  ASSERT_TRUE(config.GetDestinationFolder());
  EXPECT_EQ(config.GetDestinationFolder()->GetName().ToMultiByte().ToStdString(),
            Root().filename().string());
}

}  // namespace
