#include "installer-actions/tlvproc/TlvTables.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/text/XpUtf.h"

namespace {

enum TableId : int32_t {
  kComServers,
  kComponents,
  kDesktopTargets,
  kSupportPrefixes,
  kStartMenuTargets,
  kStartMenuHelpPages,
  kInstallationEntries,
  kInstallerInfoFolders,
  kSuiteSubkeys,
  kKeptExtPrograms,
  kSharedLibraries,
  kUninstallCodes,
  kCompanionName,
  kCompanionKeys,
  kMusicTransferKeys,
  kTableCount,
};

// How a single-field table's entries are checked.
enum class EntryKind { kText, kFile, kGuid, kRegistry };

struct TableShape {
  const char16_t* name;
  size_t fields;
  EntryKind kind;
};

constexpr std::array<TableShape, kTableCount> kShapes = {{
    {u"ComServers", 2, EntryKind::kGuid},
    {u"Components", 4, EntryKind::kRegistry},
    {u"DesktopTargets", 1, EntryKind::kFile},
    {u"SupportPrefixes", 1, EntryKind::kText},
    {u"StartMenuTargets", 1, EntryKind::kFile},
    {u"StartMenuHelpPages", 1, EntryKind::kFile},
    {u"InstallationEntries", 1, EntryKind::kFile},
    {u"InstallerInfoFolders", 1, EntryKind::kGuid},
    {u"SuiteSubkeys", 1, EntryKind::kRegistry},
    {u"KeptExtPrograms", 1, EntryKind::kText},
    {u"SharedLibraries", 1, EntryKind::kFile},
    {u"UninstallCodes", 1, EntryKind::kGuid},
    {u"CompanionName", 1, EntryKind::kText},
    {u"CompanionKeys", 1, EntryKind::kRegistry},
    {u"MusicTransferKeys", 1, EntryKind::kRegistry},
}};

constexpr int32_t kNoTable = -1;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr char16_t kFieldSeparator = u'\t';
constexpr char16_t kCommentMark = u';';
constexpr const char16_t* kInstalledPrefix = u"INSTALLED_";
constexpr const char16_t* kFlagSuffix = u"_FLAG";
constexpr size_t kGuidLength = 38;
constexpr std::array<size_t, 4> kGuidDashes = {9, 14, 19, 24};

int32_t TableNamed(std::u16string_view name) {
  for (size_t i = 0; i < kShapes.size(); ++i) {
    if (name == kShapes[i].name) return static_cast<int32_t>(i);
  }
  return kNoTable;
}

// The parts of text between separators, empty ones kept.
std::vector<XpString> Split(std::u16string_view text, std::u16string_view separators) {
  std::vector<XpString> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find_first_of(separators, start);
    parts.emplace_back(text.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) return parts;
    start = end + 1;
  }
}

bool IsHexDigit(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
}

bool IsEntryOfKind(const XpString& entry, EntryKind kind) {
  switch (kind) {
    case EntryKind::kText:
      return !entry.IsEmpty();
    case EntryKind::kFile:
      return TlvTableReader::IsFileEntry(entry);
    case EntryKind::kGuid:
      return TlvTableReader::IsBracedGuid(entry);
    case EntryKind::kRegistry:
      return TlvTableReader::IsRegistryEntry(entry);
  }
  return false;
}

}  // namespace

bool TlvTableReader::IsFileEntry(const XpString& entry) {
  if (entry.IsEmpty() || entry.CStr()[0] == u'/') return false;
  for (const XpString& part : Split(entry.View(), u"/")) {
    if (part.IsEmpty() || part == u"." || part == u"..") return false;
  }
  return true;
}

bool TlvTableReader::IsBracedGuid(const XpString& entry) {
  const std::u16string_view text = entry.View();
  if (text.size() != kGuidLength || text.front() != u'{' || text.back() != u'}') return false;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    const bool dash = std::find(kGuidDashes.begin(), kGuidDashes.end(), i) != kGuidDashes.end();
    if (dash ? text[i] != u'-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

bool TlvTableReader::IsRegistryEntry(const XpString& entry) {
  if (entry.IsEmpty()) return false;
  // The registry separates names with either slash.
  for (const XpString& part : Split(entry.View(), u"\\/")) {
    if (part.IsEmpty()) return false;
  }
  return true;
}

bool TlvTableReader::IsComponentProperty(const XpString& entry) {
  const std::u16string_view text = entry.View();
  const std::u16string_view prefix = kInstalledPrefix;
  const std::u16string_view suffix = kFlagSuffix;
  if (text.size() <= prefix.size() + suffix.size()) return false;
  return text.substr(0, prefix.size()) == prefix && text.substr(text.size() - suffix.size()) == suffix;
}

void TlvTableReader::LogSkipped(int32_t table, const XpString& line) {
  XpString message;
  (void)message.Format(u"Table: %s\nRow: %s", kShapes[static_cast<size_t>(table)].name, line);
  common_.Log(message, u"TLVProcTables Skipped Row");
}

bool TlvTableReader::AddRow(int32_t table, const std::vector<XpString>& fields, TlvTables& tables) {
  const TableShape& shape = kShapes[static_cast<size_t>(table)];
  if (table == kComServers) {
    const bool kindOk = fields[0] == u"0" || fields[0] == u"1";
    if (!kindOk || !IsBracedGuid(fields[1])) return false;
    tables.comServers.push_back({fields[0] == u"1" ? 1 : 0, fields[1]});
    return true;
  }
  if (table == kComponents) {
    const bool secondOk = fields[2].IsEmpty() || IsRegistryEntry(fields[2]);
    if (!IsRegistryEntry(fields[0]) || !IsRegistryEntry(fields[1]) || !secondOk ||
        !IsComponentProperty(fields[3])) {
      return false;
    }
    tables.components.push_back({fields[0], fields[1], fields[2], fields[3]});
    return true;
  }
  const XpString& entry = fields[0];
  if (!IsEntryOfKind(entry, shape.kind)) return false;
  if (table == kCompanionName) {
    tables.companionName = entry;
    return true;
  }
  XpStringVector* const lists[kTableCount] = {
      nullptr, nullptr, &tables.desktopTargets, &tables.supportPrefixes, &tables.startMenuTargets,
      &tables.startMenuHelpPages, &tables.installationEntries, &tables.installerInfoFolders,
      &tables.suiteSubkeys, &tables.keptExtPrograms, &tables.sharedLibraries, &tables.uninstallCodes,
      nullptr, &tables.companionKeys, &tables.musicTransferKeys,
  };
  lists[table]->push_back(entry);
  return true;
}

TlvTables TlvTableReader::ReadText(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  const std::u16string wide = XpUtf8ToUtf16(text);
  TlvTables tables;
  int32_t table = kNoTable;
  for (XpString line : Split(wide, u"\n")) {
    InstallerCommonFunction::RemoveTrailingChar(line, u'\r');
    if (line.IsEmpty() || line.CStr()[0] == kCommentMark) continue;
    const std::u16string_view view = line.View();
    if (view.front() == u'[' && view.back() == u']') {
      table = TableNamed(view.substr(1, view.size() - 2));
      if (table == kNoTable) return TlvTables();
      continue;
    }
    if (table == kNoTable) return TlvTables();
    const std::vector<XpString> fields = Split(view, std::u16string_view(&kFieldSeparator, 1));
    if (fields.size() != kShapes[static_cast<size_t>(table)].fields) return TlvTables();
    if (!AddRow(table, fields, tables)) LogSkipped(table, line);
  }
  return tables;
}

TlvTables TlvTableReader::ReadFile(const XpString& path) {
  std::vector<uint8_t> bytes;
  const XpResult read = path.IsEmpty() ? kXpErrBadArgument : XpReadWholeFile(path, &bytes);
  XpString message;
  (void)message.Format(u"Path: %s\nResult: %u", path, read);
  common_.Log(message, u"TLVProcTables");
  if (XpFailed(read)) return TlvTables();
  return ReadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TlvTables TlvTableReader::ReadFromSource(MSIHANDLE install) {
  XpString source;
  if (common_.GetPropertyMsi(install, u"SourceDir", source) != 0 || source.IsEmpty()) return ReadFile(XpString());
  InstallerCommonFunction::RemoveTrailingChar(source, u'/');
  return ReadFile(source + u"/" + kFileName);
}
