#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "InstallerTestSupport.h"
#include "TlvProcLibrary.h"
#include "platform/registry/XpRegistryStore.h"

namespace installertest {

// Codes and keys of the former installation.
inline constexpr const char16_t* kTlvFormerKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{3C9E1A70-5B2D-4F86-A1C4-7D0E9B26F158}";
inline constexpr const char16_t* kTlvUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char16_t* kTlvOtherProductKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6b27e0d4-91c3-4a5e-b8f2-0c4d7a9e13b6}";
inline constexpr const char16_t* kTlvSuiteKey = u"SOFTWARE\\Kavo Corporation\\Kavo Telvane";
inline constexpr const char16_t* kTlvProductKey = u"SOFTWARE\\Kavo Corporation\\QMV";
inline constexpr const char16_t* kTlvSharedDllsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr const char* kTlvListedCode = "{11111111-2222-3333-4444-555555555555}";
inline constexpr const char* kTlvUnlistedCode = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
inline constexpr const char* kTlvInprocClass = "{C0000000-0000-0000-0000-000000000001}";
inline constexpr const char* kTlvLocalClass = "{C0000000-0000-0000-0000-000000000002}";

std::vector<uint8_t> Utf16Bytes(std::u16string_view text);

// A hermetic test with the former installation ("the fixture"): its files,
// shortcuts, registry keys and the package's tables file. $T is Root(), $M
// the machine root.
class TlvFormerSuiteTest : public InstallerTest {
 protected:
  void SetUp() override;

  // Builds the whole fixture and installs with SourceDir "$T/pkg/" and
  // APPLICATIONROOTDIRECTORY "$T/apps/QMV/".
  void BuildFixture();
  // The tables file's text; extra is appended.
  static std::string TablesText(const std::string& extra = "");
  void WriteTables(const std::string& text);
  void InstallPackage(msi::PropertyMap extra = {});

  // Calls an export by name; it must return 0.
  void Run(const char* action);

  std::filesystem::path Former() const { return Root() / "old" / "Kavo Telvane"; }
  std::filesystem::path Machine() const { return Root() / "machine"; }
  std::filesystem::path Desktop() const { return Root() / "home" / "Desktop"; }
  std::filesystem::path Programs() const { return Machine() / "usr" / "share" / "applications"; }
  std::filesystem::path StartMenu() const { return Programs() / "Kavo Telvane"; }
  std::filesystem::path InstallerInfo() const { return Machine() / "opt" / "InstallShield Installation Information"; }
  std::filesystem::path CommonData() const { return Machine() / "var" / "lib" / "kavo"; }

  // Registry helpers.
  static XpRegistryStore& Hklm() { return XpRegistryStore::ForRoot(XpRegistryRoot::kLocalMachine); }
  static XpRegistryStore& Hkcr() { return XpRegistryStore::ForRoot(XpRegistryRoot::kClassesRoot); }
  static void SetValue(XpRegistryStore& store, const XpString& key, const XpString& name, uint32_t type,
                       const std::vector<uint8_t>& data);
  static void SetText(XpRegistryStore& store, const XpString& key, const XpString& name, const std::string& text);
  static void MakeKey(XpRegistryStore& store, const XpString& key);
  static bool HasKey(const XpString& key) { return Hklm().KeyExists(key); }
  static std::optional<std::vector<uint8_t>> Value(const XpString& key, const XpString& name, uint32_t* type = nullptr);
  static std::vector<std::string> Subkeys(const XpString& key);
  static std::vector<std::string> Values(const XpString& key);

  // An executable shell script.
  static void WriteScript(const std::filesystem::path& path, const std::string& body);
  static void WriteDesktopEntry(const std::filesystem::path& path, const std::string& lines);
  // The entries below a folder, relative, folders with a trailing '/'.
  static std::vector<std::string> Tree(const std::filesystem::path& folder);
  // Every path below Root() with its type, size and content digest, and the
  // registry files' texts.
  std::map<std::string, std::string> Snapshot() const;
  // The lines of a record file.
  static std::vector<std::string> Lines(const std::filesystem::path& path);

  std::string T() const { return Root().string(); }
};

}  // namespace installertest
