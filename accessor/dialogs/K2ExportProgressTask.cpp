#include "accessor/dialogs/K2ExportProgressTask.h"

#include "accessor/task/K2ExportTaskManager.h"

// Each only sets a flag the export's thread reads; none can fail.
void K2ExportProgressTask::Pause() { (void)manager_.Pause(); }

void K2ExportProgressTask::Resume() { (void)manager_.Resume(); }

void K2ExportProgressTask::Stop() { (void)manager_.Stop(); }

uint64_t K2ExportProgressTask::GetExportableCount() const { return manager_.GetProcessedCount(); }
