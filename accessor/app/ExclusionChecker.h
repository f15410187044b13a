#pragma once

#include <cstdint>
#include <memory>

#include "platform/fs/XpSysFailure.h"
#include "platform/sync/XpNamedObject.h"

class SfAppMutexChecker;

// What stands in the way of an import or export; the first hit of Check.
enum ExclusionResult : int32_t {
  kExclusionOwnLocalImport = 0,
  kExclusionOwnGlobalImport = 1,
  kExclusionOwnLocalExport = 2,
  kExclusionOwnGlobalExport = 3,
  kExclusionMaintenanceLocal = 4,
  kExclusionMaintenanceGlobal = 5,
  kExclusionPortableLocal = 6,
  kExclusionPortableGlobal = 7,
  kExclusionViewerRunning = 8,
  kExclusionInstallerRunning = 9,
  kExclusionNone = 10,
};

// The directions of Check: the import side (import and salvage) and export.
inline constexpr int32_t kExclusionDirectionImport = 0;
inline constexpr int32_t kExclusionDirectionExport = 1;

// Decides, over named mutexes, whether the installer, the suite viewer, the
// maintenance or portable tools, or another import or export of this
// program stands in the way. The own mutexes of the running direction stay
// claimed, and the installer and viewer handles open, while it lives.
class ExclusionChecker {
 public:
  static constexpr const char16_t* kInstallerMutexName = u"Global\\KavoQMVInstallerMutex";
  static constexpr const char16_t* kMaintenanceLocalMutexName =
      u"KavoKorvexViewerBuiltInAccessorMaintenanceMutexLocal";
  static constexpr const char16_t* kMaintenanceGlobalMutexName =
      u"Global\\KavoKorvexViewerBuiltInAccessorMaintananceMutexGlobal";
  static constexpr const char16_t* kPortableLocalMutexName =
      u"KavoKorvexViewerBuiltInAccessorPortableMutexLocal";
  static constexpr const char16_t* kPortableGlobalMutexName =
      u"Global\\KavoKorvexViewerBuiltInAccessorPortableMutexGlobal";
  static constexpr const char16_t* kLocalImportMutexName = u"KavoKorvexViewerK2AccessorMutexLocalImport";
  static constexpr const char16_t* kLocalExportMutexName = u"KavoKorvexViewerK2AccessorMutexLocalExport";
  static constexpr const char16_t* kGlobalImportMutexName =
      u"Global\\KavoKorvexViewerK2AccessorMutexGlobalImport";
  static constexpr const char16_t* kGlobalExportMutexName =
      u"Global\\KavoKorvexViewerK2AccessorMutexGlobalExport";

  ExclusionChecker();
  ExclusionChecker(const ExclusionChecker&) = delete;
  ExclusionChecker& operator=(const ExclusionChecker&) = delete;
  virtual ~ExclusionChecker();

  // A mutex of the existence or claim tests that could not be made, which
  // fails its test: its name, the result and the system call that failed
  // (empty when none did).
  struct CreateFailure {
    const char16_t* name = nullptr;
    XpResult result = kXpOk;
    XpSysFailure cause;

    bool Empty() const { return result == kXpOk; }
  };

  // Runs the tests in order and answers the first that fails, else
  // kExclusionNone. direction is kExclusionDirectionImport or
  // kExclusionDirectionExport; with any other no own mutex stays claimed.
  ExclusionResult Check(int32_t direction);

  // Why the last Check failed when no other program stood in the way but a
  // mutex could not be made; empty otherwise.
  const CreateFailure& GetCreateFailure() const { return createFailure_; }
  // The message that tells of it: the disk is full, the folder is
  // read-only, else the unknown error.
  static const char16_t* CreateFailureMessageKey(const CreateFailure& failure);

 private:
  // True unless another process owns the installer mutex; the handle stays
  // open unless it does.
  bool InstallerIsFree();
  // True when nobody has the mutex open; keeps nothing. A mutex that cannot
  // be made counts as existing, is kept as the create failure and reported
  // on standard error.
  bool IsAbsent(const char16_t* name);
  // True when this process made the mutex; the handle stays in slot, and is
  // closed again at once when the mutex is made for the other direction.
  bool Claim(XpNamedObject& slot, const char16_t* name, int32_t direction, int32_t keptFor);
  // Creates the mutex into handle, not owned. True when this call made it.
  bool CreateNew(XpNamedObject& handle, const char16_t* name);
  ExclusionResult CheckOwnMutexes(int32_t direction);

  XpNamedObject localImport_;
  XpNamedObject localExport_;
  XpNamedObject globalImport_;
  XpNamedObject globalExport_;
  XpNamedObject installer_;
  std::unique_ptr<SfAppMutexChecker> appMutexChecker_;
  CreateFailure createFailure_;
};
