#include "accessor/app/ExclusionChecker.h"

#include <cstdio>

#include "framework/suite/SfAppMutexChecker.h"
#include "platform/text/XpStringA.h"

namespace {

// The application-mutex checker of this program is not shared by users.
constexpr bool kAppMutexCheckerGlobal = false;

// One line on standard error: a mutex that could not be made stops the
// work, and this tells that refusal apart from a running tool.
void ReportUncreatableMutex(const char16_t* name, XpResult result) {
  XpString line;
  if (line.Format(u"ExclusionChecker: cannot create the mutex \"%s\" (error 0x%04X); taking it as in use\n",
                  name, result) != kXpOk) {
    return;
  }
  std::fputs(line.ToMultiByte().CStr(), stderr);
  std::fflush(stderr);
}

// Creates the mutex into handle, not owned. True when this call made it;
// a failure to create is reported.
bool CreateNew(XpNamedObject& handle, const char16_t* name) {
  bool existed = false;
  const XpResult created = handle.CreateMutex(name, false, &existed);
  if (created != kXpOk) {
    ReportUncreatableMutex(name, created);
    return false;
  }
  return !existed;
}

}  // namespace

ExclusionChecker::ExclusionChecker()
    : appMutexChecker_(std::make_unique<SfAppMutexChecker>(kAppMutexCheckerGlobal)) {}

ExclusionChecker::~ExclusionChecker() {
  appMutexChecker_.reset();
  localImport_.Close();
  localExport_.Close();
  globalImport_.Close();
  globalExport_.Close();
  installer_.Close();
}

ExclusionResult ExclusionChecker::Check(int32_t direction) {
  if (!InstallerIsFree()) return kExclusionInstallerRunning;
  if (!appMutexChecker_->CheckApplicationMutex()) return kExclusionViewerRunning;
  if (!IsAbsent(kMaintenanceLocalMutexName)) return kExclusionMaintenanceLocal;
  if (!IsAbsent(kMaintenanceGlobalMutexName)) return kExclusionMaintenanceGlobal;
  if (!IsAbsent(kPortableLocalMutexName)) return kExclusionPortableLocal;
  if (!IsAbsent(kPortableGlobalMutexName)) return kExclusionPortableGlobal;
  return CheckOwnMutexes(direction);
}

bool ExclusionChecker::InstallerIsFree() {
  return SfAppMutexChecker::TestNamedMutex(kInstallerMutexName, &installer_);
}

bool ExclusionChecker::IsAbsent(const char16_t* name) {
  XpNamedObject probe;
  return CreateNew(probe, name);
}

bool ExclusionChecker::Claim(XpNamedObject& slot, const char16_t* name, int32_t direction,
                             int32_t keptFor) {
  if (!CreateNew(slot, name)) return false;
  if (direction != keptFor) slot.Close();
  return true;
}

ExclusionResult ExclusionChecker::CheckOwnMutexes(int32_t direction) {
  if (!Claim(localImport_, kLocalImportMutexName, direction, kExclusionDirectionImport)) {
    return kExclusionOwnLocalImport;
  }
  if (!Claim(localExport_, kLocalExportMutexName, direction, kExclusionDirectionExport)) {
    return kExclusionOwnLocalExport;
  }
  if (!Claim(globalImport_, kGlobalImportMutexName, direction, kExclusionDirectionImport)) {
    return kExclusionOwnGlobalImport;
  }
  if (!Claim(globalExport_, kGlobalExportMutexName, direction, kExclusionDirectionExport)) {
    return kExclusionOwnGlobalExport;
  }
  return kExclusionNone;
}
