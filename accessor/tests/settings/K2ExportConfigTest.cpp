#include "accessor/settings/K2ExportConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char16_t* kSettingsKey = u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0";

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

struct Settings {
  bool change;
  uint32_t size;
  bool cutting;
  std::string tempDir;
};

Settings SettingsOf(const K2ExportConfig& config) {
  return {config.GetChangeImageFileSize(), config.GetImageFileSize(), config.GetPictureCutting(),
          config.GetTempDir().ToMultiByte().ToStdString()};
}

void Apply(const Settings& settings, K2ExportConfig& config) {
  config.SetChangeImageFileSize(settings.change);
  config.SetImageFileSize(settings.size);
  config.SetPictureCutting(settings.cutting);
  config.SetTempDir(XpString::FromUtf8(settings.tempDir));
}

void ExpectSettings(const K2ExportConfig& config, const Settings& expected) {
  const Settings actual = SettingsOf(config);
  EXPECT_EQ(actual.change, expected.change);
  EXPECT_EQ(actual.size, expected.size);
  EXPECT_EQ(actual.cutting, expected.cutting);
  EXPECT_EQ(actual.tempDir, expected.tempDir);
}

class K2ExportConfig : public testsupport::HermeticTest {
 protected:
  // The system temporary folder, as the test set it.
  std::string SystemTemp() const { return (Root() / "tmp").string() + "/"; }
  fs::path UserFile() const { return Root() / "registry" / "HKEY_CURRENT_USER.reg"; }

  // The version the installer records for the machine.
  void SetMachineVersion(const char16_t* version) {
    XpRegistry key;
    ASSERT_EQ(key.Open(::K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(::K2ExportConfig::kVersionValue, version), kXpOk);
  }

  ::K2ExportConfig Loaded() {
    ::K2ExportConfig config;
    EXPECT_EQ(config.Load(), kXpOk);
    return config;
  }

  void Save(const Settings& settings) {
    ::K2ExportConfig config;
    Apply(settings, config);
    ASSERT_EQ(config.Save(), kXpOk);
  }

  XpString StoredTempDir() {
    XpRegistry key;
    EXPECT_EQ(key.Open(kSettingsKey, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead), kXpOk);
    return key.QueryString(u"TempDir", u"(none)");
  }
};

TEST_F(K2ExportConfig, WithoutTheMachineKeyLoadsDefaultsAndSavesNothing) {
  ::K2ExportConfig config;
  ExpectSettings(config, {false, 0, false, ""});
  Apply({false, 1, true, Dir("elsewhere").string()}, config);

  EXPECT_EQ(config.Load(), kXpOk);

  ExpectSettings(config, {true, 0, false, SystemTemp()});
  EXPECT_EQ(config.Save(), kXpErrGeneric);
  EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(K2ExportConfig, SavedSettingsLoadBack) {
  SetMachineVersion(u"1.0");
  const std::string folder = Dir("work").string();
  ::K2ExportConfig saved;
  Apply({false, 1, true, folder}, saved);
  saved.SetDestination(u"/media/user/CAMERA");
  ASSERT_EQ(saved.Save(), kXpOk);

  const ::K2ExportConfig loaded = Loaded();

  ExpectSettings(loaded, {false, 1, true, folder});
  EXPECT_EQ(loaded.GetDestination(), u"");
  const std::string text = ReadFile(UserFile());
  EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0]"));
  EXPECT_THAT(text, HasSubstr("\"ChangeImageFileSize\"=dword:00000000"));
  EXPECT_THAT(text, HasSubstr("\"ImageFileSize\"=dword:00000001"));
  EXPECT_THAT(text, HasSubstr("\"PictureCutting\"=dword:00000001"));
  EXPECT_THAT(text, HasSubstr("\"TempDir\"=\"" + folder + "\""));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("CAMERA")));
}

TEST_F(K2ExportConfig, SettingsFollowTheMachinesVersion) {
  SetMachineVersion(u"1.0");
  Save({false, 1, true, Dir("one").string()});
  SetMachineVersion(u"2.0");

  ExpectSettings(Loaded(), {true, 0, false, SystemTemp()});
}

TEST_F(K2ExportConfig, DeletedTempDirReadsAsTheSystemFolderAndStaysStored) {
  SetMachineVersion(u"1.0");
  const fs::path folder = Dir("gone");
  Save({true, 1, false, folder.string()});
  fs::remove(folder);

  ExpectSettings(Loaded(), {true, 1, false, SystemTemp()});
  EXPECT_EQ(StoredTempDir().ToMultiByte().ToStdString(), folder.string());
}

TEST_F(K2ExportConfig, ValuesOfAnotherTypeReadAsDefaults) {
  SetMachineVersion(u"1.0");
  {
    XpRegistry key;
    ASSERT_EQ(key.Open(kSettingsKey, XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite), kXpOk);
    ASSERT_EQ(key.SetString(u"ChangeImageFileSize", u"0"), kXpOk);
    ASSERT_EQ(key.SetString(u"ImageFileSize", u"1"), kXpOk);
    ASSERT_EQ(key.SetString(u"PictureCutting", u"1"), kXpOk);
    ASSERT_EQ(key.SetDword(u"TempDir", 1), kXpOk);
  }

  ExpectSettings(Loaded(), {true, 0, false, SystemTemp()});
}

TEST_F(K2ExportConfig, SaveFailsWhenTheRegistryFileCannotBeWritten) {
  SetMachineVersion(u"1.0");
  for (const bool keyExists : {false, true}) {
    SCOPED_TRACE(keyExists ? "settings key exists" : "new settings key");
    if (keyExists) Save({true, 0, false, SystemTemp()});
    testsupport::FaultInjection faults;
    const int rule = faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, (Root() / "registry").string())
                                    .Errno(EROFS));
    ::K2ExportConfig config;
    Apply({false, 1, true, Dir("work").string()}, config);

    EXPECT_EQ(config.Save(), kXpErrGeneric);
    EXPECT_GT(faults.Hits(rule), 0);
  }
}

TEST_F(K2ExportConfig, CopyKeepsEverySetting) {
  ::K2ExportConfig original;
  Apply({false, 1, true, "/data/t"}, original);
  original.SetDestination(u"/media/cam/");

  const ::K2ExportConfig copy(original);
  ::K2ExportConfig assigned;
  assigned = original;

  for (const ::K2ExportConfig* config : {&copy, static_cast<const ::K2ExportConfig*>(&assigned)}) {
    ExpectSettings(*config, {false, 1, true, "/data/t"});
    EXPECT_EQ(config->GetDestination(), u"/media/cam/");
    EXPECT_FALSE(config->IsDifferent(original));
  }
}

TEST_F(K2ExportConfig, ComparisonsTellWhatDiffers) {
  struct Side {
    bool change;
    uint32_t size;
    bool cutting;
    const char* tempDir;
    const char* destination;
  };
  struct Case {
    const char* name;
    Side a;
    Side b;
    bool tempDir;
    bool conversion;
    bool destination;
    bool any;
  };
  const Case cases[] = {
      {"identical", {true, 1, true, "/t", "/m"}, {true, 1, true, "/t", "/m"}, false, false, false, false},
      {"conversion off, sizes differ", {false, 0, false, "/t", "/m"}, {false, 1, true, "/t", "/m"},
       false, false, false, false},
      {"conversion on, cutting differs", {true, 0, true, "/t", "/m"}, {true, 0, false, "/t", "/m"},
       false, true, false, true},
      {"conversion on, sizes differ", {true, 0, false, "/t", "/m"}, {true, 1, false, "/t", "/m"},
       false, true, false, true},
      {"conversion switched", {true, 0, false, "/t", "/m"}, {false, 0, false, "/t", "/m"},
       false, true, false, true},
      {"destination only", {true, 0, false, "/t", "/media/a"}, {true, 0, false, "/t", "/media/b"},
       false, false, true, true},
      {"destination case", {true, 0, false, "/t", "/media/CAM"}, {true, 0, false, "/t", "/media/cam"},
       false, false, true, true},
      {"destination trailing '/'", {true, 0, false, "/t", "/media/cam/"}, {true, 0, false, "/t", "/media/cam"},
       false, false, false, false},
      {"temporary folder case", {true, 0, false, "/data/x", "/m"}, {true, 0, false, "/data/X", "/m"},
       true, false, false, true},
      {"temporary folder trailing '/'", {true, 0, false, "/data/x", "/m"}, {true, 0, false, "/data/x/", "/m"},
       false, false, false, false},
      {"only one '/' dropped", {true, 0, false, "/data/x//", "/m"}, {true, 0, false, "/data/x", "/m"},
       true, false, false, true},
      {"root is not empty", {true, 0, false, "/", "/m"}, {true, 0, false, "", "/m"}, true, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::K2ExportConfig a;
    ::K2ExportConfig b;
    Apply({c.a.change, c.a.size, c.a.cutting, c.a.tempDir}, a);
    Apply({c.b.change, c.b.size, c.b.cutting, c.b.tempDir}, b);
    a.SetDestination(XpString::FromUtf8(c.a.destination));
    b.SetDestination(XpString::FromUtf8(c.b.destination));

    EXPECT_EQ(a.IsTempDirDifferent(b), c.tempDir);
    EXPECT_EQ(a.IsConversionDifferent(b), c.conversion);
    EXPECT_EQ(a.IsDestinationDifferent(b), c.destination);
    EXPECT_EQ(a.IsDifferent(b), c.any);
    EXPECT_EQ(b.IsDifferent(a), c.any);
  }
}

}  // namespace
