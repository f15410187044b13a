#include "accessor/dialogs/K2ExportProgressTask.h"

#include "accessor/task/K2ExportTaskManager.h"

void K2ExportProgressTask::Pause() { manager_.Pause(); }

void K2ExportProgressTask::Resume() { manager_.Resume(); }

void K2ExportProgressTask::Stop() { manager_.Stop(); }

uint64_t K2ExportProgressTask::GetExportableCount() const { return manager_.GetProcessedCount(); }
