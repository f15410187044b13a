#include "installer-actions/qmvproc/InstallPathChecker.h"

#include <cstdlib>
#include <vector>

#include "installer-actions/common/InstallerSpecialFolders.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpNetworkPath.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/shell/XpSystemFolders.h"
#include "platform/system/XpSystemInfo.h"
#include "platform/volume/XpDriveType.h"
#include "platform/volume/XpStorageDevice.h"

namespace {

constexpr int32_t kOn = 1;
constexpr int32_t kOff = 0;
constexpr int32_t kMaxPathLength = 260;

// The protected data folders of the profile rule, in the order they are
// tried.
constexpr int32_t kProtectedFolders[] = {
    kCsidlPersonal,       kCsidlCommonDocuments, kCsidlMyPictures,  kCsidlMyVideo,
    kCsidlMyMusic,        kCsidlCommonPictures,  kCsidlCommonVideo, kCsidlCommonMusic,
    kCsidlDesktopDirectory, kCsidlCommonDesktopDirectory,
};

bool IsAbsolute(const XpString& path) { return !path.IsEmpty() && path.CStr()[0] == kXpPathSeparator; }

// path is folder or lies inside it, compared case-sensitively.
bool IsSameOrInside(const XpString& path, const XpString& folder) {
  if (folder.IsEmpty()) return false;
  const int relation = XpPathGetRelation(path, folder);
  return relation == kXpPathSame || relation == kXpPathInside;
}

XpString WithoutTrailingSeparator(const XpString& path) {
  XpString trimmed = path;
  if (trimmed.GetLength() > 1) XpPathRemoveTrailingBackslash(trimmed);
  return trimmed;
}

// Each level of path below "/", from the first component down to the path.
std::vector<XpString> LevelsOf(const XpString& path) {
  std::vector<XpString> levels;
  XpString level;
  std::u16string component;
  const std::u16string_view view = path.View();
  for (size_t i = 0; i <= view.size(); ++i) {
    if (i < view.size() && view[i] != kXpPathSeparator) {
      component += view[i];
      continue;
    }
    if (component.empty()) continue;
    level += u"/";
    level += XpString(component);
    levels.push_back(level);
    component.clear();
  }
  return levels;
}

// The folder that $KAVO_MACHINE_ROOT names, without a trailing '/'; "" when
// it is unset, not absolute or "/".
XpString MachineRoot() {
  const char* value = std::getenv(kXpMachineRootVariable);
  if (value == nullptr) return XpString();
  const XpString root = WithoutTrailingSeparator(XpString::FromUtf8(value));
  if (!IsAbsolute(root) || root == u"/") return XpString();
  return root;
}

bool IsWin9xPlatform() {
  uint32_t platform = 0;
  return XpSucceeded(XpGetOSVersion(&platform, nullptr, nullptr)) && platform == kXpPlatformWin32Windows;
}

}  // namespace

InstallPathChecker::InstallPathChecker()
    : probeCreation_(kOn),
      rejectRemovable_(kOn),
      rejectNetwork_(kOn),
      rejectDriveRoot_(kOn),
      rejectHidden_(kOn),
      rejectProgramFiles_(kOff),
      rejectWindowsFolder_(kOn),
      rejectUnwritable_(kOn),
      rejectReadOnly_(kOn),
      profileRule_(kOn),
      profileRuleWithTemp_(kOn),
      allowedDriveTypes_{static_cast<int32_t>(kXpDriveFixed)},
      allowedDriveTypeCount_(1),
      maxLength_(kMaxPathLength) {}

int32_t InstallPathChecker::Check(const XpString& path) const {
  constexpr int32_t kAccepted = 1;
  constexpr int32_t kRejected = 0;
  if (!IsAbsolute(path)) return kRejected;
  const bool exists = XpDirectoryExists(path);
  // The probe runs whatever its switch says.
  if (!exists && !CanBeCreated(path)) return kRejected;
  if (rejectRemovable_ != kOff && IsOnRemovableMedia(path)) return kRejected;
  if (rejectNetwork_ != kOff && XpIsNetworkPath(path)) return kRejected;
  if (rejectDriveRoot_ != kOff && path == XpPathGetRoot(path)) return kRejected;
  if (rejectHidden_ != kOff && exists && IsInHiddenFolder(path)) return kRejected;
  if (rejectProgramFiles_ != kOff && IsSameOrInside(path, XpGetSpecialFolder(kXpFolderProgramFiles, false))) {
    return kRejected;
  }
  if (rejectWindowsFolder_ != kOff && IsInWindowsFolder(path)) return kRejected;
  if (rejectUnwritable_ != kOff && exists && !XpIsDirectoryWritable(path)) return kRejected;
  if (rejectReadOnly_ != kOff && exists && XpFileIsReadOnly(path)) return kRejected;
  if (profileRule_ != kOff && !PassesProfileRule(path)) return kRejected;
  // Repeats the rule above, with the same answer.
  if (profileRuleWithTemp_ != kOff && !PassesProfileRule(path)) return kRejected;
  if (allowedDriveTypeCount_ > 0 && !HasAllowedDriveType(path)) return kRejected;
  if (maxLength_ > 0 && path.GetLength() > maxLength_) return kRejected;
  return kAccepted;
}

// Makes each missing level in turn, then removes every level it made,
// deepest first. A level that cannot be made ends the walk with false.
bool InstallPathChecker::CanBeCreated(const XpString& path) const {
  std::vector<XpString> made;
  bool creatable = true;
  for (const XpString& level : LevelsOf(path)) {
    if (XpDirectoryExists(level)) continue;
    if (XpFailed(XpCreateDirectory(level))) {
      creatable = false;
      break;
    }
    made.push_back(level);
  }
  for (auto it = made.rbegin(); it != made.rend(); ++it) {
    (void)XpRemoveDirectory(*it, false, false, false, nullptr);  // empty: nothing else lives there
  }
  return creatable;
}

bool InstallPathChecker::IsOnRemovableMedia(const XpString& path) const {
  if (path.IsEmpty()) return false;
  if (XpGetDriveType(path) == kXpDriveRemovable) return true;
  uint32_t platform = 0;
  if (XpFailed(XpGetOSVersion(&platform, nullptr, nullptr))) return false;
  uint32_t bus = kXpStorageBusUnknown;
  if (XpFailed(XpStorageDeviceGetVenIdAndProdId(XpPathGetRoot(path), &bus, nullptr, nullptr, nullptr, nullptr,
                                                true))) {
    return false;
  }
  if (bus == kXpStorageBusUsb || bus == kXpStorageBus1394) return true;
  return platform == kXpPlatformWin32Windows && bus == kXpStorageBusPcCard;
}

// The path or a parent of it below its volume's root is hidden.
bool InstallPathChecker::IsInHiddenFolder(const XpString& path) const {
  const XpString root = XpPathGetRoot(path);
  XpString level = path;
  while (!level.IsEmpty()) {
    XpString withSeparator = level;
    XpPathAddTrailingBackslash(withSeparator);
    if (withSeparator == root) return false;
    if (XpFileIsHidden(WithoutTrailingSeparator(level))) return true;
    level = XpPathGetDirectory(level);
  }
  return false;
}

// The system folders, taken below the machine root. On the Win9x platform
// the desktops inside them stay allowed.
bool InstallPathChecker::IsInWindowsFolder(const XpString& path) const {
  const XpString machineRoot = MachineRoot();
  bool inside = false;
  for (const XpString& folder : XpSystemFolders()) {
    if (IsSameOrInside(path, machineRoot + folder)) {
      inside = true;
      break;
    }
  }
  if (!inside) return false;
  if (!IsWin9xPlatform()) return true;
  return !IsSameOrInside(path, InstallerGetSpecialFolder(kCsidlDesktopDirectory, false)) &&
         !IsSameOrInside(path, InstallerGetSpecialFolder(kCsidlCommonDesktopDirectory, false));
}

// Inside the profiles root, only the temporary folder is allowed, and never
// a protected data folder.
bool InstallPathChecker::PassesProfileRule(const XpString& path) const {
  const XpString profile = InstallerGetSpecialFolder(kCsidlProfile, false);
  if (profile.IsEmpty()) return true;
  const XpString profilesRoot = XpPathGetDirectory(profile);
  if (profilesRoot.IsEmpty() || !IsSameOrInside(path, profilesRoot)) return true;
  for (const int32_t csidl : kProtectedFolders) {
    if (IsSameOrInside(path, InstallerGetSpecialFolder(csidl, false))) return false;
  }
  if (profileRuleWithTemp_ == kOff) return false;
  const XpString temp = WithoutTrailingSeparator(XpGetSpecialFolder(kXpFolderTemp, false));
  return IsSameOrInside(path, temp);
}

bool InstallPathChecker::HasAllowedDriveType(const XpString& path) const {
  const int32_t type = static_cast<int32_t>(XpGetDriveType(path));
  if (type == static_cast<int32_t>(kXpDriveNoRootDir)) return false;
  for (int32_t i = 0; i < allowedDriveTypeCount_ && i < kMaxAllowedDriveTypes; ++i) {
    if (allowedDriveTypes_[i] == type) return true;
  }
  return false;
}
