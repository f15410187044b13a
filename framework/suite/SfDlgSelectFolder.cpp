#include "framework/suite/SfDlgSelectFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "framework/strings/XfStringLookup.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpNetworkPath.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/shell/XpSystemFolders.h"
#include "platform/text/XpUtf.h"
#include "platform/volume/XpDriveType.h"
#include "platform/volume/XpStorageDevice.h"
#include "platform/volume/XpVolume.h"

namespace {

constexpr int32_t kPicked = 1;
constexpr int32_t kCancelled = 2;
constexpr const char16_t* kDefaultTitleKey = u"FileBrowser/SelectFolder";

// Folders that programs are installed into, besides the running program's.
constexpr const char16_t* kProgramFolders[] = {u"/opt", u"/usr/local"};

constexpr int32_t kSpecialFolderKinds[] = {kXpFolderDocuments, kXpFolderPictures, kXpFolderVideos,
                                           kXpFolderMusic, kXpFolderDesktop};

// path is folder or lies inside it, case-sensitive on component boundaries.
bool LiesInside(const XpString& path, const XpString& folder) {
  if (folder.IsEmpty()) {
    return false;
  }
  const int relation = XpPathGetRelation(path, folder);
  return relation == kXpPathSame || relation == kXpPathInside;
}

XpString WithoutTrailingSlash(const XpString& path) {
  XpString trimmed = path;
  if (trimmed.GetLength() > 1) {
    XpPathRemoveTrailingBackslash(trimmed);
  }
  return trimmed;
}

bool IsMountPoint(const XpString& path) {
  if (WithoutTrailingSlash(path) == u"/") {
    return true;
  }
  XpString withSlash = path;
  XpPathAddTrailingBackslash(withSlash);
  return XpPathGetRoot(path) == withSlash;
}

// The user may change the folder's permissions: root, or its owner.
bool MayChangePermissions(const XpString& path) {
  const uid_t user = ::geteuid();
  if (user == 0) {
    return true;
  }
  struct stat info {};
  if (XpSysCalls::Current().Stat(XpUtf16ToUtf8(path.View()).c_str(), &info) != 0) {
    return false;
  }
  return info.st_uid == user;
}

bool IsOnCameraDrive(const XpString& path, bool testFixedDisks) {
  XpVolume volume(path);
  if (volume.IsRemovable()) {
    return true;
  }
  if (!testFixedDisks) {
    return false;
  }
  uint32_t bus = kXpStorageBusUnknown;
  const XpResult result = XpStorageDeviceGetVenIdAndProdId(XpPathGetRoot(path), &bus, nullptr, nullptr,
                                                           nullptr, nullptr, false);
  return XpSucceeded(result) && (bus == kXpStorageBusUsb || bus == kXpStorageBus1394);
}

// A component below the volume's root is hidden.
bool IsHiddenBelowRoot(const XpString& path) {
  XpString current = XpPathGetRoot(path);
  const XpString rest = XpPathRelativeToRoot(path);
  int32_t start = 0;
  while (start < rest.GetLength()) {
    int32_t end = rest.Find(kXpPathSeparator, start);
    if (end < 0) {
      end = rest.GetLength();
    }
    if (end > start) {
      current = XpPathJoin(current, rest.Mid(start, end - start));
      if (XpFileIsHidden(current)) {
        return true;
      }
    }
    start = end + 1;
  }
  return false;
}

bool IsProgramFolder(const XpString& path) {
  for (const char16_t* folder : kProgramFolders) {
    if (LiesInside(path, folder)) {
      return true;
    }
  }
  return LiesInside(path, WithoutTrailingSlash(XpGetSpecialFolder(kXpFolderProgramFolder, false)));
}

bool IsSpecialFolder(const XpString& path) {
  const XpString trimmed = WithoutTrailingSlash(path);
  return std::any_of(std::begin(kSpecialFolderKinds), std::end(kSpecialFolderKinds), [&](int32_t kind) {
    const XpString special = XpGetSpecialFolder(kind, false);
    return !special.IsEmpty() && WithoutTrailingSlash(special) == trimmed;
  });
}

}  // namespace

SfDlgSelectFolder::SfDlgSelectFolder(XfUiHost* host) : host_(host) {}

void SfDlgSelectFolder::SetAllowCameraDrive(bool allow, bool testFixedDisks) {
  allowCameraDrive_ = allow;
  testFixedDisks_ = testFixedDisks;
}

void SfDlgSelectFolder::SetAllowedDriveTypes(const std::vector<uint32_t>& types) {
  if (types.size() > kMaxDriveTypes) {
    return;
  }
  allowedDriveTypes_ = types;
}

int32_t SfDlgSelectFolder::DoModal() {
  XfUiHost* host = host_ != nullptr ? host_ : XfUiHost::Instance();
  if (host == nullptr) {
    return kCancelled;
  }
  const XpString title = title_.IsEmpty() ? XfGetString(kDefaultTitleKey) : title_;
  const std::optional<XpString> picked = host->PickFolder(title, caption_, okText_, initialFolder_, Validator());
  if (!picked) {
    return kCancelled;
  }
  selectedFolder_ = *picked;
  return kPicked;
}

XfFolderValidator SfDlgSelectFolder::Validator() const {
  return [this](const XpString& path) { return CheckFolder(path); };
}

XfFolderCheck SfDlgSelectFolder::CheckFolder(const XpString& path) const {
  if (!XpDirectoryExists(path)) {
    return XfFolderCheck::Refuse(u"The folder does not exist.");
  }
  const XfFolderCheck volume = CheckVolumeRules(path);
  if (!volume.ok) {
    return volume;
  }
  const XfFolderCheck place = CheckPlaceRules(path);
  if (!place.ok) {
    return place;
  }
  return CheckListRules(path);
}

XfFolderCheck SfDlgSelectFolder::CheckVolumeRules(const XpString& path) const {
  if (!allowCameraMemory_ && XpVolume(path).GetMediaKind() == kXpMediaBuiltInMemory) {
    return XfFolderCheck::Refuse(u"The folder is in a camera's built-in memory.");
  }
  if (!allowProtectedFolder_ && !MayChangePermissions(path)) {
    return XfFolderCheck::Refuse(u"You may not change the permissions of this folder.");
  }
  if (!allowCameraDrive_ && IsOnCameraDrive(path, testFixedDisks_)) {
    return XfFolderCheck::Refuse(u"The folder is on a removable or camera drive.");
  }
  if (!allowNetworkFolder_ && XpIsNetworkPath(path)) {
    return XfFolderCheck::Refuse(u"The folder is on a network drive.");
  }
  if (!allowDriveRoot_ && IsMountPoint(path)) {
    return XfFolderCheck::Refuse(u"The folder is the root of a drive.");
  }
  return XfFolderCheck::Ok();
}

XfFolderCheck SfDlgSelectFolder::CheckPlaceRules(const XpString& path) const {
  if (!allowHiddenFolder_ && IsHiddenBelowRoot(path)) {
    return XfFolderCheck::Refuse(u"The folder is hidden or lies in a hidden folder.");
  }
  if (!allowProgramFiles_ && IsProgramFolder(path)) {
    return XfFolderCheck::Refuse(u"The folder is a program folder.");
  }
  if (!allowWindowsFolder_ && XpIsSystemFolder(WithoutTrailingSlash(path))) {
    return XfFolderCheck::Refuse(u"The folder is a system folder.");
  }
  if (!allowReadOnlyFolder_ && !XpIsDirectoryWritable(path)) {
    return XfFolderCheck::Refuse(u"The folder cannot be written to.");
  }
  if (!allowSpecialFolder_ && IsSpecialFolder(path)) {
    return XfFolderCheck::Refuse(u"The folder is one of your personal folders.");
  }
  return XfFolderCheck::Ok();
}

XfFolderCheck SfDlgSelectFolder::CheckListRules(const XpString& path) const {
  if (!allowedDriveTypes_.empty()) {
    const uint32_t type = XpGetDriveType(path);
    const bool listed = std::find(allowedDriveTypes_.begin(), allowedDriveTypes_.end(), type) !=
                        allowedDriveTypes_.end();
    if (type == kXpDriveNoRootDir || !listed) {
      return XfFolderCheck::Refuse(u"The folder is on a drive of the wrong type.");
    }
  }
  for (const XpString& excluded : excludedFolders_) {
    if (LiesInside(path, WithoutTrailingSlash(excluded))) {
      return XfFolderCheck::Refuse(u"The folder may not be used here.");
    }
  }
  if (maxPathLength_ > 0 && path.GetLength() > maxPathLength_) {
    return XfFolderCheck::Refuse(u"The folder's path is too long.");
  }
  return XfFolderCheck::Ok();
}
