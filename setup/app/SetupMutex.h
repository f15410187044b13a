#pragma once

#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpString.h"

// setup's named mutexes, shared by every user of the machine.
inline constexpr const char16_t* kSetupBootstrapMutexName = u"Global\\KavoQMVBootstrapMutex";
inline constexpr const char16_t* kSetupInstallerMutexName = u"Global\\KavoQMVInstallerMutex";
inline constexpr const char16_t* kSetupViewerMutexName = u"Global\\KavoKorvexViewerMutex";

enum class SetupMutexOutcome {
  // Made new and owned; the handle is kept.
  kCreated,
  // Another process has it: no handle is kept.
  kExisted,
  // It could not be made: no handle is kept.
  kFailed,
};

// Creates the mutex initially owned into handle.
SetupMutexOutcome CreateSetupMutex(const XpString& name, XpNamedObject& handle);

// When the mutex can be opened, closes that probe and setup's own handle,
// without releasing ownership first; otherwise does nothing.
void ReleaseSetupMutex(const XpString& name, XpNamedObject& handle);
