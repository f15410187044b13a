#include "accessor/app/ExclusionChecker.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "framework/suite/SfAppMutexChecker.h"
#include "platform/text/XpStringA.h"

namespace {

// The application-mutex checker of this program is not shared by users.
constexpr bool kAppMutexCheckerGlobal = false;

constexpr const char16_t* kDiskFullKey = u"Messages/Errors/DiskFull";
constexpr const char16_t* kReadOnlyKey = u"Messages/Errors/CannotCreateFolderBecauseReadOnly";
constexpr const char16_t* kUnknownErrorKey = u"Messages/Errors/UnkownError";

// One line on standard error: a mutex that could not be made stops the
// work, and this tells that refusal apart from a running tool, with the
// lock folder or file and the reason when a system call failed.
void ReportUncreatableMutex(const ExclusionChecker::CreateFailure& failure) {
  XpString line;
  if (line.Format(u"ExclusionChecker: cannot create the mutex \"%s\" (error 0x%04X)", failure.name,
                  failure.result) != kXpOk) {
    return;
  }
  std::string text(line.ToMultiByte().View());
  if (!failure.cause.Empty()) text += ": " + XpDescribeSysFailure(failure.cause);
  text += "; taking it as in use\n";
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
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
  createFailure_ = CreateFailure();
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

const char16_t* ExclusionChecker::CreateFailureMessageKey(const CreateFailure& failure) {
  if (failure.result == kXpErrDiskFull) return kDiskFullKey;
  if (failure.cause.error == EROFS) return kReadOnlyKey;
  return kUnknownErrorKey;
}

bool ExclusionChecker::CreateNew(XpNamedObject& handle, const char16_t* name) {
  XpClearSysFailure();
  bool existed = false;
  const XpResult created = handle.CreateMutex(name, false, &existed);
  if (created != kXpOk) {
    createFailure_ = CreateFailure{name, created, XpLastSysFailure()};
    ReportUncreatableMutex(createFailure_);
    return false;
  }
  return !existed;
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
