#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/dialogs/DlgModalProgress.h"
#include "accessor/dialogs/K2ProgressTexts.h"
#include "accessor/import/K2ImportConfig.h"
#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/suite/SfContentInfoXML.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char16_t* kImportStartKey = u"Messages/Confirms/ImportStart";
constexpr const char16_t* kImportStartAndRemoveKey = u"Messages/Confirms/ImportStartAndRemove";
constexpr uint32_t kConfirmStyle = kXfMbOkCancel | kXfMbIconQuestion;
// The import's side file of a favourite content: listed in the record, but
// not a copy of a camera file.
constexpr const char16_t* kSideFileExtension = u".modd";
// How long one wait for the preparation lasts before it is asked again.
constexpr uint32_t kPreparationWaitSeconds = 1;

// text, the code, and the failing system call with its reason when one was
// recorded: "... (0xC000): fsync /cam/DBFILES.tmp/XDB.JNT: Input/output error".
std::string FailureText(const std::string& text, XpResult code, const XpSysFailure& cause) {
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%04" PRIX32, code);
  std::string line = text + " (" + hex + ")";
  if (!cause.Empty()) {
    line += ": " + XpDescribeSysFailure(cause);
  }
  return line;
}

// How many items were skipped, and the first one's file and cause.
std::string SkippedItemsText(uint32_t count, const K2ImportTaskManager::ItemFailure& first) {
  const std::string file = first.file.ToMultiByte().ToStdString();
  const std::string text = count == 1 ? "1 item was not imported: " + file
                                      : std::to_string(count) + " items were not imported, the first: " + file;
  return FailureText(text, first.code, first.cause);
}

bool HasContent(const XpString& path) { return !path.IsEmpty() && XpGetFileSize(path.CStr()) > 0; }

// Waits for the manager's worker whatever way the flow leaves: the worker
// reports to the progress window, which must outlive it.
class WorkerJoin {
 public:
  explicit WorkerJoin(K2ImportTaskManager& manager) : manager_(manager) {}
  WorkerJoin(const WorkerJoin&) = delete;
  WorkerJoin& operator=(const WorkerJoin&) = delete;
  ~WorkerJoin() { static_cast<void>(manager_.WaitUntilFinished()); }

 private:
  K2ImportTaskManager& manager_;
};

K2ImportTaskManager::Preparation WaitUntilPrepared(K2ImportTaskManager& manager) {
  K2ImportTaskManager::Preparation preparation = manager.WaitForPreparation(kPreparationWaitSeconds);
  while (preparation.state == K2ImportTaskManager::PreparationState::kPreparing) {
    preparation = manager.WaitForPreparation(kPreparationWaitSeconds);
  }
  return preparation;
}

}  // namespace

bool CK2AccessorWinApp::IsFolderOnMountedVolume(const XpString& path) {
  return !path.IsEmpty() && XpDirectoryExists(path) && K2IsDestinationPresent(XpPathGetRoot(path));
}

void CK2AccessorWinApp::ShowTaskError(XpResult code) {
  const K2ProgressError error = K2ProgressErrorFor(code);
  DoMessageBox(nullptr, XfGetString(error.key), error.style);
}

K2ExportOutcome CK2AccessorWinApp::ImportFlow(const XpString& importPath) {
  SetMode(kAccessorModeImportConfirm);
  if (!ReportExclusion(kExclusionDirectionImport)) {
    WriteFailureLine("the import is refused: other work stands in the way");
    return K2ExportOutcome::kFailed;
  }
  K2ImportConfig config;
  static_cast<void>(config.Load());
  if (!IsFolderOnMountedVolume(importPath)) {
    WriteFailureLine("the import path " + importPath.ToMultiByte().ToStdString() +
                     " is not a folder on a mounted volume");
    return K2ExportOutcome::kFailed;
  }
  config.SetSourcePath(importPath);

  K2ImportTaskManager& manager = GetImportTaskManager();
  DlgModalProgress progress;
  progress.SetMode(DlgModalProgress::kModeImport);
  progress.SetTask(&manager);
  const WorkerJoin join(manager);

  // The line already holds the cause: a suffix of this thread's own record
  // would only repeat or mislead.
  const auto writeFailure = [this](const std::string& text, XpResult code, const XpSysFailure& cause) {
    XpClearSysFailure();
    WriteFailureLine(FailureText(text, code, cause));
  };
  const std::string failed = "the import of " + importPath.ToMultiByte().ToStdString() + " failed";

  XpClearSysFailure();
  const XpResult started = manager.StartImport(config, &progress.GetProgress());
  if (started != kXpOk) {
    const XpSysFailure cause = XpLastSysFailure();
    ShowTaskError(started);
    if (started == kXpErrPathNotFound) {
      writeFailure("the import cannot start: the destination folder " +
                       config.GetDestDir().ToMultiByte().ToStdString() +
                       " is not an existing folder",
                   started, cause);
    } else {
      writeFailure("the import cannot start", started, cause);
    }
    return K2ExportOutcome::kFailed;
  }
  const K2ImportTaskManager::Preparation preparation = WaitUntilPrepared(manager);
  if (preparation.state == K2ImportTaskManager::PreparationState::kFailed) {
    ShowTaskError(preparation.code);
    if (preparation.code == kK2ErrNothingToImport) {
      return K2ExportOutcome::kCompleted;
    }
    writeFailure(failed, preparation.code, manager.GetRunFailure());
    return K2ExportOutcome::kFailed;
  }

  const char16_t* confirmKey = config.GetRemoveAfterImport() ? kImportStartAndRemoveKey : kImportStartKey;
  const XpString question =
      XfFormatString(confirmKey, static_cast<int32_t>(preparation.itemCount), config.GetDestDir());
  if (DoMessageBox(nullptr, question, kConfirmStyle) != kXfIdOk) {
    manager.Stop();
    return K2ExportOutcome::kCancelled;
  }
  // The progress caption holds before the release: the run may report an
  // error at once.
  SetMode(kAccessorModeImportProgress);
  static_cast<void>(manager.Confirm());
  const int32_t shown = GetHost().RunModal(progress);
  const XpResult result = manager.WaitUntilFinished();
  if (manager.IsStopRequestedByUser()) {
    return K2ExportOutcome::kCancelled;
  }
  if (shown != kXfIdOk) {
    WriteFailureLine("the progress ended without OK");
    return K2ExportOutcome::kFailed;
  }
  if (manager.GetLastError() != kXpOk) {
    writeFailure(failed, manager.GetLastError(), manager.GetRunFailure());
    return K2ExportOutcome::kFailed;
  }
  if (result != kXpOk && result != kXpErrStopped) {
    writeFailure(failed, result, manager.GetRunFailure());
    return K2ExportOutcome::kFailed;
  }
  if (!manager.IsCompleted()) {
    return K2ExportOutcome::kCancelled;
  }
  // Items whose copy failed were skipped: what was imported is listed and
  // handed on, then the skipped ones are told.
  const uint32_t skipped = manager.GetFailedItemCount();
  if (skipped == 0 || HasContent(manager.GetRecordFilePath())) {
    PrintImportedCopies(manager.GetRecordFilePath());
    static_cast<void>(manager.LaunchBrowser());
  }
  if (skipped != 0) {
    XpClearSysFailure();
    WriteFailureLine(SkippedItemsText(skipped, manager.GetFirstItemFailure()));
  }
  const K2ImportTaskManager::ItemFailure history = manager.GetHistoryFailure();
  if (!history.file.IsEmpty()) {
    WriteFailureLine(
        FailureText("the import history " + history.file.ToMultiByte().ToStdString() +
                        " was not saved; the next import may copy these contents again",
                    history.code, history.cause));
  }
  return skipped == 0 && history.file.IsEmpty() ? K2ExportOutcome::kCompleted : K2ExportOutcome::kFailed;
}

void CK2AccessorWinApp::PrintImportedCopies(const XpString& recordFile) {
  SfContentInfoXML record;
  if (record.LoadFromFile(recordFile) != kXpOk) {
    WriteFailureLine("the import record " + recordFile.ToMultiByte().ToStdString() +
                     " cannot be read");
    return;
  }
  for (int32_t g = 0; g < record.GetContentsGroupCount(); ++g) {
    const XpIniElement* group = record.GetContentsGroup(static_cast<uint32_t>(g));
    for (int32_t c = 0; c < SfContentInfoXML::GetContentsCount(group); ++c) {
      const XpIniElement* contents = SfContentInfoXML::GetContents(group, static_cast<uint32_t>(c));
      for (int32_t f = 0; f < SfContentInfoXML::GetFileCount(contents); ++f) {
        XpString path;
        if (SfContentInfoXML::GetFile(contents, static_cast<uint32_t>(f), &path) == kXpOk &&
            XpPathGetExtension(path).CompareNoCase(kSideFileExtension) != 0) {
          WriteOutputLine(path.ToMultiByte().ToStdString());
        }
      }
    }
  }
}
