// The CD test, the settings-key grant, Knowndevices.dat, the install path
// and the delete of a named file.

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerError.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Kavo Corporation\\QMV\\GlobalSettings";
constexpr const char16_t* kProductKey = u"SOFTWARE\\Kavo Corporation\\QMV";
constexpr const char16_t* kKnownDevicesFile = u"Knowndevices.dat";
// The settings version is read into 522 bytes.
constexpr uint32_t kSettingsVersionUnits = 261;
// The install path is read into 260 units.
constexpr uint32_t kInstallPathUnits = 260;

// '1' when the package's folder lies on a CD-ROM volume, else '0'.
char16_t CheckCd(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString source;
  if (common.GetPropertyMsi(install, u"SourceDir", source) != 0) return u'0';
  const XpString root = XpPathGetRoot(source);
  XpString message;
  (void)message.Format(u"Installer drive: %s", root);
  common.Log(message, u"Installer drive");
  return !root.IsEmpty() && common.IsCdRomDrive(root) ? u'1' : u'0';
}

uint32_t GrantSettingsKey(InstallerCommonFunction& common) {
  char16_t version[kSettingsVersionUnits] = {};
  uint32_t type = 0;
  uint32_t size = sizeof(version);
  uint32_t result = common.QueryLocalMachineValue(kSettingsKey, u"CurrentVersion", &type, version, &size);
  if (result != 0) return result;
  XpString key;
  common.CreateTargetFilePath(kSettingsKey, version, key);
  // A key path too long to form must not become a grant on the root.
  if (key.IsEmpty()) return kWin32InvalidParameter;
  return common.ChangeRegistrySecurityEveryOne(XpRegistryRoot::kLocalMachine, key);
}

}  // namespace

extern "C" uint32_t QMV_CheckCDInstall(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CheckCDInstall");
  log.HandleStart(install);
  const char16_t answer[] = {CheckCd(common, install), u'\0'};
  XpString message;
  (void)message.Format(u"szCheckCDInstall: %s", answer);
  common.Log(message, u"CDorNotCD");
  const uint32_t result = common.SetPropertyMsi(install, u"CDINSTALL", answer);
  (void)message.Format(u"SetPropertyMsi Return: %d", result);
  log.HandleEnd(message);
  return 0;
}

extern "C" uint32_t QMV_ChengeRegistrySecurity(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_ChengeRegistrySecurity");
  log.HandleStart(install);
  const uint32_t result = GrantSettingsKey(common);
  XpString message;
  (void)message.Format(u"ChangeRegistrySecurityEveryOne Return: %d", result);
  log.HandleEnd(message);
  return 0;
}

extern "C" uint32_t QMV_CopyKnownDevicesDat(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CopyKnownDevicesDat");
  log.MessageStart();
  XpString installed;
  XpString source;
  if (common.GetPropertyMsi(install, u"APPLICATIONROOTDIRECTORY", installed) == 0 &&
      common.GetPropertyMsi(install, u"SourceDir", source) == 0) {
    XpString to;
    XpString from;
    common.CreateTargetFilePath(installed, kKnownDevicesFile, to);
    common.CreateTargetFilePath(source, kKnownDevicesFile, from);
    (void)common.CopyFiles(from, to);
  }
  log.MessageEnd();
  return 0;
}

extern "C" uint32_t QMV_GetQMVInstallPath(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_GetQMVInstallPath");
  log.MessageStart();
  char16_t path[kInstallPathUnits] = {};
  uint32_t type = 0;
  uint32_t size = sizeof(path);
  if (common.QueryLocalMachineValue(kProductKey, u"InstalledLocation", &type, path, &size) == 0) {
    (void)common.SetPropertyMsi(install, u"QMV_INSTALLPATH", path);
  }
  log.MessageEnd();
  return 0;
}

extern "C" uint32_t QMV_DeleteFile(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_DeleteFile");
  log.MessageStart();
  XpString path;
  if (common.GetPropertyMsi(install, u"QMV_INSTALL_DELETEFILE", path) == 0) (void)common.DeleteFiles(path);
  log.MessageEnd();
  return 0;
}

extern "C" uint32_t QMV_SelectCallFunction(MSIHANDLE /*install*/) { return 0; }
