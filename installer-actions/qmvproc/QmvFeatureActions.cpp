// The language, desktop-shortcut and work-around features.

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "installer-actions/qmvproc/QmvLanguage.h"

namespace {

struct WorkAround {
  const char16_t* flag;
  const char16_t* feature;
};

constexpr WorkAround kWorkArounds[] = {
    {u"WORKAROUND_1.1.02_FLAG", u"WORKAROUND_1.1.02_Feature"},
    {u"WORKAROUND_1.1.03_FLAG", u"WORKAROUND_1.1.03_Feature"},
    {u"WORKAROUND_2.0.11_FLAG", u"WORKAROUND_2.0.11_Feature"},
};

}  // namespace

extern "C" uint32_t QMV_SetFeatureSelectedLanguage(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_SetFeatureSelectedLanguage");
  log.HandleStart(install);
  XpString lcid;
  uint32_t result = common.GetPropertyMsi(install, u"EMBEDDED", lcid);
  if (result == 0) {
    const XpString feature = XpString(QmvLanguageOf(lcid).code) + u"_Feature";
    result = common.SetFeatureStateMsi(install, feature, kMsiStateLocal);
  }
  XpString message;
  (void)message.Format(u"Return: %d", result);
  log.HandleEnd(message);
  return 0;
}

extern "C" uint32_t QMV_SetFeatureDesktopShortcut(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_SetFeatureDesktopShortcut");
  log.HandleStart(install);
  (void)common.SetFeatureStateFromMsiProperty(install, u"DTSHORTCUTS_CREATE_FLAG", u"DesktopShortcuts_Feature", u"1");
  log.HandleEnd(QmvActionLog::HandleMessage(install));
  return 0;
}

extern "C" uint32_t QMV_SetFeatureWorkAround(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_SetFeatureWorkAround");
  log.HandleStart(install);
  for (const WorkAround& workAround : kWorkArounds) {
    if (common.SetFeatureStateFromMsiProperty(install, workAround.flag, workAround.feature, u"True") != 0) break;
  }
  log.HandleEnd(QmvActionLog::HandleMessage(install));
  return 0;
}
