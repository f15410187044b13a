#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "platform/text/XpString.h"

// One COM class of the former suite: kind 0 for a library server, 1 for a
// program server.
struct TlvComServerRow {
  int32_t kind = 0;
  XpString classId;
};

// One former component: present when <baseKey>\<subkey> opens (and, when
// given, <baseKey>\<secondSubkey> too).
struct TlvComponentRow {
  XpString baseKey;
  XpString subkey;
  XpString secondSubkey;
  XpString property;
};

// The package's tables of the former suite. Every row here has passed its
// table's check.
struct TlvTables {
  std::vector<TlvComServerRow> comServers;
  std::vector<TlvComponentRow> components;
  XpStringVector desktopTargets;
  XpStringVector supportPrefixes;
  XpStringVector startMenuTargets;
  XpStringVector startMenuHelpPages;
  XpStringVector installationEntries;
  XpStringVector installerInfoFolders;
  XpStringVector suiteSubkeys;
  XpStringVector keptExtPrograms;
  XpStringVector sharedLibraries;
  XpStringVector uninstallCodes;
  XpString companionName;
  XpStringVector companionKeys;
  XpStringVector musicTransferKeys;
};

// Reads the tables file: UTF-8, blank lines and lines beginning with ';'
// ignored, "[Name]" starts a table, every other line is one row with its
// fields separated by TAB. A missing or unreadable file, an unknown table,
// a row outside a table or a row with the wrong number of fields leaves
// every table empty. A row that fails its table's check is skipped and
// logged.
class TlvTableReader {
 public:
  static constexpr const char16_t* kFileName = u"TLVProcTables.txt";

  explicit TlvTableReader(InstallerCommonFunction& common) : common_(common) {}

  TlvTables ReadFile(const XpString& path);
  TlvTables ReadText(std::string_view text);
  // The tables file of the package's folder, the property SourceDir.
  TlvTables ReadFromSource(MSIHANDLE install);

  // Checks of single entries.
  // Relative, with no empty, "." or ".." component.
  static bool IsFileEntry(const XpString& entry);
  // {8-4-4-4-12 hex digits}.
  static bool IsBracedGuid(const XpString& entry);
  // Non-empty, with no empty component.
  static bool IsRegistryEntry(const XpString& entry);
  // INSTALLED_<name>_FLAG.
  static bool IsComponentProperty(const XpString& entry);

 private:
  bool AddRow(int32_t table, const std::vector<XpString>& fields, TlvTables& tables);
  void LogSkipped(int32_t table, const XpString& line);

  InstallerCommonFunction& common_;
};
