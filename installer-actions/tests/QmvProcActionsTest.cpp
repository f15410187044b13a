#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "QmvProcLibrary.h"
#include "msi/MsiInstallation.h"
#include "platform/registry/XpRegistryStore.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/text/XpUtf.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kRecordKey = u"SOFTWARE\\Kavo Corporation\\Shared Info\\AppDB\\QMV";
constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Kavo Corporation\\QMV\\GlobalSettings";
constexpr const char16_t* kProductKey = u"SOFTWARE\\Kavo Corporation\\QMV";

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The files below a folder, relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files.push_back(fs::relative(entry.path(), folder).string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class QmvProcActions : public InstallerTest {
 protected:
  void Run(const char* action) {
    const QmvAction call = QmvProcExport(action);
    ASSERT_NE(call, nullptr) << action;
    EXPECT_EQ(call(install_), 0u) << action;
  }
  std::optional<std::u16string> Property(const std::u16string& name) const { return msi::PropertyOf(install_, name); }
  // The feature's requested state; -2 for a feature that is not declared.
  int32_t State(const std::u16string& feature) const {
    for (const auto& [name, state] : msi::FeatureStatesOf(install_)) {
      if (name == feature) return state;
    }
    return -2;
  }
  // Installs with logging to "test.log" on top of the properties.
  void InstallLogging(msi::PropertyMap properties, const std::vector<std::u16string>& features = {}) {
    properties[u"QMVLOGGING"] = u"True";
    properties[u"QMV_INSTALLER_LOGFILENAME"] = u"test.log";
    Install(properties, features);
  }
  // The log with every entry's time written "T".
  std::string Log() const {
    static const std::regex kTime(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\])");
    return std::regex_replace(ReadFile(LogPath()), kTime, "[T]");
  }
  XpRegistryStore& Machine() { return XpRegistryStore::ForRoot(XpRegistryRoot::kLocalMachine); }
  std::optional<std::vector<uint8_t>> Value(const XpString& key, const XpString& name) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    if (Machine().QueryValue(key, name, &type, &data) != kXpOk) return std::nullopt;
    return data;
  }
  void SetText(const XpString& key, const XpString& name, std::u16string_view text) {
    ASSERT_EQ(Machine().CreateKey(key), kXpOk);
    ASSERT_EQ(Machine().SetValue(key, name, kXpRegSz, Utf16Bytes(text)), kXpOk);
  }
  testsupport::FakeSysfs& Sysfs() {
    if (!sysfs_) sysfs_ = std::make_unique<testsupport::FakeSysfs>(std::getenv("KAVO_SYSROOT"));
    return *sysfs_;
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
};

TEST_F(QmvProcActions, ExportsOnlyTheActions) {
  for (const char* name :
       {"QMV_CopyVersionText", "QMV_SetRegistryVersionInfo", "QMV_DeleteRegistryVersionInfo", "QMV_CopyHelpFile",
        "QMV_SetFeatureSelectedLanguage", "QMV_SetFeatureDesktopShortcut", "QMV_SetFeatureWorkAround",
        "QMV_CheckCDInstall", "QMV_ChengeRegistrySecurity", "QMV_AliveQMVMutex", "QMV_ReleaseQMVMutex",
        "QMV_LaunchBootstrapMutex", "QMV_DeleteHelpFile", "QMV_CopyKnownDevicesDat", "QMV_GetQMVInstallPath",
        "QMV_DeleteFile", "QMV_ClosePreparingWindow", "QMV_SelectCallFunction", "QMV_DirectXInstallControl",
        "QMV_CheckInstallPath", "QMV_CheckSupportIMAPIv2h"}) {
    EXPECT_NE(QmvProcExport(name), nullptr) << name;
  }
  // The support class and the actions of other libraries stay hidden.
  EXPECT_EQ(QmvProcExport("_ZN23InstallerCommonFunction11DeleteFilesERK8XpString"), nullptr);
  EXPECT_EQ(QmvProcExport("_Z25QmvCheckInstallPathActionj"), nullptr);
  EXPECT_EQ(QmvProcExport("_ZN12WdMInitCheck32WdMInitCheckLib_IsSupportIMAPIv2Ev"), nullptr);
  EXPECT_EQ(QmvProcExport("_Z13QmvLanguageOfRK8XpString"), nullptr);
}

TEST_F(QmvProcActions, LanguageSelectsFeatureAndHelpFolder) {
  const fs::path source = Dir("src");
  for (const char* folder : {"Ru-Ru", "En-Us", "Zh-Cn", "Ja-Jp"}) {
    WriteFile(source / "Help" / folder / (std::string(folder) + ".txt"), folder);
  }
  struct Case {
    std::optional<std::u16string> embedded;
    const char16_t* feature;  // null: no feature changed
    const char* helpFolder;   // null: nothing copied
  } cases[] = {
      {u"1049", u"RU_Feature", "Ru-Ru"}, {u"1033", u"EN_Feature", "En-Us"}, {u"", u"EN_Feature", "En-Us"},
      {u"01041", u"EN_Feature", "En-Us"}, {u"2052", u"ZHCN_Feature", "Zh-Cn"}, {std::nullopt, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const fs::path app = Root() / "app";
    fs::remove_all(app);
    msi::PropertyMap properties{{u"SourceDir", XpUtf8ToUtf16(source.string()) + u"/"},
                                {u"APPLICATIONROOTDIRECTORY", XpUtf8ToUtf16(app.string()) + u"/"}};
    if (c.embedded) properties[u"EMBEDDED"] = *c.embedded;
    Install(properties, {u"RU_Feature", u"EN_Feature", u"ZHCN_Feature"});
    Run("QMV_SetFeatureSelectedLanguage");
    Run("QMV_CopyHelpFile");
    const std::string label =
        c.embedded ? XpString(c.embedded->c_str()).ToMultiByte().ToStdString() : "unset";
    for (const char16_t* feature : {u"RU_Feature", u"EN_Feature", u"ZHCN_Feature"}) {
      const bool selected = c.feature != nullptr && std::u16string(feature) == c.feature;
      EXPECT_EQ(State(feature), selected ? kMsiStateLocal : msi::kNoFeatureState) << label;
    }
    const std::vector<std::string> expected =
        c.helpFolder ? std::vector<std::string>{std::string(c.helpFolder) + ".txt"} : std::vector<std::string>{};
    EXPECT_EQ(FilesBelow(app / "Help"), expected) << label;
  }
}

TEST_F(QmvProcActions, DesktopShortcutNeedsExactlyOne) {
  struct Case {
    const char16_t* flag;
    int32_t state;
  } cases[] = {{u"1", kMsiStateLocal}, {u"True", kMsiStateAbsent}, {u"", kMsiStateAbsent}};
  for (const Case& c : cases) {
    Install({{u"DTSHORTCUTS_CREATE_FLAG", c.flag}}, {u"DesktopShortcuts_Feature"});
    Run("QMV_SetFeatureDesktopShortcut");
    EXPECT_EQ(State(u"DesktopShortcuts_Feature"), c.state)
        << XpString(c.flag).ToMultiByte().ToStdString();
  }
}

TEST_F(QmvProcActions, WorkAroundChainStopsAtFirstFailure) {
  const std::u16string f102 = u"WORKAROUND_1.1.02_Feature";
  const std::u16string f103 = u"WORKAROUND_1.1.03_Feature";
  const std::u16string f211 = u"WORKAROUND_2.0.11_Feature";
  struct Case {
    std::vector<std::optional<std::u16string>> flags;
    bool declare103;
    int32_t states[3];
  } cases[] = {
      {{std::nullopt, u"True", u"True"}, true, {-1, -1, -1}},
      {{u"True", u"x", u"True"}, true, {3, 2, 3}},
      {{u"True", u"True", u"True"}, false, {3, -2, -1}},
  };
  const char16_t* flagNames[] = {u"WORKAROUND_1.1.02_FLAG", u"WORKAROUND_1.1.03_FLAG", u"WORKAROUND_2.0.11_FLAG"};
  int row = 0;
  for (const Case& c : cases) {
    msi::PropertyMap properties;
    for (size_t i = 0; i < 3; ++i) {
      if (c.flags[i]) properties[flagNames[i]] = *c.flags[i];
    }
    std::vector<std::u16string> features{f102, f211};
    if (c.declare103) features.push_back(f103);
    Install(properties, features);
    Run("QMV_SetFeatureWorkAround");
    EXPECT_EQ(State(f102), c.states[0]) << row;
    EXPECT_EQ(State(f103), c.states[1]) << row;
    EXPECT_EQ(State(f211), c.states[2]) << row;
    ++row;
  }
}

TEST_F(QmvProcActions, VersionTextCopiedUnlessSourceIsOlder) {
  const fs::path source = Dir("src");
  WriteFile(source / "Version.txt", "5.1.00.12250\r\n");
  struct Case {
    std::optional<std::string> installed;
    std::string after;
  } cases[] = {
      {"5.1.01.10000\r\n", "5.1.01.10000\r\n"},
      {std::nullopt, "5.1.00.12250\r\n"},
      {"5.1.0.12250\r\n", "5.1.00.12250\r\n"},
  };
  for (const Case& c : cases) {
    const fs::path app = Root() / "app";
    fs::remove_all(app);
    fs::create_directories(app);
    if (c.installed) WriteFile(app / "Version.txt", *c.installed);
    fs::remove(LogPath());
    InstallLogging({{u"SourceDir", XpUtf8ToUtf16(source.string())},
                    {u"APPLICATIONROOTDIRECTORY", XpUtf8ToUtf16(app.string())}});
    Run("QMV_CopyVersionText");
    EXPECT_EQ(ReadFile(app / "Version.txt"), c.after);
    EXPECT_NE(Log().find("[T] : [QMV_CopyVersionText End]\r\n\tCopyFile Return : 0\r\n"), std::string::npos)
        << Log();
  }
}

TEST_F(QmvProcActions, RegistryRecordHoldsFixedSizeTexts) {
  const fs::path source = Dir("src");
  WriteFile(source / "ESD.ini", "[SoftwareID]\r\nID=ABC-123\r\n");
  WriteFile(source / "Version.txt", "1.1.00.12250\r\n");
  Install({{u"SourceDir", XpUtf8ToUtf16(source.string())}});
  Run("QMV_SetRegistryVersionInfo");

  auto appid = Value(kRecordKey, u"appid");
  ASSERT_TRUE(appid);
  std::vector<uint8_t> expected = Utf16Bytes(u"ABC-123");
  expected.resize(522, 0);
  EXPECT_EQ(*appid, expected);
  EXPECT_EQ(Value(kRecordKey, u"appname"), Utf16Bytes(u"QMV"));
  expected = Utf16Bytes(u"1.1.00.12250");
  expected.resize(522, 0);
  EXPECT_EQ(Value(kRecordKey, u"version"), expected);

  Run("QMV_DeleteRegistryVersionInfo");
  XpStringVector names;
  EXPECT_NE(Machine().EnumValues(kRecordKey, &names), kXpOk);
  EXPECT_EQ(Machine().EnumSubkeys(u"SOFTWARE\\Kavo Corporation\\Shared Info\\AppDB", &names), kXpOk);
  EXPECT_TRUE(names.empty());
}

TEST_F(QmvProcActions, RegistryRecordNeedsAnId) {
  const fs::path source = Dir("src");
  WriteFile(source / "ESD.ini", "[SoftwareID]\r\nName=ABC\r\n");
  WriteFile(source / "Version.txt", "1.1.00.12250\r\n");
  Install({{u"SourceDir", XpUtf8ToUtf16(source.string())}});
  Run("QMV_SetRegistryVersionInfo");
  XpStringVector names;
  EXPECT_NE(Machine().EnumValues(kRecordKey, &names), kXpOk);
}

TEST_F(QmvProcActions, RecordKeyWithSubkeyStays) {
  const fs::path source = Dir("src");
  WriteFile(source / "ESD.ini", "[SoftwareID]\r\nID=ABC-123\r\n");
  WriteFile(source / "Version.txt", "1.1.00.12250\r\n");
  InstallLogging({{u"SourceDir", XpUtf8ToUtf16(source.string())}});
  Run("QMV_SetRegistryVersionInfo");
  ASSERT_EQ(Machine().CreateKey(XpString(kRecordKey) + u"\\Extra"), kXpOk);
  Run("QMV_DeleteRegistryVersionInfo");
  XpStringVector names;
  ASSERT_EQ(Machine().EnumValues(kRecordKey, &names), kXpOk);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(Machine().EnumSubkeys(kRecordKey, &names), kXpOk);
  EXPECT_EQ(names.size(), 1u);
  EXPECT_NE(Log().find("Directory not empty"), std::string::npos) << Log();
}

TEST_F(QmvProcActions, HelpFilesLandBelowHelpWhateverTheDiscIsCalled) {
  const fs::path source = Root() / "De-De-disc";
  WriteFile(source / "Help" / "De-De" / "img" / "a.png", "png");
  WriteFile(source / "Help" / "De-De" / "b.txt", "txt");
  const fs::path app = Root() / "app";
  WriteFile(app / "other", "keep");
  Install({{u"SourceDir", XpUtf8ToUtf16(source.string()) + u"/"},
           {u"EMBEDDED", u"1031"},
           {u"APPLICATIONROOTDIRECTORY", XpUtf8ToUtf16(app.string()) + u"/"}});
  Run("QMV_CopyHelpFile");
  EXPECT_EQ(FilesBelow(app), (std::vector<std::string>{"Help/", "Help/b.txt", "Help/img/", "Help/img/a.png", "other"}));
  EXPECT_EQ(ReadFile(app / "Help" / "img" / "a.png"), "png");

  Run("QMV_DeleteHelpFile");
  EXPECT_EQ(FilesBelow(app), (std::vector<std::string>{"other"}));
}

TEST_F(QmvProcActions, HelpFolderOfAnEmptyRootIsNotDeleted) {
  // "" appends to the relative path "Help", which must not be deleted.
  const fs::path cwd = fs::current_path();
  const fs::path work = Dir("work");
  WriteFile(work / "Help" / "keep.txt", "keep");
  fs::current_path(work);
  Install({{u"APPLICATIONROOTDIRECTORY", u""}});
  Run("QMV_DeleteHelpFile");
  fs::current_path(cwd);
  EXPECT_TRUE(fs::exists(work / "Help" / "keep.txt"));
}

TEST_F(QmvProcActions, CdInstallFollowsTheSourceVolume) {
  const fs::path disc = Dir("disc");
  const fs::path disk = Dir("disk");
  const fs::path share = Dir("share");
  Sysfs().SetMounts({{"/", "ext4", "/dev/sda1", 8, 1},
                     {disc.string(), "iso9660", "/dev/sr0", 11, 0},
                     {disk.string(), "ext4", "/dev/sdb1", 8, 17},
                     {share.string(), "cifs", "//server/share", 0, 52}});
  struct Case {
    std::optional<fs::path> source;
    const char16_t* answer;
  } cases[] = {
      {disc / "setup", u"1"}, {disk / "setup", u"0"}, {share / "setup", u"0"}, {std::nullopt, u"0"},
  };
  for (const Case& c : cases) {
    msi::PropertyMap properties;
    if (c.source) properties[u"SourceDir"] = XpUtf8ToUtf16((*c.source).string());
    Install(properties);
    Run("QMV_CheckCDInstall");
    EXPECT_EQ(Property(u"CDINSTALL"), std::u16string(c.answer)) << (c.source ? c.source->string() : "unset");
  }
}

TEST_F(QmvProcActions, SettingsKeyOfTheCurrentVersionIsGranted) {
  struct Case {
    bool version;
    bool key;
    const char* end;
  } cases[] = {
      {true, true, "ChangeRegistrySecurityEveryOne Return: 0"},
      {true, false, "ChangeRegistrySecurityEveryOne Return: 2"},
      {false, true, "ChangeRegistrySecurityEveryOne Return: 2"},
  };
  const XpString versionKey = XpString(kSettingsKey) + u"\\5.1";
  for (const Case& c : cases) {
    (void)Machine().DeleteKeyTree(u"SOFTWARE");
    if (c.version) {
      SetText(kSettingsKey, u"CurrentVersion", u"5.1");
    }
    if (c.key) {
      ASSERT_EQ(Machine().CreateKey(versionKey), kXpOk);
    }
    fs::remove(LogPath());
    InstallLogging({});
    Run("QMV_ChengeRegistrySecurity");
    EXPECT_NE(Log().find(std::string("[QMV_ChengeRegistrySecurity End]\r\n\t") + c.end + "\r\n"), std::string::npos)
        << Log();
    std::vector<XpRegGrant> grants;
    if (c.key) {
      ASSERT_EQ(Machine().QueryGrants(versionKey, &grants), kXpOk);
      const auto expected =
          c.version ? std::vector<XpRegGrant>{{u"EVERYONE", 0x1F01FF, 3}} : std::vector<XpRegGrant>{};
      EXPECT_EQ(grants, expected);
    }
  }
}

TEST_F(QmvProcActions, SettingsKeyTooLongToFormGrantsNothing) {
  SetText(kSettingsKey, u"CurrentVersion", std::u16string(250, u'v'));
  InstallLogging({});
  Run("QMV_ChengeRegistrySecurity");
  EXPECT_NE(Log().find("[QMV_ChengeRegistrySecurity End]\r\n\tChangeRegistrySecurityEveryOne Return: 87\r\n"),
            std::string::npos)
      << Log();
  const std::string file = ReadFile(fs::path(std::getenv("KAVO_REGISTRY_DIR")) / "HKEY_LOCAL_MACHINE.reg");
  EXPECT_EQ(file.find(";grant"), std::string::npos) << file;
}

TEST_F(QmvProcActions, InstallPathNeedsRoomForItsTerminator) {
  for (const size_t length : {259u, 260u}) {
    const std::u16string path = u"/" + std::u16string(length - 1, u'p');
    (void)Machine().DeleteKeyTree(u"SOFTWARE");
    SetText(kProductKey, u"InstalledLocation", path);
    Install({});
    Run("QMV_GetQMVInstallPath");
    const std::optional<std::u16string> expected = length == 259 ? std::optional(path) : std::nullopt;
    EXPECT_EQ(Property(u"QMV_INSTALLPATH"), expected) << length;
  }
}

TEST_F(QmvProcActions, DeleteFileRefusesUnsafePaths) {
  const fs::path mount = Dir("mnt");
  Sysfs().SetMounts({{"/", "ext4", "/dev/sda1", 8, 1}, {mount.string(), "ext4", "/dev/sdb1", 8, 17}});
  WriteFile(mount / "keep.txt", "keep");
  const fs::path work = Dir("work");
  WriteFile(work / "rel" / "keep.txt", "keep");
  const fs::path cwd = fs::current_path();
  fs::current_path(work);
  for (const std::u16string& value : {std::u16string(), std::u16string(u"/"),
                                      XpUtf8ToUtf16(mount.string()), std::u16string(u"rel")}) {
    Install({{u"QMV_INSTALL_DELETEFILE", value}});
    Run("QMV_DeleteFile");
  }
  fs::current_path(cwd);
  EXPECT_TRUE(fs::exists(mount / "keep.txt"));
  EXPECT_TRUE(fs::exists(work / "rel" / "keep.txt"));
  EXPECT_TRUE(fs::exists(Root()));

  const fs::path old = Root() / "app" / "old";
  WriteFile(old / "x.txt", "x");
  Install({{u"QMV_INSTALL_DELETEFILE", XpUtf8ToUtf16(old.string()) + u"/"}});
  Run("QMV_DeleteFile");
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(Root() / "app"));
}

TEST_F(QmvProcActions, KnownDevicesCopiedIntoTheInstallation) {
  const fs::path source = Dir("src");
  WriteFile(source / "Knowndevices.dat", "devices");
  const fs::path app = Dir("app");
  Install({{u"SourceDir", XpUtf8ToUtf16(source.string())},
           {u"APPLICATIONROOTDIRECTORY", XpUtf8ToUtf16(app.string())}});
  Run("QMV_CopyKnownDevicesDat");
  EXPECT_EQ(ReadFile(app / "Knowndevices.dat"), "devices");
}

TEST_F(QmvProcActions, EntryShapes) {
  const fs::path source = Dir("src");
  Sysfs().SetMounts({{"/", "ext4", "/dev/sda1", 8, 1}});
  // Shape of the handle: the CD test.
  InstallLogging({{u"SourceDir", XpUtf8ToUtf16(source.string())}});
  Run("QMV_CheckCDInstall");
  const std::string root = fs::path("/").string();
  EXPECT_EQ(Log(),
            "[T] : [QMV_CheckCDInstall Start]\r\n\tMSI Hundle: " + std::to_string(install_) +
                "\r\n"
                "[T] : [MsiGetProperty Result]\r\n\tMsiGetProperty Return: 0\r\n\tProperty Name: SourceDir\r\n"
                "\tProperty Value: " + source.string() + "\r\n\tMSI Hundle: " + std::to_string(install_) +
                "\r\n\tData Size: " + std::to_string(source.string().size()) +
                "\r\n"
                "[T] : [Installer drive]\r\n\tInstaller drive: /\r\n"
                "[T] : [CDorNotCD]\r\n\tszCheckCDInstall: 0\r\n"
                "[T] : [MsiSetProperty Result]\r\n\tMsiSetProperty Return: 0\r\n\tProperty Name: CDINSTALL\r\n"
                "\tProperty Value: 0\r\n\tMSI Hundle: " + std::to_string(install_) +
                "\r\n"
                "[T] : [QMV_CheckCDInstall End]\r\n\tSetPropertyMsi Return: 0\r\n");

  // Shape of the message: the delete of a named file that is not set.
  fs::remove(LogPath());
  InstallLogging({});
  Run("QMV_DeleteFile");
  const std::string handle = std::to_string(install_);
  EXPECT_EQ(Log(),
            "[T] : []\r\n\tQMV_DeleteFile Start\r\n"
            "[T] : [MsiGetProperty Result]\r\n\tMsiGetProperty Return: 1608\r\n\tProperty Name: "
            "QMV_INSTALL_DELETEFILE\r\n\tProperty Value: \r\n\tMSI Hundle: " + handle +
                "\r\n\tData Size: 0\r\n"
                "[T] : []\r\n\tQMV_DeleteFile End\r\n");

  // Shape of the title: the help files without a language.
  fs::remove(LogPath());
  InstallLogging({});
  Run("QMV_CopyHelpFile");
  const std::string inner = std::to_string(install_);
  EXPECT_EQ(Log(),
            "[T] : [QMV_CopyHelpFile Start]\r\n\t\r\n"
            "[T] : [GetTargetLanguageFolderName Start]\r\n\t\r\n"
            "[T] : [MsiGetProperty Result]\r\n\tMsiGetProperty Return: 1608\r\n\tProperty Name: EMBEDDED\r\n"
            "\tProperty Value: \r\n\tMSI Hundle: " + inner +
                "\r\n\tData Size: 0\r\n"
                "[T] : [GetTargetLanguageFolderName End]\r\n\t\r\n"
                "[T] : [QMV_CopyHelpFile End]\r\n\t\r\n");

  // The do-nothing export writes nothing.
  const std::string before = ReadFile(LogPath());
  Run("QMV_SelectCallFunction");
  EXPECT_EQ(ReadFile(LogPath()), before);
}

TEST_F(QmvProcActions, DiscRecorderIsNotAvailableOnLinux) {
  InstallLogging({});
  Run("QMV_CheckSupportIMAPIv2h");
  EXPECT_EQ(Property(u"INSTALLED_IMAPI_FLAG"), u"False");
  const std::string handle = std::to_string(install_);
  EXPECT_EQ(Log(),
            "[T] : [QMV_CheckSupportIMAPIv2h Start]\r\n\tMSI Hundle: " + handle +
                "\r\n"
                "[T] : [WdMInitCheckLib_IsSupportIMAPIv2 Result]\r\n\tSupport IMAPIv2: 0\r\n"
                "[T] : [MsiSetProperty Result]\r\n\tMsiSetProperty Return: 0\r\n\tProperty Name: "
                "INSTALLED_IMAPI_FLAG\r\n\tProperty Value: False\r\n\tMSI Hundle: " + handle +
                "\r\n"
                "[T] : []\r\n\tQMV_CheckSupportIMAPIv2h End\r\n");
}

}  // namespace
}  // namespace installertest
