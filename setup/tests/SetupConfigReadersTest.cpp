// The version-text and registry readers of setup.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry/XpRegistry.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/config/SetupVersionText.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

constexpr uint32_t kCapacity = 261;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SetupConfigReaders : public setuptest::SetupFixture {
 protected:
  XpString PathOf(const std::string& name) const {
    return XpString::FromUtf8((ProgramDir() / name).string());
  }

  std::filesystem::path MachineFile() const { return Root() / "registry/HKEY_LOCAL_MACHINE.reg"; }

  static void SetMachineString(const XpString& key, const XpString& name, const XpString& value) {
    XpRegistry registry;
    ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine,
                            XpRegistry::kAccessRead | XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(registry.SetString(name, value), kXpOk);
  }

  static void SetMachineNumber(const XpString& key, const XpString& name, uint32_t value) {
    XpRegistry registry;
    ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine,
                            XpRegistry::kAccessRead | XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(registry.SetDword(name, value), kXpOk);
  }

  // Every reader on keys that do not exist.
  static void ExpectEveryReaderFails() {
    XpString text = u"kept";
    uint32_t number = 7;
    EXPECT_FALSE(ReadProductValue(XpString(), u"InstalledLocation", &text, kCapacity));
    EXPECT_FALSE(ReadProductValue(u"GlobalSettings\\1.0", u"CountryOrAreaCode", &text, kCapacity));
    EXPECT_FALSE(ReadMakerValue(u"Telvane", u"InstalledLocation", &text, kCapacity));
    EXPECT_FALSE(ReadUninstallValue(XpString(), u"InstallLocation", &text, kCapacity));
    EXPECT_FALSE(ReadProductNumber(u"TranscodeSettings", u"BroadcastSystem", &number));
    EXPECT_FALSE(ReadMakerNumber(u"Telvane\\TranscodeSettings", u"BroadcastSystem", &number));
    EXPECT_FALSE(IsProductUninstallPresent());
    EXPECT_FALSE(ReadProductProgramPath(u"VolumeWatcher", &text));
    EXPECT_FALSE(ReadBrowserProgramPath(&text));
    EXPECT_EQ(number, 7u);
  }
};

TEST_F(SetupConfigReaders, VersionText) {
  struct Case {
    const char* name;
    std::string bytes;
    bool read;
    const char16_t* text;
  };
  const Case cases[] = {
      {"line end", "1.1.00.12250\r\n", true, u"1.1.00.12250"},
      {"exactly twelve", "1.1.00.12250", true, u"1.1.00.12250"},
      {"thirteen", "1.1.00.122501", true, u"1.1.00.12250"},
      {"short with a tail", "1.0.02.1\r\nxx", true, u"1.0.02.1"},
      {"line feed only", "1.0\nyy", true, u"1.0"},
      {"zero byte", std::string("1.2\0zz", 6), true, u"1.2"},
      {"accented", "\xC3\xA9" "1", true, u"\u00E9" u"1"},
      {"empty", "", false, u""},
      {"line end only", "\r\n", false, u""},
  };
  for (const Case& c : cases) {
    WriteProgramFile(c.name, c.bytes);
    XpString text = u"stale";
    EXPECT_EQ(ReadVersionText(PathOf(c.name), &text), c.read) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  std::filesystem::create_directories(ProgramDir() / "folder");
  XpString text = u"stale";
  EXPECT_FALSE(ReadVersionText(PathOf("folder"), &text));
  EXPECT_EQ(text, u"");
  EXPECT_FALSE(ReadVersionText(PathOf("missing"), &text));
}

TEST_F(SetupConfigReaders, ReadersOnMissingKeysCreateNothing) {
  ExpectEveryReaderFails();
  EXPECT_FALSE(std::filesystem::exists(MachineFile()));

  SetMachineString(u"Software\\Other", u"Name", u"value");
  const std::string before = ReadText(MachineFile());
  ASSERT_FALSE(before.empty());
  ExpectEveryReaderFails();
  EXPECT_EQ(ReadText(MachineFile()), before);
}

TEST_F(SetupConfigReaders, ProductMakerAndUninstallValues) {
  SetMachineString(kSetupProductKey, u"InstalledLanguage", u"de");
  SetMachineString(XpString(kSetupProductKey) + u"\\GlobalSettings\\1.0", u"CountryOrAreaCode",
                   u"49");
  SetMachineNumber(XpString(kSetupProductKey) + u"\\TranscodeSettings", u"BroadcastSystem", 2);
  SetMachineString(XpString(kSetupMakerKey) + u"\\Kavo Telvane", u"InstalledLocation",
                   XpString(std::u16string(300, u'l')));
  XpString text;
  uint32_t number = 0;
  EXPECT_TRUE(ReadProductValue(XpString(), u"InstalledLanguage", &text, kCapacity));
  EXPECT_EQ(text, u"de");
  EXPECT_TRUE(ReadProductValue(u"GlobalSettings\\1.0", u"CountryOrAreaCode", &text, kCapacity));
  EXPECT_EQ(text, u"49");
  EXPECT_TRUE(ReadProductNumber(u"TranscodeSettings", u"BroadcastSystem", &number));
  EXPECT_EQ(number, 2u);
  EXPECT_TRUE(ReadMakerValue(u"Kavo Telvane", u"InstalledLocation", &text, kCapacity));
  EXPECT_EQ(text.GetLength(), 260);

  EXPECT_FALSE(IsProductUninstallPresent());
  SetMachineString(kSetupUninstallKey, u"InstallLocation", u"/nowhere/at/all");
  EXPECT_FALSE(IsProductUninstallPresent());
  SetMachineString(kSetupUninstallKey, u"InstallLocation",
                   XpString::FromUtf8(ProgramDir().string()));
  EXPECT_TRUE(IsProductUninstallPresent());
}

TEST_F(SetupConfigReaders, ProgramPaths) {
  const XpString watcher = XpString(kSetupProductKey) + u"\\VolumeWatcher";
  SetMachineString(watcher, u"CurrentVersion", u"2.0");
  SetMachineString(watcher + u"\\2.0", u"InstalledLocation", u"/opt/qmv");
  SetMachineString(watcher + u"\\2.0", u"ExeName", u"QMVVolumnWatcher");
  XpString path;
  EXPECT_TRUE(ReadProductProgramPath(u"VolumeWatcher", &path));
  EXPECT_EQ(path, u"/opt/qmv/QMVVolumnWatcher");

  const XpString browser = XpString(kSetupProductKey) + u"\\Browser";
  SetMachineString(browser, u"CurrentVersion", u"3.1");
  SetMachineString(browser + u"\\3.1", u"ExeName", u"");
  EXPECT_TRUE(ReadBrowserProgramPath(&path));
  EXPECT_EQ(path, u"QMVBrowser.exe");
  SetMachineString(browser + u"\\3.1", u"InstalledLocation", u"/opt/browser/");
  EXPECT_TRUE(ReadBrowserProgramPath(&path));
  EXPECT_EQ(path, u"/opt/browser/QMVBrowser.exe");

  // A version that names no subkey.
  SetMachineString(watcher, u"CurrentVersion", u"9.9");
  EXPECT_FALSE(ReadProductProgramPath(u"VolumeWatcher", &path));
  EXPECT_EQ(path, u"");
}

}  // namespace
