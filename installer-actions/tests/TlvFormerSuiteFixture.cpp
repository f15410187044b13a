#include "TlvFormerSuiteFixture.h"

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "msi/MsiInstallation.h"
#include "platform/text/XpUtf.h"

namespace installertest {

namespace fs = std::filesystem;

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

void TlvFormerSuiteTest::SetUp() { InstallerTest::SetUp(); }

void TlvFormerSuiteTest::MakeKey(XpRegistryStore& store, const XpString& key) {
  ASSERT_EQ(store.CreateKey(key), kXpOk) << key.ToMultiByte().ToStdString();
}

void TlvFormerSuiteTest::SetValue(XpRegistryStore& store, const XpString& key, const XpString& name, uint32_t type,
                                  const std::vector<uint8_t>& data) {
  MakeKey(store, key);
  ASSERT_EQ(store.SetValue(key, name, type, data), kXpOk) << key.ToMultiByte().ToStdString();
}

void TlvFormerSuiteTest::SetText(XpRegistryStore& store, const XpString& key, const XpString& name,
                                 const std::string& text) {
  SetValue(store, key, name, kXpRegSz, Utf16Bytes(XpUtf8ToUtf16(text)));
}

std::optional<std::vector<uint8_t>> TlvFormerSuiteTest::Value(const XpString& key, const XpString& name,
                                                              uint32_t* type) {
  std::vector<uint8_t> data;
  uint32_t stored = 0;
  if (Hklm().QueryValue(key, name, &stored, &data) != kXpOk) return std::nullopt;
  if (type != nullptr) *type = stored;
  return data;
}

std::vector<std::string> TlvFormerSuiteTest::Subkeys(const XpString& key) {
  XpStringVector names;
  std::vector<std::string> result;
  if (Hklm().EnumSubkeys(key, &names) != kXpOk) return result;
  for (const XpString& name : names) result.push_back(name.ToMultiByte().ToStdString());
  return result;
}

std::vector<std::string> TlvFormerSuiteTest::Values(const XpString& key) {
  XpStringVector names;
  std::vector<std::string> result;
  if (Hklm().EnumValues(key, &names) != kXpOk) return result;
  for (const XpString& name : names) result.push_back(name.ToMultiByte().ToStdString());
  return result;
}

void TlvFormerSuiteTest::WriteScript(const fs::path& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

void TlvFormerSuiteTest::WriteDesktopEntry(const fs::path& path, const std::string& lines) {
  WriteFile(path, "[Desktop Entry]\n" + lines);
}

std::vector<std::string> TlvFormerSuiteTest::Tree(const fs::path& folder) {
  std::vector<std::string> entries;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) return entries;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const bool isFolder = it->is_directory() && !it->is_symlink();
    entries.push_back(it->path().lexically_relative(folder).string() + (isFolder ? "/" : ""));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::map<std::string, std::string> TlvFormerSuiteTest::Snapshot() const {
  std::map<std::string, std::string> snapshot;
  for (auto it = fs::recursive_directory_iterator(Root()); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    std::string shape;
    if (it->is_symlink()) {
      shape = "link " + fs::read_symlink(path).string();
    } else if (it->is_directory()) {
      shape = "folder";
    } else {
      const std::string content = ReadFile(path);
      const bool registry = path.extension() == ".reg";
      shape = "file " + std::to_string(content.size()) + " " +
              (registry ? content : std::to_string(std::hash<std::string>()(content)));
    }
    snapshot[path.lexically_relative(Root()).string()] = shape;
  }
  return snapshot;
}

std::vector<std::string> TlvFormerSuiteTest::Lines(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string TlvFormerSuiteTest::TablesText(const std::string& extra) {
  return "; the former suite's tables\n"
         "[ComServers]\n"
         "0\t" + std::string(kTlvInprocClass) + "\n"
         "1\t" + std::string(kTlvLocalClass) + "\n"
         "[DesktopTargets]\nBrowser/Browser.exe\n"
         "[StartMenuTargets]\nBrowser/Browser.exe\n"
         "[SupportPrefixes]\nhttps://support.kavo.example/\n"
         "[StartMenuHelpPages]\nHelp/index.html\n"
         "[InstallationEntries]\nBrowser\nQMVCore\nHelp\nWatcher\n"
         "[SuiteSubkeys]\nCompA\n"
         "[KeptExtPrograms]\nKeep1\n"
         "[SharedLibraries]\nBrowser/core.so\n"
         "[CompanionName]\nKavo Orvane\n"
         "[CompanionKeys]\nKavo Orvane\nOrvane Shared\n"
         "[MusicTransferKeys]\nKavo Music Transfer\n"
         "[InstallerInfoFolders]\n" + std::string(kTlvListedCode) + "\n"
         "[UninstallCodes]\n" + std::string(kTlvListedCode) + "\n" + extra;
}

void TlvFormerSuiteTest::WriteTables(const std::string& text) { WriteFile(Root() / "pkg" / "TLVProcTables.txt", text); }

void TlvFormerSuiteTest::InstallPackage(msi::PropertyMap extra) {
  extra.emplace(u"SourceDir", XpUtf8ToUtf16((Root() / "pkg").string()) + u"/");
  extra.emplace(u"APPLICATIONROOTDIRECTORY",
                XpUtf8ToUtf16((Root() / "apps" / "QMV").string()) + u"/");
  Install(extra);
}

void TlvFormerSuiteTest::Run(const char* action) {
  const TlvAction call = TlvProcExport(action);
  ASSERT_NE(call, nullptr) << action;
  EXPECT_EQ(call(install_), 0u) << action;
}

void TlvFormerSuiteTest::BuildFixture() {
  const fs::path former = Former();
  WriteFile(former / "Browser" / "Browser.exe", "browser");
  WriteFile(former / "Browser" / "keys.dat", "browser keys");
  WriteFile(former / "QMVCore" / "keys.dat", "core keys");
  WriteFile(former / "QMVCore" / "Connectedkeys.dat", "connected keys");
  WriteFile(former / "Help" / "index.html", "<html></html>");
  WriteScript(former / "Watcher" / "TLVVolumeWatcher.exe", "echo \"$1\" >> '" + T() + "/watcher.record'\n");
  WriteFile(former / "notes.txt", "the user's notes");
  WriteFile(Root() / "other" / "Prod" / "prod.dat", "other product");
  WriteScript(Root() / "old" / "Srv.exe", "printf '%s\\n' \"$0\" \"$@\" >> '" + T() + "/server.record'\n");

  const std::string exec = "Exec=\"" + former.string() + "/Browser/Browser.exe\" %f\n";
  WriteDesktopEntry(Desktop() / "Browser.desktop", "Type=Application\nName=Browser\n" + exec);
  WriteDesktopEntry(Desktop() / "Other.desktop", "Type=Application\nExec=" + T() + "/D/Other/Browser/Browser.exe\n");
  WriteDesktopEntry(Desktop() / "Mine.desktop", "Type=Application\nExec=/usr/bin/true\n");
  WriteDesktopEntry(Desktop() / "Support.desktop", "Type=Link\nURL=https://support.kavo.example/reg\n");
  WriteDesktopEntry(Desktop() / "SupportDoc.desktop",
                    "Type=Application\nExec=opener \"" + former.string() + "/Support.url\"\n");
  WriteDesktopEntry(StartMenu() / "Browser.desktop", "Type=Application\n" + exec);
  WriteDesktopEntry(StartMenu() / "Help.desktop", "Type=Link\nURL=" + former.string() + "/Help/index.html\n");
  fs::create_directories(StartMenu() / "Sub");
  WriteFile(Programs() / "Kavo Orvane Tools" / "tool.desktop", "[Desktop Entry]\n");
  WriteFile(Programs() / "Games" / "game.desktop", "[Desktop Entry]\n");
  WriteFile(InstallerInfo() / kTlvListedCode / "setup.ini", "listed");
  WriteFile(InstallerInfo() / kTlvUnlistedCode / "setup.ini", "unlisted");

  XpRegistryStore& hklm = Hklm();
  SetText(hklm, kTlvFormerKey, u"InstallLocation", former.string() + "/");
  SetValue(hklm, kTlvFormerKey, u"History", kXpRegBinary, {1, 2, 3, 4, 5, 6, 7});
  SetValue(hklm, kTlvFormerKey, u"iProduct_History", kXpRegMultiSz,
           {'2', 0, '6', 0, '0', 0, '1', 0, 0, 0, '2', 0, '6', 0, '0', 0, '2', 0, 0, 0, 0, 0});
  MakeKey(hklm, XpString(kTlvFormerKey) + u"\\Extra");
  SetText(hklm, kTlvOtherProductKey, u"InstallLocation", T() + "/other/Prod/");
  MakeKey(hklm, XpString(kTlvUninstallKey) + u"\\" + XpString::FromUtf8(kTlvListedCode));
  MakeKey(hklm, XpString(kTlvUninstallKey) + u"\\" + XpString::FromUtf8(kTlvUnlistedCode));
  SetText(hklm, kTlvSuiteKey, u"Version", "2.6");
  SetText(hklm, XpString(kTlvSuiteKey) + u"\\Browser", u"Window", "max");
  SetText(hklm, XpString(kTlvSuiteKey) + u"\\Browser\\ExtProgramXML", u"Keep1", "kept.xml");
  SetText(hklm, XpString(kTlvSuiteKey) + u"\\Browser\\ExtProgramXML", u"Drop1", "dropped.xml");
  MakeKey(hklm, XpString(kTlvSuiteKey) + u"\\Accessor");
  SetText(hklm, XpString(kTlvSuiteKey) + u"\\CompA", u"Path", "a");
  SetText(hklm, kTlvProductKey, u"InstalledLocation", T() + "/apps/QMV/");
  SetText(hklm, u"SOFTWARE\\Kavo Corporation\\Kavo Orvane", u"Path", "o");
  MakeKey(hklm, u"SOFTWARE\\Kavo Corporation\\Orvane Shared\\Sub");
  MakeKey(hklm, u"SOFTWARE\\Kavo Corporation\\Kavo Music Transfer");
  SetValue(hklm, kTlvSharedDllsKey, XpString::FromUtf8(former.string() + "/Browser/core.so"),
           kXpRegDword, {1, 0, 0, 0});
  SetValue(hklm, kTlvSharedDllsKey, XpString::FromUtf8(T() + "/elsewhere/x.so"), kXpRegDword,
           {1, 0, 0, 0});

  XpRegistryStore& hkcr = Hkcr();
  SetText(hkcr, u"CLSID\\" + XpString::FromUtf8(kTlvInprocClass) + u"\\InprocServer32", u"",
          T() + "/old/x.so");
  SetText(hkcr, u"CLSID\\" + XpString::FromUtf8(kTlvLocalClass) + u"\\LocalServer32", u"",
          "\"" + T() + "/old/Srv.exe\" -Embedding");

  WriteTables(TablesText());
  InstallPackage();
}

}  // namespace installertest
