#pragma once

#include <functional>
#include <memory>
#include <string>

#include "accessor/task/K2CreatedFileList.h"
#include "accessor/task/K2ExporterWithResizeConfig.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"

// The converter that an export task drives while it prepares: it converts
// the configuration's exportable JPEG pictures into the temporary folder,
// points each converted item's file to write at its new file and lists
// that file in the task's created files. Stop, Pause and Resume come from
// the main thread while ConvertAll runs on the task's worker.
class IK2ExportConverter {
 public:
  virtual ~IK2ExportConverter() = default;

  // Final: a stopped converter converts nothing more.
  [[nodiscard]] virtual XpResult Stop() = 0;
  [[nodiscard]] virtual XpResult Pause() = 0;
  [[nodiscard]] virtual XpResult Resume() = 0;
  // kXpOk, or the first failure; items after a failure stay unconverted.
  [[nodiscard]] virtual XpResult ConvertAll() = 0;
  // The file and the reason of the failure that ended ConvertAll, as a
  // failure line names them; empty when none is known.
  virtual std::string ConversionFailure() const { return std::string(); }
};

// Makes the converter of one preparation from its configuration and the
// task's list of created files; null when it cannot be made.
using K2ExportConverterFactory = std::function<std::shared_ptr<IK2ExportConverter>(
    XpSharedPtr<K2ExporterWithResizeConfig> config,
    std::shared_ptr<K2CreatedFileList> createdFiles)>;
