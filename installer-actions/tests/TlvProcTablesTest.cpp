#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TlvFormerSuiteFixture.h"
#include "installer-actions/tlvproc/TlvTables.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Narrowed(const XpStringVector& list) {
  std::vector<std::string> result;
  for (const XpString& entry : list) result.push_back(entry.ToMultiByte().ToStdString());
  return result;
}

// Every table's rows in one count, to tell "all empty" apart.
size_t RowCount(const TlvTables& t) {
  return t.comServers.size() + t.components.size() + t.desktopTargets.size() + t.supportPrefixes.size() +
         t.startMenuTargets.size() + t.startMenuHelpPages.size() + t.installationEntries.size() +
         t.installerInfoFolders.size() + t.suiteSubkeys.size() + t.keptExtPrograms.size() +
         t.sharedLibraries.size() + t.uninstallCodes.size() + (t.companionName.IsEmpty() ? 0 : 1) +
         t.companionKeys.size() + t.musicTransferKeys.size();
}

class TlvProcTables : public TlvFormerSuiteTest {
 protected:
  TlvTables Read(const std::string& text) {
    common_ = MakeObject();
    return TlvTableReader(*common_).ReadText(text);
  }
  std::unique_ptr<InstallerCommonFunction> common_;
};

TEST_F(TlvProcTables, ReadsEveryTable) {
  const std::string components =
      "[Components]\r\n"
      "SOFTWARE\\Kavo Corporation\\Kavo Telvane\tBrowser\t\tINSTALLED_BROWSER_FLAG\r\n"
      "SOFTWARE\\Kavo Corporation\tA\tB\\C\tINSTALLED_A_FLAG\n";
  const TlvTables t = Read("\xEF\xBB\xBF" + TablesText(components));
  ASSERT_EQ(t.comServers.size(), 2u);
  EXPECT_EQ(t.comServers[0].kind, 0);
  EXPECT_EQ(t.comServers[1].classId.ToMultiByte().ToStdString(), kTlvLocalClass);
  EXPECT_EQ(t.comServers[1].kind, 1);
  ASSERT_EQ(t.components.size(), 2u);
  EXPECT_EQ(t.components[0].subkey.ToMultiByte().ToStdString(), "Browser");
  EXPECT_TRUE(t.components[0].secondSubkey.IsEmpty());
  EXPECT_EQ(t.components[1].secondSubkey.ToMultiByte().ToStdString(), "B\\C");
  EXPECT_EQ(t.components[1].property.ToMultiByte().ToStdString(), "INSTALLED_A_FLAG");
  EXPECT_EQ(Narrowed(t.installationEntries), (std::vector<std::string>{"Browser", "QMVCore", "Help", "Watcher"}));
  EXPECT_EQ(Narrowed(t.supportPrefixes), std::vector<std::string>{"https://support.kavo.example/"});
  EXPECT_EQ(Narrowed(t.companionKeys), (std::vector<std::string>{"Kavo Orvane", "Orvane Shared"}));
  EXPECT_EQ(t.companionName.ToMultiByte().ToStdString(), "Kavo Orvane");
  EXPECT_EQ(Narrowed(t.uninstallCodes), std::vector<std::string>{kTlvListedCode});
  EXPECT_EQ(Narrowed(t.sharedLibraries), std::vector<std::string>{"Browser/core.so"});
  EXPECT_EQ(RowCount(t), 21u);
}

TEST_F(TlvProcTables, AFaultyFileEmptiesEveryTable) {
  const std::string good = TablesText();
  const struct Case {
    const char* label;
    std::string text;
  } cases[] = {
      {"unknown table", good + "[Nope]\nx\n"},
      {"two fields in a one-field table", good + "[SuiteSubkeys]\nA\tB\n"},
      {"three fields for a server", good + "[ComServers]\n0\t" + kTlvInprocClass + "\tx\n"},
      {"three fields for a component", good + "[Components]\nA\tB\tINSTALLED_A_FLAG\n"},
      {"a row before any table", "Browser\n" + good},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RowCount(Read(c.text)), 0u) << c.label;
  }
  EXPECT_EQ(RowCount(Read(good)), 19u);

  // A missing file, and a package folder that is not set.
  common_ = MakeObject();
  EXPECT_EQ(RowCount(TlvTableReader(*common_).ReadFile(
                XpString::FromUtf8((Root() / "pkg" / "TLVProcTables.txt").string()))),
            0u);
  EXPECT_EQ(RowCount(TlvTableReader(*common_).ReadFromSource(install_)), 0u);
  WriteTables(good);
  InstallPackage();
  common_ = MakeObject();
  EXPECT_EQ(RowCount(TlvTableReader(*common_).ReadFromSource(install_)), 19u);
}

TEST_F(TlvProcTables, RowsThatFailTheirCheckAreSkippedAndLoggedOnce) {
  const TlvTables t = Read(
      "[UninstallCodes]\n \nUninstall\n{11111111-2222-3333-4444-55555555555}\n" + std::string(kTlvListedCode) +
      "\n"
      "[InstallationEntries]\n../x\n/etc\nA/./B\nA//B\nHelp/index.html\n"
      "[SuiteSubkeys]\n\\\nA\\\\B\n\\A\nA\\B\n"
      "[ComServers]\n2\t" + std::string(kTlvInprocClass) + "\n0\tnot-a-guid\n"
      "[Components]\nA\t\t\tINSTALLED_A_FLAG\nA\tB\t\tINSTALLED__FLAGX\nA\tB\tC\\\tINSTALLED_A_FLAG\n"
      "[CompanionName]\n\n");
  EXPECT_EQ(Narrowed(t.uninstallCodes), std::vector<std::string>{kTlvListedCode});
  EXPECT_EQ(Narrowed(t.installationEntries), std::vector<std::string>{"Help/index.html"});
  EXPECT_EQ(Narrowed(t.suiteSubkeys), std::vector<std::string>{"A\\B"});
  EXPECT_TRUE(t.comServers.empty());
  EXPECT_TRUE(t.components.empty());
  EXPECT_TRUE(t.companionName.IsEmpty());
  EXPECT_EQ(RowCount(t), 3u);

  const TlvTables kept = Read("[UninstallCodes]\nUninstall\n" + std::string(kTlvListedCode) + "\n");
  EXPECT_EQ(Narrowed(kept.uninstallCodes), std::vector<std::string>{kTlvListedCode});

  common_ = MakeLoggingObject();
  (void)TlvTableReader(*common_).ReadText("[UninstallCodes]\nUninstall\n[InstallationEntries]\n../x\nHelp\n");
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("[TLVProcTables Skipped Row]\r\n\tTable: UninstallCodes\r\n\tRow: Uninstall\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Table: InstallationEntries\r\n\tRow: ../x\r\n"), std::string::npos) << log;
  size_t count = 0;
  for (size_t at = log.find("Skipped Row"); at != std::string::npos; at = log.find("Skipped Row", at + 1)) ++count;
  EXPECT_EQ(count, 2u);
}

TEST_F(TlvProcTables, EntryChecks) {
  const struct Case {
    const char16_t* entry;
    bool file;
    bool guid;
    bool registry;
  } cases[] = {
      {u"", false, false, false},
      {u"Browser/Browser.exe", true, false, true},
      {u"/etc", false, false, false},
      {u"..", false, false, true},
      {u"a/../b", false, false, true},
      {u"a/./b", false, false, true},
      {u"a//b", false, false, false},
      {u"a/", false, false, false},
      {u"A\\B", true, false, true},
      {u"\\A", true, false, false},
      {u"A\\", true, false, false},
      {u"{11111111-2222-3333-4444-555555555555}", true, true, true},
      {u"{6b27e0d4-91c3-4a5e-b8f2-0c4d7a9e13b6}", true, true, true},
      {u"11111111-2222-3333-4444-555555555555", true, false, true},
      {u"{11111111-2222-3333-4444-55555555555G}", true, false, true},
      {u"{11111111-2222-3333-4444_555555555555}", true, false, true},
      {u"{11111111-2222-3333-4444-5555555555555}", true, false, true},
  };
  for (const Case& c : cases) {
    const std::string label = XpString(c.entry).ToMultiByte().ToStdString();
    EXPECT_EQ(TlvTableReader::IsFileEntry(c.entry), c.file) << label;
    EXPECT_EQ(TlvTableReader::IsBracedGuid(c.entry), c.guid) << label;
    EXPECT_EQ(TlvTableReader::IsRegistryEntry(c.entry), c.registry) << label;
  }
  EXPECT_TRUE(TlvTableReader::IsComponentProperty(u"INSTALLED_BROWSER_FLAG"));
  EXPECT_FALSE(TlvTableReader::IsComponentProperty(u"INSTALLED__FLAG"));
  EXPECT_FALSE(TlvTableReader::IsComponentProperty(u"installed_browser_flag"));
  EXPECT_FALSE(TlvTableReader::IsComponentProperty(u"BROWSER_FLAG"));
}

// Entries that would climb out of their folder or name a parent key are
// skipped by the removal too.
TEST_F(TlvProcTables, RemovalSkipsFaultyRows) {
  BuildFixture();
  WriteFile(Root() / "old" / "x", "beside the former folder");
  // Unchecked, a lone backslash would name the Uninstall key and the suite key,
  // and "/" or "." the former folder.
  WriteTables(TablesText() + "Uninstall\n \n\\\n[InstallationEntries]\n../x\n/\n.\n[SuiteSubkeys]\n\\\n");
  const std::vector<std::string> before = Subkeys(kTlvUninstallKey);
  Run("TLV_DeleteTLVModule");
  EXPECT_TRUE(fs::exists(Root() / "old" / "x"));
  std::vector<std::string> expected;
  for (const std::string& key : before) {
    if (key != kTlvListedCode) expected.push_back(key);
  }
  EXPECT_EQ(Subkeys(kTlvUninstallKey), expected);
  EXPECT_TRUE(HasKey(XpString(kTlvUninstallKey) + u"\\" + XpString::FromUtf8(kTlvUnlistedCode)));
  EXPECT_EQ(Tree(Former()), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(Values(XpString(kTlvSuiteKey) + u"\\Browser\\ExtProgramXML"), std::vector<std::string>{"Keep1"});
}

}  // namespace
}  // namespace installertest
