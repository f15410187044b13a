#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TlvFormerSuiteFixture.h"
#include "installer-actions/tlvproc/TlvRegistryRemoval.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

using Strings = std::vector<std::string>;

using TlvFormerSuiteRemoval = TlvFormerSuiteTest;

TEST_F(TlvFormerSuiteRemoval, RemovesTheFormerSuite) {
  BuildFixture();
  Run("TLV_DeleteTLVModule");

  EXPECT_EQ(Tree(Desktop()), Strings{"Mine.desktop"});
  EXPECT_EQ(Tree(StartMenu()), Strings{});
  EXPECT_TRUE(fs::is_directory(StartMenu()));
  EXPECT_EQ(Tree(Programs()), (Strings{"Games/", "Games/game.desktop", "Kavo Telvane/"}));
  EXPECT_EQ(Tree(Former()), Strings{"notes.txt"});
  EXPECT_EQ(Tree(InstallerInfo()), (Strings{std::string(kTlvUnlistedCode) + "/",
                                            std::string(kTlvUnlistedCode) + "/setup.ini"}));
  EXPECT_FALSE(fs::exists(Root() / "other" / "Prod"));

  EXPECT_EQ(Subkeys(kTlvSuiteKey), Strings{"Browser"});
  EXPECT_EQ(Subkeys(XpString(kTlvSuiteKey) + u"\\Browser"), Strings{"ExtProgramXML"});
  EXPECT_EQ(Values(XpString(kTlvSuiteKey) + u"\\Browser\\ExtProgramXML"), Strings{"Keep1"});
  EXPECT_EQ(Values(XpString(kTlvSuiteKey) + u"\\Browser"), Strings{});
  EXPECT_EQ(Values(kTlvSuiteKey), Strings{});
  EXPECT_FALSE(HasKey(u"SOFTWARE\\Kavo Corporation\\Kavo Orvane"));
  EXPECT_FALSE(HasKey(u"SOFTWARE\\Kavo Corporation\\Orvane Shared"));
  EXPECT_FALSE(HasKey(u"SOFTWARE\\Kavo Corporation\\Kavo Music Transfer"));
  EXPECT_TRUE(Value(kTlvProductKey, u"InstalledLocation").has_value());
  EXPECT_EQ(Values(kTlvSharedDllsKey), Strings{T() + "/elsewhere/x.so"});
  EXPECT_FALSE(HasKey(XpString(kTlvUninstallKey) + u"\\" + XpString::FromUtf8(kTlvListedCode)));
  EXPECT_TRUE(HasKey(XpString(kTlvUninstallKey) + u"\\" + XpString::FromUtf8(kTlvUnlistedCode)));
  // The former key keeps its subkey, so it stays with its values.
  EXPECT_TRUE(Value(kTlvFormerKey, u"InstallLocation").has_value());
}

TEST_F(TlvFormerSuiteRemoval, WithoutKeptProgramsTheSuiteKeyGoes) {
  BuildFixture();
  ASSERT_EQ(Hklm().DeleteValue(XpString(kTlvSuiteKey) + u"\\Browser\\ExtProgramXML", u"Keep1"), kXpOk);
  Run("TLV_DeleteTLVModule");
  EXPECT_FALSE(HasKey(XpString(kTlvSuiteKey) + u"\\Browser"));
  EXPECT_FALSE(HasKey(kTlvSuiteKey));
  EXPECT_TRUE(HasKey(kTlvProductKey));
}

TEST_F(TlvFormerSuiteRemoval, ASecondRunChangesNothing) {
  BuildFixture();
  Run("TLV_DeleteTLVModule");
  const auto before = Snapshot();
  ASSERT_GE(before.count("registry/HKEY_LOCAL_MACHINE.reg") + before.count("registry/HKEY_CLASSES_ROOT.reg"), 2u)
      << "the snapshot holds the registry";
  Run("TLV_DeleteTLVModule");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(TlvFormerSuiteRemoval, TheFormerKeyGoesOnceItHasNoSubkeys) {
  BuildFixture();
  ASSERT_EQ(Hklm().DeleteKey(XpString(kTlvFormerKey) + u"\\Extra"), kXpOk);
  Run("TLV_DeleteTLVModule");
  EXPECT_FALSE(HasKey(kTlvFormerKey));
  EXPECT_TRUE(HasKey(kTlvUninstallKey));
  EXPECT_EQ(Tree(Former()), Strings{"notes.txt"});
}

// A root, or no folder at all, must not become the former folder.
TEST_F(TlvFormerSuiteRemoval, AFormerFolderAtTheRootChangesNothing) {
  BuildFixture();
  for (const char* location : {"", "/", "//"}) {
    SetText(Hklm(), kTlvFormerKey, u"InstallLocation", location);
    const auto before = Snapshot();
    Run("TLV_DeleteTLVModule");
    EXPECT_EQ(Snapshot(), before) << location;
    EXPECT_TRUE(fs::exists(Desktop() / "Browser.desktop")) << location;
  }
  ASSERT_EQ(Hklm().DeleteValue(kTlvFormerKey, u"InstallLocation"), kXpOk);
  const auto before = Snapshot();
  Run("TLV_DeleteTLVModule");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(TlvFormerSuiteRemoval, AnEmptyCompanionNameKeepsEveryFolder) {
  BuildFixture();
  std::string text = TablesText();
  text.replace(text.find("[CompanionName]\nKavo Orvane\n"), 27, "");
  WriteTables(text);
  Run("TLV_DeleteTLVModule");
  EXPECT_TRUE(fs::exists(Programs() / "Kavo Orvane Tools"));
  EXPECT_TRUE(fs::exists(Programs() / "Games"));
}

TEST_F(TlvFormerSuiteRemoval, WalksStayOffLinksAndLongPathsAreNotFormed) {
  BuildFixture();
  const std::string exec = "Exec=\"" + Former().string() + "/Browser/Browser.exe\"\n";
  WriteDesktopEntry(Root() / "elsewhere" / "Browser.desktop", "Type=Application\n" + exec);
  fs::create_directory_symlink(Root() / "elsewhere", Desktop() / "linked");
  fs::create_directory_symlink(Root() / "elsewhere", StartMenu() / "linked");
  // Former folder, '/' and this name reach the path limit.
  const std::string longName(260 - Former().string().size() - 1, 'n');
  WriteFile(Former() / longName, "kept");
  WriteTables(TablesText() + "[InstallationEntries]\n" + longName + "\n");
  Run("TLV_DeleteTLVModule");
  EXPECT_TRUE(fs::exists(Root() / "elsewhere" / "Browser.desktop"));
  EXPECT_EQ(Tree(Desktop()), (Strings{"Mine.desktop", "linked"}));
  EXPECT_EQ(Tree(StartMenu()), Strings{"linked"});
  EXPECT_EQ(Tree(Former()), (Strings{longName, "notes.txt"}));
}

TEST_F(TlvFormerSuiteRemoval, RegistryTreeKeepsProtectedKeysAndTheirParents) {
  auto common = MakeObject();
  TlvRegistryRemoval registry(*common);
  MakeKey(Hklm(), u"A\\B\\KeepMe\\Deep");
  MakeKey(Hklm(), u"A\\B\\C");
  MakeKey(Hklm(), u"A\\D");
  MakeKey(Hklm(), u"A\\keepme");
  EXPECT_EQ(registry.DeleteRegistryTree(u"A", u"KeepMe"), 5u);
  EXPECT_EQ(Subkeys(u"A"), Strings{"B"});
  EXPECT_EQ(Subkeys(u"A\\B"), Strings{"KeepMe"});
  EXPECT_EQ(Subkeys(u"A\\B\\KeepMe"), Strings{"Deep"});
  EXPECT_EQ(registry.DeleteRegistryTree(u"A\\B\\KeepMe", u"KeepMe"), 1010u);
  EXPECT_EQ(registry.DeleteRegistryTree(u""), 1010u);
  EXPECT_TRUE(HasKey(u"A\\B\\KeepMe\\Deep"));
  EXPECT_EQ(registry.DeleteRegistryTree(u"Missing"), 2u);
  EXPECT_EQ(registry.DeleteRegistryTree(u"A"), 0u);
  EXPECT_FALSE(HasKey(u"A"));

  SetText(Hklm(), u"V", u"Keep", "1");
  SetText(Hklm(), u"V", u"keep", "2");
  SetText(Hklm(), u"V", u"", "default");
  EXPECT_EQ(registry.DeleteValuesExcept(u"V", {u"Keep"}), 0u);
  EXPECT_EQ(Values(u"V"), Strings{"Keep"});
  EXPECT_EQ(registry.DeleteAllValues(u"V"), 0u);
  EXPECT_EQ(Values(u"V"), Strings{});
  EXPECT_EQ(registry.DeleteAllValues(u""), 1010u);

  MakeKey(Hklm(), u"L\\Child");
  EXPECT_EQ(registry.DeleteTreeIfLeaf(u"L"), InstallerCommonFunction::kNotFound);
  EXPECT_EQ(registry.DeleteTreeIfLeaf(u"L\\Child"), 0u);
  EXPECT_EQ(registry.DeleteTreeIfLeaf(u"L"), 0u);
  EXPECT_FALSE(HasKey(u"L"));
}

// A trailing separator names the key itself.
TEST_F(TlvFormerSuiteRemoval, ATrailingSeparatorNamesTheKeyItself) {
  MakeKey(Hklm(), u"K\\Sub");
  SetText(Hklm(), u"K", u"Name", "x");
  auto common = MakeObject();
  EXPECT_TRUE(common->HasSubKey(XpRegistryRoot::kLocalMachine, u"K\\"));
  EXPECT_TRUE(common->HasValue(XpRegistryRoot::kLocalMachine, u"K\\"));
  ASSERT_EQ(Hklm().DeleteKey(u"K\\Sub"), kXpOk);
  EXPECT_EQ(common->DeleteRegistryKey(u"K\\"), 0u);
  EXPECT_FALSE(HasKey(u"K"));
}

}  // namespace
}  // namespace installertest
