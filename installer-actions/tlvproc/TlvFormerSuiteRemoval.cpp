#include "installer-actions/tlvproc/TlvFormerSuiteRemoval.h"

#include "installer-actions/common/InstallerSpecialFolders.h"
#include "installer-actions/tlvproc/DesktopEntryShortcut.h"
#include "installer-actions/tlvproc/TlvFormerSuite.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kSupportName = u"Support";
constexpr const char16_t* kSupportExtension = u"url";
constexpr const char16_t* kInstallerInfoFolder = u"InstallShield Installation Information";
constexpr const char16_t* kBrowserKey = u"\\Browser";
constexpr const char16_t* kExtProgramKey = u"\\Browser\\ExtProgramXML";
constexpr const char16_t* kExtProgramName = u"ExtProgramXML";
constexpr const char16_t* kAccessorKey = u"\\Accessor";

XpString FolderOf(int32_t csidl) {
  XpString folder = InstallerGetSpecialFolder(csidl, false);
  InstallerCommonFunction::RemoveTrailingChar(folder, u'/');
  return folder;
}

bool Contains(const XpString& text, const XpString& part) {
  return text.View().find(part.View()) != std::u16string_view::npos;
}

bool BeginsWith(const XpString& text, const XpString& prefix) {
  return text.View().substr(0, static_cast<size_t>(prefix.GetLength())) == prefix.View();
}

bool ContainsAnyUpper(const XpString& text, const XpStringVector& parts) {
  const XpString upper = tlv::UpperCased(text);
  for (const XpString& part : parts) {
    if (Contains(upper, tlv::UpperCased(part))) return true;
  }
  return false;
}

bool BeginsWithAnyUpper(const XpString& text, const XpStringVector& prefixes) {
  const XpString upper = tlv::UpperCased(text);
  for (const XpString& prefix : prefixes) {
    if (BeginsWith(upper, tlv::UpperCased(prefix))) return true;
  }
  return false;
}

}  // namespace

TlvFormerSuiteRemoval::TlvFormerSuiteRemoval(const TlvTables& tables, const XpString& formerFolder,
                                             const XpString& ownFolder)
    : tables_(tables),
      formerFolder_(formerFolder),
      ownFolder_(ownFolder),
      desktop_(FolderOf(kCsidlCommonDesktopDirectory)),
      programs_(FolderOf(kCsidlCommonPrograms)),
      programFiles_(FolderOf(kCsidlProgramFiles)) {}

void TlvFormerSuiteRemoval::Run() {
  // Every step below would work on paths at the root.
  if (formerFolder_.IsEmpty()) return;
  RemoveDesktopShortcuts();
  RemoveDesktopSupportLinks();
  RemoveDesktopSupportShortcuts();
  RemoveStartMenuShortcuts();
  RemoveStartMenuSupportLinks();
  RemoveStartMenuHelpLinks();
  RemoveStartMenuSubFolders();
  RemoveCompanionFolders();
  RemoveInstallationEntries();
  RemoveInstallerInformation();
  RemoveFormerProductFolder();
  RemoveSuiteSubkeys();
  RemoveBrowserSettings();
  RemoveAccessorKey();
  RemoveSuiteKey();
  RemoveCompanionKeys();
  RemoveMusicTransferKeys();
  RemoveSharedLibraryCounts();
  RemoveUninstallKeys();
  RemoveFormerUninstallKey();
}

XpString TlvFormerSuiteRemoval::StartMenuFolder() const {
  return programs_.IsEmpty() ? XpString() : tlv::JoinBounded(programs_, tlv::kSuiteName);
}

void TlvFormerSuiteRemoval::RemoveShortcutsTo(const XpString& folder, const XpStringVector& targets) {
  if (folder.IsEmpty()) return;
  XpStringVector files;
  common_.FindFilesRecursive(folder, DesktopEntryShortcut::kPattern, files);
  for (const XpString& file : files) {
    XpString target;
    if (DesktopEntryShortcut(file).ResolveTarget(target) != 0) continue;
    if (ContainsAnyUpper(target, targets)) (void)common_.DeleteFiles(file);
  }
}

void TlvFormerSuiteRemoval::RemoveLinksTo(const XpString& folder, const XpStringVector& prefixes) {
  if (folder.IsEmpty()) return;
  XpStringVector files;
  common_.FindFilesRecursive(folder, DesktopEntryShortcut::kPattern, files);
  for (const XpString& file : files) {
    XpString address;
    if (DesktopEntryShortcut(file).ReadAddress(common_, address) != 0) continue;
    if (BeginsWithAnyUpper(address, prefixes)) (void)common_.DeleteFiles(file);
  }
}

void TlvFormerSuiteRemoval::RemoveDesktopShortcuts() { RemoveShortcutsTo(desktop_, tables_.desktopTargets); }

void TlvFormerSuiteRemoval::RemoveDesktopSupportLinks() { RemoveLinksTo(desktop_, tables_.supportPrefixes); }

void TlvFormerSuiteRemoval::RemoveDesktopSupportShortcuts() {
  if (formerFolder_.IsEmpty() || desktop_.IsEmpty()) return;
  const XpString support = tlv::UpperCased(formerFolder_ + u"/" + kSupportName);
  const XpString extension = tlv::UpperCased(XpString(u".") + kSupportExtension);
  XpStringVector files;
  common_.FindFilesRecursive(desktop_, DesktopEntryShortcut::kPattern, files);
  for (const XpString& file : files) {
    XpString target;
    if (DesktopEntryShortcut(file).ResolveTarget(target) != 0) continue;
    const XpString upper = tlv::UpperCased(target);
    if (Contains(upper, support) && Contains(upper, extension)) (void)common_.DeleteFiles(file);
  }
}

void TlvFormerSuiteRemoval::RemoveStartMenuShortcuts() {
  RemoveShortcutsTo(StartMenuFolder(), tables_.startMenuTargets);
}

void TlvFormerSuiteRemoval::RemoveStartMenuSupportLinks() {
  RemoveLinksTo(StartMenuFolder(), tables_.supportPrefixes);
}

void TlvFormerSuiteRemoval::RemoveStartMenuHelpLinks() {
  if (formerFolder_.IsEmpty()) return;
  XpStringVector pages;
  for (const XpString& page : tables_.startMenuHelpPages) {
    const XpString path = tlv::JoinBounded(formerFolder_, page);
    if (!path.IsEmpty()) pages.push_back(path);
  }
  RemoveLinksTo(StartMenuFolder(), pages);
}

void TlvFormerSuiteRemoval::RemoveStartMenuSubFolders() {
  const XpString folder = StartMenuFolder();
  if (folder.IsEmpty()) return;
  XpStringVector folders;
  common_.ListSubFolders(folder, folders, true);
  // Deepest first, and only empty folders go.
  for (const XpString& sub : folders) (void)XpSysCalls::Current().Rmdir(sub.ToMultiByte().CStr());
}

void TlvFormerSuiteRemoval::RemoveCompanionFolders() {
  // An empty name would be found in every folder's name.
  if (tables_.companionName.IsEmpty() || programs_.IsEmpty()) return;
  XpStringVector folders;
  common_.ListSubFolders(programs_, folders, false);
  for (const XpString& folder : folders) {
    if (Contains(XpPathGetLeafName(folder), tables_.companionName)) (void)common_.DeleteFiles(folder);
  }
}

void TlvFormerSuiteRemoval::RemoveInstallationEntries() {
  if (formerFolder_.IsEmpty()) return;
  for (const XpString& entry : tables_.installationEntries) {
    const XpString path = tlv::JoinBounded(formerFolder_, entry);
    if (!path.IsEmpty()) (void)common_.DeleteFiles(path);
  }
  // A user's own file keeps the folder.
  (void)XpSysCalls::Current().Rmdir(formerFolder_.ToMultiByte().CStr());
}

void TlvFormerSuiteRemoval::RemoveInstallerInformation() {
  if (programFiles_.IsEmpty()) return;
  const XpString folder = tlv::JoinBounded(programFiles_, kInstallerInfoFolder);
  if (folder.IsEmpty()) return;
  for (const XpString& code : tables_.installerInfoFolders) {
    const XpString path = tlv::JoinBounded(folder, code);
    if (!path.IsEmpty()) (void)common_.DeleteFiles(path);
  }
}

void TlvFormerSuiteRemoval::RemoveFormerProductFolder() {
  const XpString key = XpString(tlv::kUninstallKey) + u"\\" + tlv::kFormerProductCode;
  const XpString folder = tlv::ReadInstallLocation(common_, key);
  if (!guard_.AcceptsBeside(folder, {formerFolder_, ownFolder_})) return;
  (void)common_.DeleteFiles(folder);
}

void TlvFormerSuiteRemoval::RemoveSuiteSubkeys() {
  for (const XpString& subkey : tables_.suiteSubkeys) {
    (void)registry_.DeleteRegistryTree(XpString(tlv::kSuiteKey) + u"\\" + subkey);
  }
}

void TlvFormerSuiteRemoval::RemoveBrowserSettings() {
  const XpString suite = tlv::kSuiteKey;
  const XpString extPrograms = suite + kExtProgramKey;
  (void)registry_.DeleteValuesExcept(extPrograms, tables_.keptExtPrograms);
  if (common_.HasValue(XpRegistryRoot::kLocalMachine, extPrograms)) {
    (void)registry_.DeleteRegistryTree(suite + kBrowserKey, kExtProgramName);
    (void)registry_.DeleteAllValues(suite + kBrowserKey);
    (void)registry_.DeleteAllValues(suite);
    return;
  }
  (void)registry_.DeleteRegistryTree(suite + kBrowserKey);
}

void TlvFormerSuiteRemoval::RemoveAccessorKey() {
  (void)registry_.DeleteTreeIfLeaf(XpString(tlv::kSuiteKey) + kAccessorKey);
}

void TlvFormerSuiteRemoval::RemoveSuiteKey() { (void)registry_.DeleteTreeIfLeaf(tlv::kSuiteKey); }

void TlvFormerSuiteRemoval::RemoveCompanionKeys() {
  for (const XpString& key : tables_.companionKeys) {
    (void)registry_.DeleteRegistryTree(XpString(tlv::kMakerKey) + u"\\" + key);
  }
}

void TlvFormerSuiteRemoval::RemoveMusicTransferKeys() {
  for (const XpString& key : tables_.musicTransferKeys) {
    (void)registry_.DeleteRegistryTree(XpString(tlv::kMakerKey) + u"\\" + key);
  }
}

void TlvFormerSuiteRemoval::RemoveSharedLibraryCounts() {
  if (formerFolder_.IsEmpty()) return;
  for (const XpString& entry : tables_.sharedLibraries) {
    const XpString name = tlv::JoinBounded(formerFolder_, entry);
    if (!name.IsEmpty()) (void)common_.DeleteRegistryValue(tlv::kSharedDllsKey, name);
  }
}

void TlvFormerSuiteRemoval::RemoveUninstallKeys() {
  for (const XpString& code : tables_.uninstallCodes) {
    (void)registry_.DeleteRegistryTree(XpString(tlv::kUninstallKey) + u"\\" + code);
  }
}

void TlvFormerSuiteRemoval::RemoveFormerUninstallKey() {
  if (common_.HasSubKey(XpRegistryRoot::kLocalMachine, tlv::kFormerUninstallKey)) return;
  (void)common_.DeleteRegistryKey(tlv::kFormerUninstallKey);
}
