#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "framework/suite/ISfImporterModuleObserver.h"
#include "framework/suite/SfImporterModule.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The accessor key under the local machine and its HDD entry.
inline constexpr const char16_t* kSfAccessorKeyPath = u"Software/Kavo Corporation/Kavo Telvane/Accessor";
inline constexpr const char16_t* kSfHddAccessorName = u"HDD1";
inline constexpr const char16_t* kSfHddAccessorId = u"Accessor/HDD1";

// The suite's importer modules: those registered under the importer key in
// registry order, then the importer entries of the external programs list
// (group list 6), then the HDD accessor when it is installed. Keeps the DCF
// importer at hand, picks the module that answers best for an import, and
// keeps the DCF importer's destination folder. One thread at a time.
class SfImporterModuleManager {
 public:
  using Module = XpSharedPtr<SfImporterModule>;
  using Modules = std::vector<Module>;
  using SleepFunction = std::function<void(uint32_t milliseconds)>;

  static constexpr uint32_t kScorePasses = 3;
  static constexpr uint32_t kRetryPauseMs = 3333;

  // Loads every module (Reload).
  SfImporterModuleManager();
  SfImporterModuleManager(const SfImporterModuleManager&) = delete;
  SfImporterModuleManager& operator=(const SfImporterModuleManager&) = delete;
  virtual ~SfImporterModuleManager();

  // Loads the modules again; the result of reading the importer key.
  [[nodiscard]] XpResult Reload();
  // Appends a module per subkey of keyPath (local machine); the last one
  // named "DCF" in any case becomes the DCF module. kXpErrValueUnknownType
  // when the key cannot be opened.
  [[nodiscard]] XpResult LoadModules(const XpString& keyPath);

  Modules GetModules() const { return modules_; }
  Modules GetModulesWithSettings() const;
  // The first module whose id equals id without regard to case; null when
  // there is none.
  Module FindModule(const XpString& id) const;
  bool HasHDDAccessorModule() const;
  bool IsHDDAccessorInstalled() const;
  const Module& GetDCFModule() const { return dcfModule_; }

  // The DCF module's destination choice, with parentWindow (when not 0) as
  // its parent window. kXpErrFileNotFound without a DCF module.
  [[nodiscard]] XpResult SelectDestination(uint32_t parentWindow,
                                           ISfImporterModuleObserver* observer, bool modal);
  // The module with the highest score above 0 among those that serve a
  // device of deviceMask; ties keep the earlier module. A module that
  // cannot answer (a negative score) ends the pass, and the search starts
  // again after a pause, kScorePasses passes at most. Blocks meanwhile.
  Module FindBestModule(const XpString& scoreText, uint32_t deviceMask);

  // The DCF importer's destination folder under the application's registry
  // root; "" when it is not set.
  static XpString GetDCFImportDestDir();
  // kXpErrGeneric when the key cannot be opened, else the write's result.
  [[nodiscard]] static XpResult SetDCFImportDestDir(const XpString& folder);

  // For tests: replaces the pause between passes of FindBestModule.
  void SetSleepForTest(SleepFunction sleep) { sleep_ = std::move(sleep); }

 private:
  void AppendExternalModules();
  void AppendHddAccessor();
  void Pause(uint32_t milliseconds) const;

  Modules modules_;
  Module dcfModule_;
  Module hddAccessorModule_;
  SleepFunction sleep_;
};
