#include "setup/app/SetupMutex.h"

SetupMutexOutcome CreateSetupMutex(const XpString& name, XpNamedObject& handle) {
  bool existed = false;
  if (XpFailed(handle.CreateMutex(name, true, &existed))) {
    handle.Close();
    return SetupMutexOutcome::kFailed;
  }
  if (!existed) return SetupMutexOutcome::kCreated;
  handle.Close();
  return SetupMutexOutcome::kExisted;
}

void ReleaseSetupMutex(const XpString& name, XpNamedObject& handle) {
  XpNamedObject probe;
  if (XpFailed(probe.Open(name, XpNamedObjectKind::kMutex))) return;
  probe.Close();
  handle.Close();
}
