#pragma once

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/tlvproc/TlvFolderGuard.h"
#include "installer-actions/tlvproc/TlvRegistryRemoval.h"
#include "installer-actions/tlvproc/TlvTables.h"
#include "platform/text/XpString.h"

// Takes the former suite off the machine in a fixed sequence of steps:
// its shortcuts, start-menu folders, files and folders, installer
// information, an older product's folder, its registry keys, shared-library
// counts and Uninstall keys. Every step ignores the failure of single items.
// Nothing of the removal is logged.
class TlvFormerSuiteRemoval {
 public:
  // formerFolder has passed the folder guard; ownFolder is the product's
  // own installation folder ("" when unknown).
  TlvFormerSuiteRemoval(const TlvTables& tables, const XpString& formerFolder, const XpString& ownFolder);

  // The whole sequence, in order.
  void Run();

  void RemoveDesktopShortcuts();         // 1
  void RemoveDesktopSupportLinks();      // 2
  void RemoveDesktopSupportShortcuts();  // 3
  void RemoveStartMenuShortcuts();       // 4
  void RemoveStartMenuSupportLinks();    // 5
  void RemoveStartMenuHelpLinks();       // 6
  void RemoveStartMenuSubFolders();      // 7
  void RemoveCompanionFolders();         // 8
  void RemoveInstallationEntries();      // 9
  void RemoveInstallerInformation();     // 10
  void RemoveFormerProductFolder();      // 11
  void RemoveSuiteSubkeys();             // 12
  void RemoveBrowserSettings();          // 13
  void RemoveAccessorKey();              // 14
  void RemoveSuiteKey();                 // 15
  void RemoveCompanionKeys();            // 16
  void RemoveMusicTransferKeys();        // 17
  void RemoveSharedLibraryCounts();      // 18
  void RemoveUninstallKeys();            // 19
  void RemoveFormerUninstallKey();       // 20

 private:
  // Deletes each application entry below folder whose target holds one of
  // the targets, ignoring case.
  void RemoveShortcutsTo(const XpString& folder, const XpStringVector& targets);
  // Deletes each link entry below folder whose address begins with one of
  // the prefixes, ignoring case.
  void RemoveLinksTo(const XpString& folder, const XpStringVector& prefixes);
  XpString StartMenuFolder() const;

  // Unlogged: made without an installer handle.
  InstallerCommonFunction common_{0};
  TlvRegistryRemoval registry_{common_};
  TlvFolderGuard guard_;
  const TlvTables& tables_;
  XpString formerFolder_;
  XpString ownFolder_;
  XpString desktop_;
  XpString programs_;
  XpString programFiles_;
};
