#include "setup/launch/SetPackageSourceList.h"

#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "setup/launch/InstalledProduct.h"

namespace {

constexpr const char16_t* kMediaSubkey = u"\\SourceList\\Media";
constexpr const char16_t* kMediaValue = u"MediaPackage";
constexpr const char16_t* kDataFolder = u"Data";
constexpr uint32_t kMediaAccess = XpRegistry::kAccessRead | XpRegistry::kAccessWrite | XpRegistry::kAccessView64;

}  // namespace

XpString SetupMediaPath(const XpString& workingFolder) {
  XpString media = XpString(u"/") + XpPathRelativeToRoot(XpPathJoin(workingFolder, kDataFolder));
  XpPathAddTrailingBackslash(media);
  return media;
}

bool SetPackageSourceList(const XpString& target, const XpString& workingFolder) {
  if (target != kSetupSourceListTarget) return false;
  if (!IsMachineKeyPresent(kSetupInstallerProductKey)) return false;
  XpRegistry media;
  if (XpFailed(media.Open(XpString(kSetupInstallerProductKey) + kMediaSubkey, XpRegistry::kRootLocalMachine,
                          kMediaAccess))) {
    return false;
  }
  return XpSucceeded(media.SetString(kMediaValue, SetupMediaPath(workingFolder)));
}
