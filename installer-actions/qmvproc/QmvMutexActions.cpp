// The installer mutexes, the bootstrapper mutex and the semaphore of
// setup's preparing window.

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerError.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"

namespace {

constexpr const char16_t* kInstallerMutexName = u"Global\\KavoQMVInstallerMutex";
constexpr const char16_t* kViewerMutexName = u"Global\\KavoKorvexViewerMutex";
constexpr const char16_t* kBootstrapMutexName = u"Global\\KavoQMVBootstrapMutex";
constexpr const char16_t* kPrepareSemaphoreName = u"Global\\QMVSetupPrepareMsgSemaphore";
constexpr const char16_t* kReleaseTitle = u"QMV_ReleaseQMVMutex OpenMutex()";

// The mutexes that QMV_AliveQMVMutex holds for the rest of the process.
XpNamedObject& HeldInstallerMutex() {
  static XpNamedObject* const mutex = new XpNamedObject();
  return *mutex;
}

XpNamedObject& HeldViewerMutex() {
  static XpNamedObject* const mutex = new XpNamedObject();
  return *mutex;
}

const char16_t* FlagText(bool value) { return value ? u"True" : u"False"; }

// Creates a mutex owned by this thread; true when it already existed.
bool CreateOwned(XpNamedObject& mutex, const char16_t* name) {
  bool existed = false;
  if (XpFailed(mutex.CreateMutex(name, true, &existed))) return false;
  return existed;
}

// True when another process already has the installer or the viewer mutex.
// Otherwise both stay owned by this thread.
bool TakeInstallerMutexes() {
  XpNamedObject& installer = HeldInstallerMutex();
  if (CreateOwned(installer, kInstallerMutexName)) {
    installer.Close();
    return true;
  }
  XpNamedObject& viewer = HeldViewerMutex();
  if (CreateOwned(viewer, kViewerMutexName)) {
    viewer.Close();
    installer.Close();
    return true;
  }
  return false;
}

// The Win32 code that an open which failed reports.
uint32_t OpenErrorCode(XpResult result) {
  if (result == kXpErrFileNotFound) return kWin32FileNotFound;
  if (result == kXpErrAccessDenied) return kWin32AccessDenied;
  return kWin32GenFailure;
}

void ReleaseByName(InstallerCommonFunction& common, const char16_t* name, const char16_t* label) {
  XpNamedObject mutex;
  const XpResult opened = mutex.Open(name, XpNamedObjectKind::kMutex);
  XpString message;
  if (XpFailed(opened)) {
    (void)message.Format(u"%s Error\nGetLastError(): %d", label, OpenErrorCode(opened));
  } else {
    const int32_t released = XpSucceeded(mutex.ReleaseMutex()) ? 1 : 0;
    mutex.Close();
    (void)message.Format(u"%s\nRelease: %d\nClose: %d", label, released, 1);
  }
  common.Log(message, kReleaseTitle);
}

// True when another process owns the bootstrapper mutex.
bool BootstrapperRuns() {
  XpNamedObject mutex;
  bool existed = false;
  if (XpFailed(mutex.CreateMutex(kBootstrapMutexName, true, &existed)) || !existed) return false;
  if (mutex.Wait(kXpTryOnce) == kXpErrTimeout) return true;
  (void)mutex.ReleaseMutex();
  return false;
}

XpString FlagMessage(uint32_t setResult, bool answer) {
  XpString message;
  (void)message.Format(u"SetPropertyMsi Return : %d\nMutex Check: %d\nResult: %s", setResult, answer ? 1 : 0,
                       FlagText(answer));
  return message;
}

}  // namespace

extern "C" uint32_t QMV_AliveQMVMutex(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_AliveQMVMutex");
  log.HandleStart(install);
  const bool answer = TakeInstallerMutexes();
  const uint32_t result = common.SetPropertyMsi(install, u"QMVMUTEXCHECK_FLAG", FlagText(answer));
  log.HandleEnd(FlagMessage(result, answer));
  return 0;
}

extern "C" uint32_t QMV_ReleaseQMVMutex(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_ReleaseQMVMutex");
  log.HandleStart(install);
  ReleaseByName(common, kViewerMutexName, u"OpenMutex OLD");
  ReleaseByName(common, kInstallerMutexName, u"OpenMutex NEW");
  common.LogTitled(u"QMV_ReleaseQMVMutex End", u"QMV_ReleaseQMVMutex End");
  return 0;
}

extern "C" uint32_t QMV_LaunchBootstrapMutex(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_LaunchBootstrapMutex");
  log.HandleStart(install);
  const bool answer = BootstrapperRuns();
  const uint32_t result = common.SetPropertyMsi(install, u"LAUNCH_BOOTSTRAP_FLAG", FlagText(answer));
  log.HandleEnd(FlagMessage(result, answer));
  return 0;
}

extern "C" uint32_t QMV_ClosePreparingWindow(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_ClosePreparingWindow");
  log.MessageStart();
  XpNamedObject semaphore;
  if (XpFailed(semaphore.Open(kPrepareSemaphoreName, XpNamedObjectKind::kSemaphore))) {
    common.Log(u"OpenSemaphore() Fail", XpString());
  } else {
    common.Log(u"OpenSemaphore() Success", XpString());
    const bool released = XpSucceeded(semaphore.ReleaseSemaphore(1));
    common.Log(released ? u"ReleaseSemaphore() success" : u"ReleaseSemaphore() Fail", XpString());
    semaphore.Close();
  }
  log.MessageEnd();
  return 0;
}
