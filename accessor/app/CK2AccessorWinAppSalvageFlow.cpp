#include <string>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/dialogs/DlgModalProgress.h"
#include "accessor/import/K2ImportConfig.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/settings/K2SalvageConfig.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char16_t* kSalvageStartKey = u"Messages/Confirms/SalvageStart";
constexpr uint32_t kConfirmStyle = kXfMbOkCancel | kXfMbIconQuestion;

}  // namespace

K2ExportOutcome CK2AccessorWinApp::SalvageFlow(const XpString& cameraRoot) {
  SetMode(kAccessorModeSalvageReport);
  if (!ReportExclusion(kExclusionDirectionImport)) {
    WriteFailureLine("the salvage is refused: other work stands in the way");
    return K2ExportOutcome::kFailed;
  }
  if (!IsFolderOnMountedVolume(cameraRoot)) {
    WriteFailureLine("the camera root " + cameraRoot.ToMultiByte().ToStdString() +
                     " is not a folder on a mounted volume");
    return K2ExportOutcome::kFailed;
  }
  K2ImportConfig importConfig;
  static_cast<void>(importConfig.Load());
  K2SalvageConfig config;
  config.SetCameraRoot(cameraRoot);
  config.SetDestination(importConfig.GetDestDir());

  K2ImportTaskManager& manager = GetImportTaskManager();
  DlgModalProgress progress;
  progress.SetMode(DlgModalProgress::kModeSalvage);
  progress.SetTask(&manager);

  const XpResult prepared = manager.PrepareSalvage(config, &progress.GetProgress());
  if (prepared != kXpOk) {
    ShowTaskError(prepared);
    WriteFailureLine("the salvage of " + cameraRoot.ToMultiByte().ToStdString() + " cannot start",
                     prepared);
    return K2ExportOutcome::kFailed;
  }
  const int32_t fileCount = static_cast<int32_t>(manager.GetFileSizes().size());
  const XpString question = XfFormatString(kSalvageStartKey, fileCount, config.GetDestination());
  if (DoMessageBox(nullptr, question, kConfirmStyle) != kXfIdOk) {
    return K2ExportOutcome::kCancelled;
  }
  SetMode(kAccessorModeSalvageProgress);
  const XpResult started = manager.StartSalvage();
  if (started != kXpOk) {
    ShowTaskError(started);
    WriteFailureLine("the salvage of " + cameraRoot.ToMultiByte().ToStdString() + " cannot start",
                     started);
    return K2ExportOutcome::kFailed;
  }
  const int32_t shown = GetHost().RunModal(progress);
  static_cast<void>(manager.WaitUntilFinished());
  const XpResult result = manager.GetSalvageResult();
  if (manager.IsStopRequestedByUser() || result == kXpErrStopped) {
    return K2ExportOutcome::kCancelled;
  }
  if (shown != kXfIdOk) {
    WriteFailureLine("the progress ended without OK");
    return K2ExportOutcome::kFailed;
  }
  if (result != kXpOk) {
    WriteFailureLine("the salvage of " + cameraRoot.ToMultiByte().ToStdString() + " failed",
                     result);
    return K2ExportOutcome::kFailed;
  }
  return manager.IsCompleted() ? K2ExportOutcome::kCompleted : K2ExportOutcome::kCancelled;
}
