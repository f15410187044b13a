#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "accessor/app/K2AccessorApplication.h"
#include "accessor/import/K2ImportConfig.h"
#include "framework/tests/app/TestApplication.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kMachineKey = u"Software\\Kavo Corporation\\QMV\\Accessor\\K2";
constexpr const char16_t* kSettingsKey = u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0";
constexpr const char16_t* kImporterKey = u"Software\\Kavo Corporation\\QMV\\Importer\\DCF";

class K2ImportConfig : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("LC_ALL", "C");
    application_ = std::make_unique<framework_test::TestApplication>();
    XfSetApplication(application_.get());
    ASSERT_EQ(application_->SetRegistryRoot(kK2RegistryBase, kK2RegistrySub), kXpOk);
    pictures_ = (Root() / "home" / "Pictures").string();
    fs::create_directories(pictures_);
    documents_ = (Root() / "home" / "Documents").string();
  }

  void TearDown() override {
    XfSetApplication(nullptr);
    application_.reset();
    HermeticTest::TearDown();
  }

  static void WriteString(const char16_t* path, uint32_t root, const char16_t* name,
                          const XpString& text) {
    XpRegistry key;
    ASSERT_EQ(key.Open(path, root, XpRegistry::kAccessWrite), kXpOk);
    ASSERT_EQ(key.SetString(name, text), kXpOk);
  }

  static void WriteDword(const char16_t* path, const char16_t* name, uint32_t value) {
    XpRegistry key;
    ASSERT_EQ(key.Open(path, XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite), kXpOk);
    ASSERT_EQ(key.SetDword(name, value), kXpOk);
  }

  static void SetMachineVersion() {
    WriteString(kMachineKey, XpRegistry::kRootLocalMachine, u"CurrentVersion", u"1.0");
  }

  static void CreateSettingsKey() {
    XpRegistry key;
    ASSERT_EQ(key.Open(kSettingsKey, XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite),
              kXpOk);
  }

  static void SetDestDir(const std::string& text) {
    WriteString(kImporterKey, XpRegistry::kRootCurrentUser, u"DestDir", XpString::FromUtf8(text));
  }

  // The value as stored; "<none>" when the key or the value is missing.
  static std::string StoredString(const char16_t* path, const char16_t* name) {
    XpRegistry key;
    if (key.Open(path, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead) != kXpOk)
      return "<none>";
    if (!key.HasValue(name)) return "<none>";
    return key.QueryString(name, XpString()).ToMultiByte().ToStdString();
  }

  static int64_t StoredDword(const char16_t* name) {
    XpRegistry key;
    if (key.Open(kSettingsKey, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead) != kXpOk)
      return -1;
    if (!key.HasValue(name)) return -1;
    return key.QueryDword(name, 0xFFFFFFFF);
  }

  std::unique_ptr<framework_test::TestApplication> application_;
  std::string pictures_;
  std::string documents_;
};

TEST_F(K2ImportConfig, ConstructedWithRemovalOffAndDifferentialOn) {
  ::K2ImportConfig config;
  EXPECT_FALSE(config.GetRemoveAfterImport());
  EXPECT_TRUE(config.GetDifferentialImport());
  EXPECT_TRUE(config.GetDestDir().IsEmpty());
  EXPECT_FALSE(config.GetSource());
}

TEST_F(K2ImportConfig, WithoutTheMachineKeyLoadGivesDefaultsAndSkipsDestDir) {
  SetDestDir("/somewhere/else");
  ::K2ImportConfig config;
  config.SetDifferentialImport(false);
  EXPECT_EQ(config.Load(), kXpOk);
  EXPECT_TRUE(config.GetDifferentialImport());
  EXPECT_TRUE(config.GetRemoveAfterImport());
  EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), pictures_);
}

TEST_F(K2ImportConfig, StoredFlagsLoad) {
  const struct {
    const char* what;
    int64_t differential;  // -1: value absent
    int64_t remove;
    bool expectedDifferential;
    bool expectedRemove;
  } cases[] = {
      {"empty key", -1, -1, true, true},
      {"both off", 0, 0, false, false},
      {"differential off", 0, 1, false, true},
      {"removal off", 1, 0, true, false},
  };
  SetMachineVersion();
  for (const auto& c : cases) {
    // A key left by the previous case may or may not be there.
    (void)XpRegistry::DeleteKeyTree(kSettingsKey, XpRegistry::kRootCurrentUser);
    CreateSettingsKey();
    if (c.differential >= 0)
      WriteDword(kSettingsKey, u"DifferantialImport", static_cast<uint32_t>(c.differential));
    if (c.remove >= 0)
      WriteDword(kSettingsKey, u"RemoveAfterImport", static_cast<uint32_t>(c.remove));
    ::K2ImportConfig config;
    EXPECT_EQ(config.Load(), kXpOk) << c.what;
    EXPECT_EQ(config.GetDifferentialImport(), c.expectedDifferential) << c.what;
    EXPECT_EQ(config.GetRemoveAfterImport(), c.expectedRemove) << c.what;
  }
}

TEST_F(K2ImportConfig, DestDirLoadsFromItsPortableForm) {
  SetMachineVersion();
  CreateSettingsKey();
  const struct {
    const char* stored;
    std::string expected;
  } cases[] = {
      {"<MYDOCUMENTS>/x", documents_ + "/x"},
      {"/data/photos", "/data/photos"},
      {"", pictures_},
      {"<UNKNOWN>/x", pictures_},
  };
  for (const auto& c : cases) {
    SetDestDir(c.stored);
    ::K2ImportConfig config;
    EXPECT_EQ(config.Load(), kXpOk);
    EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), c.expected) << c.stored;
  }
}

TEST_F(K2ImportConfig, DestDirFollowsTheImporterVersion) {
  SetMachineVersion();
  WriteString(kImporterKey, XpRegistry::kRootLocalMachine, u"CurrentVersion", u"2.0");
  WriteString(u"Software\\Kavo Corporation\\QMV\\Importer\\DCF\\2.0", XpRegistry::kRootCurrentUser,
              u"DestDir", u"/versioned");
  SetDestDir("/unversioned");
  ::K2ImportConfig config;
  EXPECT_EQ(config.Load(), kXpOk);
  EXPECT_EQ(config.GetDestDir().ToMultiByte().ToStdString(), "/versioned");
}

TEST_F(K2ImportConfig, SaveWritesFlagsAndPortableDestDir) {
  SetMachineVersion();
  SetDestDir("<MYDOCUMENTS>/x");
  ::K2ImportConfig config;
  ASSERT_EQ(config.Load(), kXpOk);
  SetDestDir("/changed");
  config.SetDifferentialImport(false);
  EXPECT_EQ(config.Save(), kXpOk);
  EXPECT_EQ(StoredString(kImporterKey, u"DestDir"), "<MYDOCUMENTS>/x");
  EXPECT_EQ(StoredDword(u"DifferantialImport"), 0);
  EXPECT_EQ(StoredDword(u"RemoveAfterImport"), 1);

  config.SetDestDir(u"/data/photos");
  EXPECT_EQ(config.Save(), kXpOk);
  EXPECT_EQ(StoredString(kImporterKey, u"DestDir"), "/data/photos");
}

TEST_F(K2ImportConfig, SaveWithoutAKeyFails) {
  ::K2ImportConfig config;
  config.SetDestDir(u"/data/photos");
  EXPECT_EQ(config.Save(), kXpErrGeneric);
  EXPECT_EQ(StoredDword(u"DifferantialImport"), -1);
  EXPECT_EQ(StoredString(kImporterKey, u"DestDir"), "<none>");

  SetMachineVersion();
  XfSetApplication(nullptr);
  EXPECT_EQ(config.Save(), kXpErrGeneric);
  EXPECT_EQ(StoredString(kImporterKey, u"DestDir"), "<none>");
}

TEST_F(K2ImportConfig, RecordFilesAreNewAndNumberedBySecond) {
  constexpr int64_t kSecond = 1700000000;
  ::K2ImportConfig config;
  config.SetClock([] { return kSecond; });
  const std::string folder =
      (Root() / "home" / ".local" / "share" / "Kavo Corporation" / "QMV" / "ImportData").string();
  const std::string first = config.GetRecordFilePath().ToMultiByte().ToStdString();
  const std::string second = config.GetRecordFilePath().ToMultiByte().ToStdString();
  EXPECT_EQ(first, folder + "/" + std::to_string(kSecond) + ".xml");
  EXPECT_EQ(second, folder + "/" + std::to_string(kSecond + 1) + ".xml");
  for (const std::string& path : {first, second}) {
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_EQ(fs::file_size(path), 0u);
  }
}

TEST_F(K2ImportConfig, ExplicitRecordFileIsReturnedUnchanged) {
  ::K2ImportConfig config;
  config.SetRecordFilePath(u"/none/r.xml");
  EXPECT_EQ(config.GetRecordFilePath().ToMultiByte().ToStdString(), "/none/r.xml");
  EXPECT_FALSE(fs::exists("/none/r.xml"));
  EXPECT_FALSE(fs::exists(Root() / "home" / ".local" / "share" / "Kavo Corporation"));
}

TEST_F(K2ImportConfig, SourcePathBecomesAFolderObject) {
  ::K2ImportConfig config;
  const std::string camera = Dir("camera").string();
  config.SetSourcePath(XpString::FromUtf8(camera));
  const XpSharedPtr<XpAbstractDir> source = config.GetSource();
  ASSERT_TRUE(source);
  EXPECT_TRUE(source->IsDirectory());
  EXPECT_EQ(source->GetPath().ToMultiByte().ToStdString(), camera);
}

}  // namespace
