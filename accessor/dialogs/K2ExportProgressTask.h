#pragma once

#include <cstdint>

#include "accessor/dialogs/IK2ProgressTask.h"

class K2ExportTaskManager;

// The export task manager as the task of a progress window.
class K2ExportProgressTask final : public IK2ProgressTask {
 public:
  // manager must outlive this object.
  explicit K2ExportProgressTask(K2ExportTaskManager& manager) : manager_(manager) {}

  void Pause() override;
  void Resume() override;
  void Stop() override;
  uint64_t GetExportableCount() const override;

 private:
  K2ExportTaskManager& manager_;
};
