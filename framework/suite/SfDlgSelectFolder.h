#pragma once

#include <cstdint>
#include <vector>

#include "framework/ui/host/XfUiShown.h"
#include "platform/text/XpString.h"

class XfUiHost;

// Lets the user pick a folder through the host's folder picker and refuses
// the folders its rules rule out. Every rule is off (allowed) at
// construction; a setter with false turns its rule on.
class SfDlgSelectFolder {
 public:
  static constexpr size_t kMaxDriveTypes = 10;

  // host null: the program's host (XfUiHost::Instance).
  explicit SfDlgSelectFolder(XfUiHost* host);

  void SetCaption(const XpString& caption) { caption_ = caption; }
  void SetTitle(const XpString& title) { title_ = title; }
  void SetOkText(const XpString& okText) { okText_ = okText; }
  void SetInitialFolder(const XpString& folder) { initialFolder_ = folder; }
  const XpString& GetSelectedFolder() const { return selectedFolder_; }

  void SetAllowNewFolder(bool allow) { allowNewFolder_ = allow; }
  void SetGoBelowDomain(bool allow) { goBelowDomain_ = allow; }
  // Also turns the fixed-disk camera test on or off.
  void SetAllowCameraDrive(bool allow, bool testFixedDisks);
  void SetAllowNetworkFolder(bool allow) { allowNetworkFolder_ = allow; }
  void SetAllowDriveRoot(bool allow) { allowDriveRoot_ = allow; }
  void SetAllowHiddenFolder(bool allow) { allowHiddenFolder_ = allow; }
  void SetAllowProgramFiles(bool allow) { allowProgramFiles_ = allow; }
  void SetAllowWindowsFolder(bool allow) { allowWindowsFolder_ = allow; }
  void SetAllowReadOnlyFolder(bool allow) { allowReadOnlyFolder_ = allow; }
  void SetAllowSpecialFolder(bool allow) { allowSpecialFolder_ = allow; }
  void SetAllowSpecialFolderExtra(bool allow) { allowSpecialFolderExtra_ = allow; }
  void SetAllowCameraMemory(bool allow) { allowCameraMemory_ = allow; }
  void SetAllowProtectedFolder(bool allow) { allowProtectedFolder_ = allow; }
  // In UTF-16 units; 0 for no limit.
  void SetMaxPathLength(int32_t units) { maxPathLength_ = units; }
  // At most kMaxDriveTypes kXpDrive... values; a longer list leaves the
  // current one as it is. An empty list allows every type.
  void SetAllowedDriveTypes(const std::vector<uint32_t>& types);
  // Folders that may not be chosen, nor anything inside them.
  void SetExcludedFolders(const std::vector<XpString>& folders) { excludedFolders_ = folders; }
  // A second list kept beside the excluded folders; no rule reads it.
  void SetOtherFolders(const std::vector<XpString>& folders) { otherFolders_ = folders; }
  const std::vector<XpString>& GetOtherFolders() const { return otherFolders_; }

  bool AllowsNewFolder() const { return allowNewFolder_; }
  bool GoesBelowDomain() const { return goBelowDomain_; }

  // Runs the picker with the rules as its validator: 1 with the chosen
  // folder stored, 2 when the pick is cancelled or there is no host.
  int32_t DoModal();

  // The rules, in order, applied to path.
  XfFolderCheck CheckFolder(const XpString& path) const;
  XfFolderValidator Validator() const;

 private:
  XfFolderCheck CheckVolumeRules(const XpString& path) const;
  XfFolderCheck CheckPlaceRules(const XpString& path) const;
  XfFolderCheck CheckListRules(const XpString& path) const;

  XfUiHost* host_;
  XpString caption_;
  XpString title_;
  XpString okText_;
  XpString initialFolder_;
  XpString selectedFolder_;
  bool allowNewFolder_ = false;
  bool goBelowDomain_ = true;
  bool allowCameraDrive_ = true;
  bool allowNetworkFolder_ = true;
  bool allowDriveRoot_ = true;
  bool allowHiddenFolder_ = true;
  bool allowProgramFiles_ = true;
  bool allowWindowsFolder_ = true;
  bool allowReadOnlyFolder_ = true;
  bool allowSpecialFolder_ = true;
  bool allowSpecialFolderExtra_ = true;
  bool allowProtectedFolder_ = true;
  bool allowCameraMemory_ = true;
  bool testFixedDisks_ = true;
  std::vector<uint32_t> allowedDriveTypes_;
  int32_t maxPathLength_ = 0;
  std::vector<XpString> excludedFolders_;
  std::vector<XpString> otherFolders_;
};
