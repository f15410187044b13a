#pragma once

#include <memory>

#include "accessor/app/K2AccessorConfiguration.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "framework/app/XfApplication.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The accessor's framework application object: one per process, made by
// CreateAccessorApplication and gone with DestroyAccessorApplication. The
// export runs inside it.
class K2AccessorApplication : public XfApplication {
 public:
  K2AccessorApplication();
  ~K2AccessorApplication() override;

  // Nothing to start; kXpOk.
  [[nodiscard]] XpResult Start(const XpString& argument) override;
  // Resets the configuration; kXpOk.
  [[nodiscard]] XpResult Stop(const XpString& argument) override;

  K2AccessorConfiguration& GetConfiguration() { return configuration_; }
  // The export's task manager, converting pictures with the resizing
  // exporter; it goes before the notification manager it posts to.
  K2ExportTaskManager& GetExportTaskManager() { return *exportTaskManager_; }
  // The import's task manager, likewise held for the application's life.
  K2ImportTaskManager& GetImportTaskManager() { return *importTaskManager_; }

 private:
  K2AccessorConfiguration configuration_;
  std::unique_ptr<K2ExportTaskManager> exportTaskManager_;
  std::unique_ptr<K2ImportTaskManager> importTaskManager_;
};

// The strings files, in search order, looked for in the program folder.
inline constexpr const char16_t* kK2StringsFileNames[] = {
    u"Strings.xml", u"PreviousBrowserStrings.xml", u"PreviousCommonStrings.xml"};
// Posted as an error notification when the strings files do not all load.
inline constexpr const char16_t* kK2StringsLoadFailedMessage = u"Can't load Strings.xml";
inline constexpr const char16_t* kK2RegistryBase = u"Software\\Kavo Corporation\\QMV";
inline constexpr const char16_t* kK2RegistrySub = u"Accessor/K2\\1.0";

// Makes the application and the global one, loads the strings files of
// programFolder (a missing file is an empty path in the list), sets the
// registry root and starts it. Null only when it cannot be allocated.
std::unique_ptr<K2AccessorApplication> CreateAccessorApplication(const XpString& programFolder);
// Stops the application, removes it as the global one and deletes it.
void DestroyAccessorApplication(std::unique_ptr<K2AccessorApplication> application);
