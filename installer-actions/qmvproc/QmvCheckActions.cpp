#include "installer-actions/qmvproc/QmvCheckActions.h"

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/qmvproc/InstallPathChecker.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "installer-actions/qmvproc/WdMInitCheck.h"

namespace {

constexpr const char16_t* kRejected = u"1";
constexpr const char16_t* kAccepted = u"0";

}  // namespace

uint32_t QmvCheckInstallPathAction(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CheckInstallPath");
  log.HandleStart(install);
  const char16_t* answer = kRejected;
  XpString path;
  if (common.GetPropertyMsi(install, u"APPLICATIONROOTDIRECTORY", path) == 0) {
    common.CreateTargetFilePath(path, XpString(), path);
    const InstallPathChecker checker;
    if (checker.Check(path) == 1) answer = kAccepted;
  }
  const uint32_t result = common.SetPropertyMsi(install, u"INSRALLDIRCHECK_FLAG", answer);
  XpString message;
  (void)message.Format(u"SetPropertyMsi Return: %d", result);
  log.HandleEnd(message);
  return 0;
}

uint32_t QmvCheckSupportIMAPIv2Action(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CheckSupportIMAPIv2h");
  log.HandleStart(install);
  const bool supported = WdMInitCheck::WdMInitCheckLib_IsSupportIMAPIv2();
  XpString message;
  (void)message.Format(u"Support IMAPIv2: %d", supported ? 1 : 0);
  common.LogTitled(u"WdMInitCheckLib_IsSupportIMAPIv2 Result", message);
  (void)common.SetPropertyMsi(install, u"INSTALLED_IMAPI_FLAG", supported ? u"True" : u"False");
  common.Log(u"QMV_CheckSupportIMAPIv2h End", XpString());
  return 0;
}
