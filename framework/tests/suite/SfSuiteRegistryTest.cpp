#include "framework/suite/SfSuiteRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMachine = XpRegistry::kRootLocalMachine;
constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr const char* kSuiteKey = "Software\\Kavo Corporation\\Kavo Telvane";

class SuiteRegistryFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SfSetProgramFileForTest(XpString::FromUtf8(T("app/bin/prog")));
  }
  void TearDown() override {
    SfSetProgramFileForTest(XpString());
    HermeticTest::TearDown();
  }

  // $T joined with relative.
  std::string T(const std::string& relative = "") const {
    return relative.empty() ? Root().string() : (Root() / relative).string();
  }

  // Writes a string value into the key at suite key + "\" + subkey.
  static void SetString(uint32_t root, const std::string& subkey, const std::string& name,
                        const std::string& value) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(SuiteKeyPath(subkey)), root, XpRegistry::kAccessWrite),
              kXpOk)
        << subkey;
    ASSERT_EQ(key.SetString(XpString::FromUtf8(name), XpString::FromUtf8(value)), kXpOk) << name;
  }
  static void SetMachine(const std::string& subkey, const std::string& name,
                         const std::string& value) {
    SetString(kMachine, subkey, name, value);
  }
  static void SetUser(const std::string& subkey, const std::string& name,
                      const std::string& value) {
    SetString(kUser, subkey, name, value);
  }
  static void DeleteMachineKey(const std::string& subkey) {
    (void)XpRegistry::DeleteKeyTree(XpString::FromUtf8(SuiteKeyPath(subkey)), kMachine);
  }
  static std::string SuiteKeyPath(const std::string& subkey) {
    return subkey.empty() ? kSuiteKey : std::string(kSuiteKey) + "\\" + subkey;
  }

  std::string Documents() const { return (Root() / "home" / "Documents").string(); }
  std::string AppData() const { return (Root() / "home" / ".local" / "share").string(); }
  std::string SuiteAppData(const std::string& leaf) const {
    return AppData() + "/Kavo Corporation/Kavo Telvane/" + leaf;
  }
};
using SfSuiteRegistry = SuiteRegistryFixture;

TEST_F(SfSuiteRegistry, BrowserPathFallsBackToTheFolderBesideTheProgramAndTheDefaultName) {
  struct Row {
    std::optional<std::string> version;
    std::optional<std::string> location;
    std::optional<std::string> exeName;
    bool fallbackFolderExists;
    std::string expected;
  };
  const std::string fallback = T("app/Browser");
  const Row rows[] = {
      {"2.0", "", std::nullopt, true, fallback + "/TLVBrowser.exe"},
      {"2.0", "", "B.exe", true, fallback + "/B.exe"},
      {std::nullopt, std::nullopt, std::nullopt, false, "TLVBrowser.exe"},
      {"2.0", "/opt/x", "Y.exe", false, "/opt/x/Y.exe"},
      // The registered location wins over an existing fallback folder.
      {"2.0", "/opt/x", "", true, "/opt/x/TLVBrowser.exe"},
      {std::nullopt, std::nullopt, std::nullopt, true, fallback + "/TLVBrowser.exe"},
      // A version naming a subkey that is missing reads as no location.
      {"3.0", std::nullopt, std::nullopt, false, "TLVBrowser.exe"},
  };
  for (const Row& row : rows) {
    DeleteMachineKey("Browser");
    fs::remove_all(fallback);
    if (row.fallbackFolderExists) fs::create_directories(fallback);
    if (row.version) SetMachine("Browser", "CurrentVersion", *row.version);
    if (row.location) SetMachine("Browser\\2.0", "InstalledLocation", *row.location);
    if (row.exeName) SetMachine("Browser\\2.0", "ExeName", *row.exeName);
    EXPECT_EQ(SfGetBrowserPath().ToMultiByte().ToStdString(), row.expected) << row.expected;
  }

  // Values that are not strings read as empty.
  DeleteMachineKey("Browser");
  fs::create_directories(fallback);
  SetMachine("Browser", "CurrentVersion", "2.0");
  XpRegistry key;
  ASSERT_EQ(key.Open(XpString::FromUtf8(SuiteKeyPath("Browser\\2.0")), kMachine,
                     XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(key.SetDword(u"ExeName", 7), kXpOk);
  ASSERT_EQ(key.SetDword(u"InstalledLocation", 7), kXpOk);
  EXPECT_EQ(SfGetBrowserPath().ToMultiByte().ToStdString(), fallback + "/TLVBrowser.exe");
}

TEST_F(SfSuiteRegistry, AnnouncePathHasItsOwnFolderAndName) {
  fs::create_directories(T("app/Announce"));
  SetMachine("Browser", "CurrentVersion", "1.0");
  SetMachine("Browser\\1.0", "InstalledLocation", "/opt/browser");
  EXPECT_EQ(SfGetAnnouncePath().ToMultiByte().ToStdString(), T("app/Announce/TLVAnnounce.exe"));
  fs::remove(T("app/Announce"));
  EXPECT_EQ(SfGetAnnouncePath().ToMultiByte().ToStdString(), "TLVAnnounce.exe");
}

TEST_F(SfSuiteRegistry, AppExePathAndCurrentVersionReadTheMachineKeyWithoutFallbacks) {
  fs::create_directories(T("app/Browser"));
  EXPECT_EQ(SfGetAppExePath(u"Browser").ToMultiByte().ToStdString(), "");
  EXPECT_EQ(SfGetAppCurrentVersion(u"Browser").ToMultiByte().ToStdString(), "");

  SetMachine("Browser", "CurrentVersion", "1.0");
  SetMachine("Browser\\1.0", "ExeName", "Y.exe");
  EXPECT_EQ(SfGetAppExePath(u"Browser").ToMultiByte().ToStdString(), "Y.exe");
  EXPECT_EQ(SfGetAppCurrentVersion(u"Browser").ToMultiByte().ToStdString(), "1.0");

  // A key name with a slash is two levels, here as everywhere.
  SetMachine("Accessor\\HDD1", "CurrentVersion", "4.1");
  SetMachine("Accessor\\HDD1\\4.1", "InstalledLocation", "/opt/hdd");
  SetMachine("Accessor\\HDD1\\4.1", "ExeName", "Hdd.exe");
  EXPECT_EQ(SfGetAppCurrentVersion(u"Accessor/HDD1").ToMultiByte().ToStdString(), "4.1");
  EXPECT_EQ(SfGetAppExePath(u"Accessor/HDD1").ToMultiByte().ToStdString(), "/opt/hdd/Hdd.exe");
}

TEST_F(SfSuiteRegistry, InstalledExePathDropsALocationThatIsNoFolder) {
  fs::create_directories(T("loc"));
  std::ofstream(T("file")) << "x";
  struct Row {
    std::string location;
    std::string exeName;
    std::string expected;
  };
  const Row rows[] = {
      {T("loc"), "Y.exe", T("loc/Y.exe")},
      {T("missing"), "Y.exe", "Y.exe"},
      {T("file"), "Y.exe", "Y.exe"},
      {"", "Y.exe", "Y.exe"},
      // An empty executable name gets no default.
      {T("loc"), "", T("loc/")},
  };
  for (const Row& row : rows) {
    SetMachine("Tool\\1.0", "InstalledLocation", row.location);
    SetMachine("Tool\\1.0", "ExeName", row.exeName);
    EXPECT_EQ(SfGetInstalledExePath(XpString::FromUtf8(SuiteKeyPath("Tool\\1.0")))
                  .ToMultiByte()
                  .ToStdString(),
              row.expected)
        << row.location << " " << row.exeName;
  }
  EXPECT_EQ(SfGetInstalledExePath(XpString::FromUtf8(SuiteKeyPath("Tool\\2.0")))
                .ToMultiByte()
                .ToStdString(),
            "");
}

TEST_F(SfSuiteRegistry, DiscImporterLocationMustBeAnExistingFolder) {
  EXPECT_EQ(SfGetDiscImporterLocation().ToMultiByte().ToStdString(), "");
  SetMachine("Importer\\Disc", "CurrentVersion", "1.0");
  SetMachine("Importer\\Disc\\1.0", "InstalledLocation", T("disc"));
  EXPECT_EQ(SfGetDiscImporterLocation().ToMultiByte().ToStdString(), "");
  fs::create_directories(T("disc"));
  EXPECT_EQ(SfGetDiscImporterLocation().ToMultiByte().ToStdString(), T("disc"));
}

TEST_F(SfSuiteRegistry, SharedFolderIsInTheSuiteLocationOrBesideTheProgramFolder) {
  EXPECT_EQ(SfGetSharedFolder().ToMultiByte().ToStdString(), T("app/Shared3"));
  SetMachine("", "InstalledLocation", "/opt/suite");
  EXPECT_EQ(SfGetSharedFolder().ToMultiByte().ToStdString(), "/opt/suite/Shared3");
}

TEST_F(SfSuiteRegistry, PicturesFolderFallsBackToDocuments) {
  EXPECT_EQ(SfGetPicturesFolder().ToMultiByte().ToStdString(), Documents());
  fs::create_directories(Root() / "home" / "Pictures");
  EXPECT_EQ(SfGetPicturesFolder().ToMultiByte().ToStdString(),
            (Root() / "home" / "Pictures").string());
}

TEST_F(SfSuiteRegistry, SuiteVersionIsTheFirstLineOfTheVersionFile) {
  constexpr size_t kReadLimit = 64 * 1024;
  struct Row {
    std::string content;
    std::string expected;
  };
  const Row rows[] = {
      {"1.2.3\r\n4", "1.2.3\r"},
      {"5.0", "5.0"},
      {"", ""},
      {"\nlater", ""},
      {std::string(kReadLimit + 10, '7'), std::string(kReadLimit, '7')},
  };
  SetMachine("", "InstalledLocation", T("suite"));
  EXPECT_EQ(SfGetSuiteVersion().ToMultiByte().ToStdString(), "");  // no such file
  fs::create_directories(T("suite"));
  for (const Row& row : rows) {
    std::ofstream(T("suite/Version.txt"), std::ios::binary | std::ios::trunc) << row.content;
    EXPECT_EQ(SfGetSuiteVersion().ToMultiByte().ToStdString(), row.expected)
        << row.content.substr(0, 16);
  }
  fs::remove(T("suite/Version.txt"));
  fs::create_directories(T("suite/Version.txt"));
  EXPECT_EQ(SfGetSuiteVersion().ToMultiByte().ToStdString(), "");
}

TEST_F(SfSuiteRegistry, UserFoldersAreMadeWhenMissing) {
  EXPECT_EQ(SfGetExtToolsFolder().ToMultiByte().ToStdString(), SuiteAppData("ExtTools"));
  EXPECT_TRUE(fs::is_directory(SuiteAppData("ExtTools")));

  EXPECT_EQ(SfGetSiteUploadInfoPath().ToMultiByte().ToStdString(),
            SuiteAppData("Uploader/SiteUploadInfo.xml"));
  EXPECT_TRUE(fs::is_directory(SuiteAppData("Uploader")));
  EXPECT_FALSE(fs::exists(SuiteAppData("Uploader/SiteUploadInfo.xml")));

  fs::create_directories(Documents());
  EXPECT_EQ(SfGetProductDocumentsFolder().ToMultiByte().ToStdString(), Documents() + "/Orvane");
  EXPECT_TRUE(fs::is_directory(Documents() + "/Orvane"));
}

TEST_F(SfSuiteRegistry, ImportDataFilesAreNewEmptyAndDistinct) {
  const std::string first = SfMakeImportDataFilePath().ToMultiByte().ToStdString();
  const std::string second = SfMakeImportDataFilePath().ToMultiByte().ToStdString();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    EXPECT_EQ(fs::path(path).parent_path().string(), SuiteAppData("ImportData"));
    EXPECT_EQ(fs::path(path).extension().string(), ".xml");
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fs::file_size(path), 0u);
  }
}

TEST_F(SfSuiteRegistry, SettingsFoldersFallBackToTheTemporaryFolder) {
  struct Row {
    std::string program;
    std::string settingsKey;
    std::string value;
    XpString (*function)();
  };
  const Row rows[] = {
      {"Browser", "Browser\\1.0\\Settings", "Configuration_diskCachePath",
       &SfGetBrowserDiskCacheFolder},
      {"Accessor/HDD1", "Accessor/HDD1\\1.0\\OneTouch\\Settings", "Tempfolder",
       &SfGetHDDAccessorTempFolder},
  };
  const std::string temporary = T("tmp") + "/";
  for (const Row& row : rows) {
    fs::remove_all(T("tmp"));
    EXPECT_EQ(row.function().ToMultiByte().ToStdString(), temporary) << row.program;
    EXPECT_TRUE(fs::is_directory(T("tmp"))) << row.program;

    fs::create_directories(T("cache"));
    SetUser(row.settingsKey, row.value, T("cache"));
    // Without the program's version under the local machine the setting is
    // not found.
    EXPECT_EQ(row.function().ToMultiByte().ToStdString(), temporary) << row.program;
    SetMachine(row.program, "CurrentVersion", "1.0");
    EXPECT_EQ(row.function().ToMultiByte().ToStdString(), T("cache")) << row.program;
    fs::remove_all(T("cache"));
    EXPECT_EQ(row.function().ToMultiByte().ToStdString(), temporary) << row.program;
    SetUser(row.settingsKey, row.value, "");
    EXPECT_EQ(row.function().ToMultiByte().ToStdString(), temporary) << row.program;
  }
}

TEST_F(SfSuiteRegistry, KeysAndHelpLieInTheBrowserFolder) {
  fs::create_directories(T("app/Browser"));
  EXPECT_EQ(SfGetKeysFilePath().ToMultiByte().ToStdString(), "");
  std::ofstream(T("app/Browser/keys.dat")) << "k";
  EXPECT_EQ(SfGetKeysFilePath().ToMultiByte().ToStdString(), T("app/Browser/keys.dat"));
  EXPECT_EQ(SfGetHelpFolder().ToMultiByte().ToStdString(), T("app/Browser/Help"));
  EXPECT_EQ(SfGetHelpFilePath().ToMultiByte().ToStdString(), T("app/Browser/help/QMVGuide.chm"));
}

TEST_F(SfSuiteRegistry, ABareBrowserNameLooksForKeysInTheWorkingFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(Dir("work"));
  const std::string without = SfGetKeysFilePath().ToMultiByte().ToStdString();
  std::ofstream("keys.dat") << "k";
  const std::string with = SfGetKeysFilePath().ToMultiByte().ToStdString();
  const std::string help = SfGetHelpFolder().ToMultiByte().ToStdString();
  fs::current_path(previous);
  EXPECT_EQ(without, "");
  EXPECT_EQ(with, "keys.dat");
  EXPECT_EQ(help, "Help");
}

TEST_F(SfSuiteRegistry, RegisteredFoldersAreRealPathsOfTheBrowsersList) {
  XpStringVector folders{u"kept"};
  EXPECT_FALSE(SfGetRegisteredFolders(&folders));
  SetMachine("Browser", "CurrentVersion", "1.0");
  EXPECT_FALSE(SfGetRegisteredFolders(&folders));  // no current-user key

  XpRegistry key;
  ASSERT_EQ(key.Open(XpString::FromUtf8(SuiteKeyPath("Browser\\1.0\\RegisteredFolders")), kUser,
                     XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(key.SetStringList(u"Folder", {u"<MYDOCUMENTS>/Shots", XpString::FromUtf8(T("pics"))}),
            kXpOk);
  ASSERT_TRUE(SfGetRegisteredFolders(&folders));
  EXPECT_EQ(folders, (XpStringVector{u"kept", XpString::FromUtf8(Documents() + "/Shots"),
                                     XpString::FromUtf8(T("pics"))}));

  // An entry with no real path now is left out.
  ASSERT_EQ(key.SetStringList(u"Folder", {u"<0000000100000002>/gone", u"relative"}), kXpOk);
  folders.clear();
  ASSERT_TRUE(SfGetRegisteredFolders(&folders));
  EXPECT_TRUE(folders.empty());
  EXPECT_FALSE(SfGetRegisteredFolders(nullptr));
}

TEST_F(SfSuiteRegistry, IsInRegisteredFolderNeedsAnExistingFolderAtOrBelowOne) {
  EXPECT_FALSE(SfIsInRegisteredFolder(XpString::FromUtf8(T("pics"))));  // nothing registered
  SetMachine("Browser", "CurrentVersion", "1.0");
  XpRegistry key;
  ASSERT_EQ(key.Open(XpString::FromUtf8(SuiteKeyPath("Browser\\1.0\\RegisteredFolders")), kUser,
                     XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(
      key.SetStringList(u"Folder", {u"<0000000100000002>/gone", XpString::FromUtf8(T("pics"))}),
      kXpOk);
  for (const char* folder : {"pics/2023", "picsX", "Pics"}) fs::create_directories(T(folder));
  std::ofstream(T("pics/file")) << "x";

  struct Row {
    std::string path;
    bool expected;
  };
  const Row rows[] = {
      {T("pics"), true},       {T("pics/2023"), true},  {T("pics") + "/", true},
      {T(), false},            {T("picsX"), false},     {T("Pics"), false},
      {T("pics/none"), false}, {T("pics/file"), false}, {"", false},
      {"/", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SfIsInRegisteredFolder(XpString::FromUtf8(row.path)), row.expected) << row.path;
  }
}

TEST_F(SfSuiteRegistry, CountryOrAreaCodeNeedsTheCurrentVersion) {
  EXPECT_EQ(SfGetCountryOrAreaCode().ToMultiByte().ToStdString(), "");
  // Without a version the key itself is not read.
  SetMachine("GlobalSettings", "CountryOrAreaCode", "DE");
  SetMachine("GlobalSettings\\1.0", "CountryOrAreaCode", "JP");
  EXPECT_EQ(SfGetCountryOrAreaCode().ToMultiByte().ToStdString(), "");
  SetMachine("GlobalSettings", "CurrentVersion", "1.0");
  EXPECT_EQ(SfGetCountryOrAreaCode().ToMultiByte().ToStdString(), "JP");
}

}  // namespace
