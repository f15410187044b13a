#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/dialogs/DlgExportConfirm.h"
#include "accessor/dialogs/DlgModalProgress.h"
#include "accessor/dialogs/K2ExportProgressTask.h"
#include "accessor/settings/K2ExportConfig.h"
#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/suite/SfContentInfoXML.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char16_t* kConfirmTitleKey = u"UI/ExportConfirm/0-0";
constexpr const char16_t* kOnlySupportImagesKey = u"Messages/Errors/OnlySupportImages";
constexpr const char16_t* kLimitKey = u"Messages/Errors/CannotWriteMoreThanLimitedNumber";
constexpr const char16_t* kIncludingNoSupportKey = u"Messages/Informations/IncludingNoSupportImages";
constexpr const char16_t* kExportFailedKey = u"Messages/Informations/ExportFailed";
constexpr const char16_t* kExportCompletedKey = u"Messages/Informations/ExportCompleted";
// The exclusion check refused, or the progress ended without OK.
constexpr ExportResult kFlowRefused = kXpErrGeneric;

// "<what> (0xCODE)" and, when known, ": " and the file and the reason.
std::string FailureLine(const std::string& what, XpResult code, const std::string& detail) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04" PRIX32, code);
  std::string line = what + " (" + hex + ")";
  return detail.empty() ? line : line + ": " + detail;
}

// Why --yes could not confirm the export; empty when one camera was there
// to confirm it to.
std::string UnconfirmableReason(const K2CameraList& cameras) {
  if (cameras.empty()) {
    return "no camera is connected";
  }
  return cameras.size() > 1 ? "more than one camera is connected" : std::string();
}

}  // namespace

ExportResult CK2AccessorWinApp::ExportFlow(const K2AccessorCommandLineInfo& commandLine) {
  SetExportOutcome(K2ExportOutcome::kFailed);
  SetMode(kAccessorModeExportConfirm);
  if (!ReportExclusion(kExclusionDirectionExport)) {
    SetExportFailure("the export is refused: other work stands in the way", kFlowRefused);
    return kFlowRefused;
  }
  SfContentInfoXML content;
  const XpResult loaded = content.LoadFromFile(commandLine.m_strExportFile);
  if (loaded != kXpOk) {
    // No box tells of it: the line on standard error is all a terminal
    // user sees.
    SetExportFailure("the hand-over file " +
                         commandLine.m_strExportFile.ToMultiByte().ToStdString() +
                         " cannot be read",
                     loaded);
    return loaded;
  }
  K2ExportConfig config;
  static_cast<void>(config.Load());

  K2ExportTaskManager& manager = GetExportTaskManager();
  K2ExportProgressTask progressTask(manager);
  DlgModalProgress progress;
  progress.SetMode(DlgModalProgress::kModeExport);
  progress.SetTask(&progressTask);
  DlgExportConfirm confirm(manager, CreateMountTableSource());
  confirm.StartObserving();
  confirm.SetExportConfig(&config);
  confirm.SetTitle(XfGetString(kConfirmTitleKey));

  ExportResult result = manager.Start(config, content, &progress.GetProgress());
  uint32_t groupCount = 0;
  uint32_t itemCount = 0;
  manager.GetCounts(&groupCount, &itemCount);
  if (itemCount == 0) {
    // Stop only sets the cancel flag; it cannot fail.
    (void)manager.Stop();
    SetExportFailure(commandLine.m_strExportFile.ToMultiByte().ToStdString() +
                         " holds nothing that can be exported",
                     result);
    DoMessageBox(nullptr, XfGetString(kOnlySupportImagesKey), kXfMbOk);
    return result;
  }
  if (itemCount > kMaxExportItems) {
    // Stop only sets the cancel flag; it cannot fail.
    (void)manager.Stop();
    SetExportFailure(commandLine.m_strExportFile.ToMultiByte().ToStdString() + " holds " +
                     std::to_string(itemCount) + " items, more than one export takes");
    DoMessageBox(nullptr, XfFormatString(kLimitKey, static_cast<int32_t>(kMaxExportItems)), kXfMbIconExclamation);
    return result;
  }
  if (result == kK2ErrUnsupportedContents) {
    DoMessageBox(nullptr, XfGetString(kIncludingNoSupportKey), kXfMbOk);
    result = kXpOk;
  }

  confirm.SetGroupCount(groupCount);
  confirm.SetItemCount(itemCount);
  if (GetHost().RunModal(confirm) != kXfIdOk) {
    // Stop only sets the cancel flag; it cannot fail.
    (void)manager.Stop();
    // Told to confirm, the program could not: that is no cancel.
    const std::string reason = GetHost().IsYes() ? UnconfirmableReason(confirm.GetCameras()) : "";
    if (!reason.empty()) {
      SetExportFailure("the export was not confirmed: " + reason);
      return result;
    }
    SetExportOutcome(K2ExportOutcome::kCancelled);
    return result;
  }
  // The progress caption holds before the release: the released task may
  // report an error at once.
  SetMode(kAccessorModeExportProgress);
  result = manager.Interrupt();
  confirm.StopObserving();
  if (GetHost().RunModal(progress) != kXfIdOk) {
    SetExportFailure("the progress ended without OK", kFlowRefused);
    return kFlowRefused;
  }
  const XpResult status = manager.GetStatus();
  if (status != kXpOk) {
    SetExportFailure(FailureLine("the export to the camera failed", status, manager.GetFailureDetail()));
    return result;
  }
  if (manager.IsStopped()) {
    SetExportOutcome(K2ExportOutcome::kCancelled);
    return result;
  }
  if (progress.HasSkippedFiles()) {
    const std::string detail = manager.GetFailureDetail();
    SetExportFailure(detail.empty() ? "some files were not written to the camera" : detail);
    DoMessageBox(nullptr, XfGetString(kExportFailedKey), kXfMbIconInformation);
    return result;
  }
  DoMessageBox(nullptr, XfGetString(kExportCompletedKey), kXfMbIconInformation);
  SetExportOutcome(K2ExportOutcome::kCompleted);
  return result;
}
