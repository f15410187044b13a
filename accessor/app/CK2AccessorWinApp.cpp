#include "accessor/app/CK2AccessorWinApp.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <system_error>
#include <utility>

#include "accessor/app/K2HandOverFile.h"
#include "accessor/app/K2RequiredFiles.h"
#include "framework/commandline/XfCommandLineInfo.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/suite/ISfWindowList.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/text/XpStringA.h"
#include "platform/volume/IXpMountTableSource.h"
#include "platform/volume/XpInitializeProcess.h"

namespace {

constexpr const char* kProgramName = "TLVK2Accessor";
constexpr const char16_t* kNeutralCaption = u"Orvane";
constexpr const char16_t* kExportConfirmTitleKey = u"UI/ExportConfirm/0-0";
constexpr const char16_t* kMissingModulesKey = u"Messages/Errors/CannotBootBecauseThereAreNoSomeModules";

constexpr const char16_t* kImportConfirmTitleKey = u"UI/ImportConfirm/0-0";
constexpr const char16_t* kSalvageReportTitleKey = u"UI/SalvageReport/0-0";
constexpr const char16_t* kPortableNameKey = u"Application/QMV Portable";
constexpr const char16_t* kMaintenanceToolNameKey = u"Application/MaintenanceToolName";
constexpr const char16_t* kMutexErrorKey = u"Messages/Errors/MutexError";
constexpr const char16_t* kMutexErrorOtherUserKey = u"Messages/Errors/MutexErrorDuplicateAppsOtherUser";
constexpr const char16_t* kViewerRunningKey = u"Messages/Errors/CannotBootYouNeedToEndInitializeTool";
constexpr const char16_t* kInstallerRunningKey = u"Messages/Errors/CannotBootBecauseSetupQMV";
constexpr const char16_t* kOtherPartyPlaceholder = u"%1";
constexpr const char16_t* kOwnTitlePlaceholder = u"%2";

// The window properties of the import side's progress and confirmation
// dialogs, and how much of a window title is compared.
constexpr const char16_t* kImportProgressWindowMark = u"KavoKorvexViewerK2AccessorImportProgressDlg";
constexpr const char16_t* kImportConfirmWindowMark = u"KavoKorvexViewerK2AccessorImportConfirmDlg";
constexpr int32_t kComparedTitleLength = 255;
constexpr SfWindowHandle kNoWindow = 0;

// The box of a code from kExclusionOwnLocalImport to
// kExclusionPortableGlobal: its message and the key of the other party's
// name, which replaces "%1".
struct ExclusionMessage {
  const char16_t* messageKey;
  const char16_t* otherPartyKey;
};
constexpr ExclusionMessage kExclusionMessages[] = {
    {kMutexErrorKey, kSalvageReportTitleKey},           // own local import
    {kMutexErrorOtherUserKey, kSalvageReportTitleKey},  // own global import
    {kMutexErrorKey, kExportConfirmTitleKey},           // own local export
    {kMutexErrorOtherUserKey, kExportConfirmTitleKey},  // own global export
    {kMutexErrorKey, kMaintenanceToolNameKey},          // maintenance, local
    {kMutexErrorOtherUserKey, kMaintenanceToolNameKey}, // maintenance, global
    {kMutexErrorKey, kPortableNameKey},                 // portable, local
    {kMutexErrorOtherUserKey, kPortableNameKey},        // portable, global
};

// The exit status of a command line that asks for nothing the program does.
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: TLVK2Accessor [--yes] -export HANDOVER.xml [-parentwindow HWND]\n"
    "       TLVK2Accessor [--yes] -import CAMERA_FOLDER [-importscore]\n"
    "       TLVK2Accessor [--yes] -salvage CAMERA_ROOT\n"
    "  -export   writes the pictures and movies the hand-over file lists to the camera\n"
    "  -import   copies the camera's new pictures and movies to the PC\n"
    "  -salvage  moves the files of the camera's recovery folders to the PC\n"
    "  --yes     confirms without asking; without a terminal nothing is confirmed otherwise\n"
    "  --help    prints this text";

std::atomic<CK2AccessorWinApp*> gInstance{nullptr};

// The title key of a mode of the caption table; null for any other mode.
const char16_t* CaptionKey(int32_t mode) {
  switch (mode) {
    case kAccessorModeImportConfirm:
      return kImportConfirmTitleKey;
    case kAccessorModeImportProgress:
      return u"UI/ImportProgress/0-0";
    case kAccessorModeExportConfirm:
      return kExportConfirmTitleKey;
    case kAccessorModeExportProgress:
      return u"UI/ExportProgress/0-0";
    case kAccessorModeSalvageReport:
      return kSalvageReportTitleKey;
    case kAccessorModeSalvageProgress:
      return u"UI/SalvageProgress/0-0";
    default:
      return nullptr;
  }
}

// The title of the running direction; "" for an unknown one.
XpString OwnTitle(int32_t direction) {
  switch (direction) {
    case kExclusionDirectionImport:
      return XfGetString(kSalvageReportTitleKey);
    case kExclusionDirectionExport:
      return XfGetString(kExportConfirmTitleKey);
    default:
      return XpString();
  }
}

XpString ExclusionText(ExclusionResult result, const XpString& ownTitle) {
  if (result == kExclusionViewerRunning) return XfGetString(kViewerRunningKey);
  if (result == kExclusionInstallerRunning) return XfGetString(kInstallerRunningKey);
  const ExclusionMessage& message = kExclusionMessages[result];
  XpString text = XfGetString(message.messageKey);
  text.Replace(kOtherPartyPlaceholder, XfGetString(message.otherPartyKey).CStr());
  text.Replace(kOwnTitlePlaceholder, ownTitle.CStr());
  return text;
}

SfWindowHandle FindWindow(ISfWindowList& windows, const std::function<bool(SfWindowHandle)>& matches) {
  for (SfWindowHandle window = windows.GetFirstWindow(); window != kNoWindow;
       window = windows.GetNextWindow(window)) {
    if (matches(window)) return window;
  }
  return kNoWindow;
}

SfWindowHandle FindWindowWithProperty(ISfWindowList& windows, const XpString& property) {
  return FindWindow(windows, [&](SfWindowHandle window) { return windows.HasProperty(window, property); });
}

// An empty title names no window: it would match any untitled one.
SfWindowHandle FindWindowWithTitle(ISfWindowList& windows, const XpString& title) {
  if (title.IsEmpty()) return kNoWindow;
  return FindWindow(windows, [&](SfWindowHandle window) {
    return windows.GetTitle(window).Left(kComparedTitleLength) == title;
  });
}

std::string HexCode(XpResult code) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "0x%04" PRIX32, code);
  return buffer;
}

// "TLVK2Accessor: " and the text.
std::string ProgramLine(const std::string& text) { return std::string(kProgramName) + ": " + text; }

// path made absolute against the working folder.
void MakeAbsolute(XpString& path) { path = XpPathMakeAbsolute(path); }

}  // namespace

CK2AccessorWinApp::CK2AccessorWinApp(XfUiHost& host, const XpString& programFolder)
    : host_(host),
      programFolder_(programFolder),
      requiredFiles_(K2DefaultRequiredFiles()),
      exclusionChecker_(std::make_unique<ExclusionChecker>()),
      windows_(&SfTerminalWindowList::Instance()) {
  gInstance.store(this);
}

CK2AccessorWinApp::~CK2AccessorWinApp() {
  DestroyAccessorApplication(std::move(application_));
  CK2AccessorWinApp* self = this;
  gInstance.compare_exchange_strong(self, nullptr);
}

CK2AccessorWinApp* CK2AccessorWinApp::Instance() { return gInstance.load(); }

XpString CK2AccessorWinApp::DefaultProgramFolder() {
  return XpGetSpecialFolder(kXpFolderProgramFolder, false);
}

int CK2AccessorWinApp::Run(int argc, const char* const* argv) {
  InitInstance(argc, argv);
  const int status = ExitInstance();
  const int hostStatus = host_.Finish();
  return hostStatus != kK2ExitDone ? hostStatus : status;
}

bool CK2AccessorWinApp::InitInstance(int argc, const char* const* argv) {
  const XpResult initialized = XpInitializeProcess();
  if (initialized != kXpOk) {
    WriteErrorLine(ProgramLine("the process set-up failed (" + HexCode(initialized) + "), going on"));
  }
  application_ = CreateAccessorApplication(programFolder_);
  XfParseCommandLine(argc, argv, commandLine_);
  if (commandLine_.m_bHelp) {
    WriteOutputLine(kUsage);
    usageStatus_ = kK2ExitDone;
    DestroyAccessorApplication(std::move(application_));
    return false;
  }
  ResolveCommandLinePaths();
  if (CheckRequiredFiles()) {
    if (commandLine_.m_bExport) {
      RunExport();
      RemoveHandOverFile();
    } else if (commandLine_.m_bImport) {
      RunImport();
    } else if (commandLine_.m_bSalvage) {
      RunSalvage();
    } else {
      WriteErrorLine(kUsage);
      usageStatus_ = kExitUsage;
    }
  }
  DestroyAccessorApplication(std::move(application_));
  return false;
}

int CK2AccessorWinApp::ExitInstance() {
  if (usageStatus_) {
    return *usageStatus_;
  }
  if (commandLine_.m_bImportScore) {
    return m_nExitCode;
  }
  if (requiredFileMissing_) {
    return kK2ExitFailed;
  }
  if (exportOutcome_) {
    return K2ExitStatusOf(*exportOutcome_);
  }
  if (importOutcome_) {
    return K2ExitStatusOf(*importOutcome_);
  }
  return kK2ExitDone;
}

int32_t CK2AccessorWinApp::DoMessageBox(const XfDialogPresenter* /*owner*/, const XpString& text,
                                        uint32_t style) {
  return host_.MessageBox(GetCaption(), text, style);
}

int32_t CK2AccessorWinApp::AskToStop(const XfDialogPresenter* /*owner*/, const XpString& text, uint32_t style) {
  return host_.MessageBox(GetCaption(), text, style, XfUiBoxRole::kAsksToStop);
}

XpString CK2AccessorWinApp::GetCaption() const {
  const char16_t* key = CaptionKey(GetMode());
  return key != nullptr ? XfGetString(key) : XpString(kNeutralCaption);
}

K2ExportTaskManager& CK2AccessorWinApp::GetExportTaskManager() { return GetApplication()->GetExportTaskManager(); }

K2ImportTaskManager& CK2AccessorWinApp::GetImportTaskManager() { return GetApplication()->GetImportTaskManager(); }

std::unique_ptr<IXpMountTableSource> CK2AccessorWinApp::CreateMountTableSource() { return nullptr; }

void CK2AccessorWinApp::WriteErrorLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void CK2AccessorWinApp::WriteOutputLine(const std::string& line) {
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void CK2AccessorWinApp::WriteFailureLine(const std::string& text) { WriteErrorLine(ProgramLine(text)); }

void CK2AccessorWinApp::WriteFailureLine(const std::string& text, XpResult code) {
  WriteErrorLine(ProgramLine(text + " (" + HexCode(code) + ")"));
}

bool CK2AccessorWinApp::CheckRequiredFiles() {
  const std::optional<XpString> missing = K2FindMissingRequiredFile(programFolder_, requiredFiles_);
  if (!missing) {
    return true;
  }
  requiredFileMissing_ = true;
  XpString title;
  if (commandLine_.m_bExport) {
    SetMode(kAccessorModeExportConfirm);
    title = XfGetString(kExportConfirmTitleKey);
  }
  DoMessageBox(nullptr, XfFormatString(kMissingModulesKey, title), kXfMbIconExclamation);
  WriteErrorLine(ProgramLine("cannot start: the required file " +
                             (*missing).ToMultiByte().ToStdString() + " is missing (" +
                             HexCode(kXpErrFileNotFound) + ")"));
  return false;
}

void CK2AccessorWinApp::ResolveCommandLinePaths() {
  MakeAbsolute(commandLine_.m_strExportFile);
  MakeAbsolute(commandLine_.m_strImportPath);
  // The last argument is a path only as the camera root of a salvage.
  if (commandLine_.m_bSalvage) {
    MakeAbsolute(commandLine_.m_strLastParam);
  }
}

void CK2AccessorWinApp::ReportUnattendedDecline(const std::string& work,
                                                const std::optional<K2ExportOutcome>& outcome) {
  if (outcome != K2ExportOutcome::kCancelled || !host_.HasDeclinedUnattended()) {
    return;
  }
  WriteFailureLine("the " + work + " was not confirmed: no terminal is attached to ask; --yes confirms it");
}

void CK2AccessorWinApp::SetExportFailure(const std::string& step, XpResult code) {
  exportFailure_ = step + " (" + HexCode(code) + ")";
}

void CK2AccessorWinApp::RunExport() {
  exportOutcome_ = K2ExportOutcome::kFailed;
  exportFailure_.clear();
  const ExportResult result = ExportFlow(commandLine_);
  ReportUnattendedDecline("export", exportOutcome_);
  if (exportOutcome_ != K2ExportOutcome::kFailed) {
    return;
  }
  if (!exportFailure_.empty()) {
    WriteErrorLine(ProgramLine(exportFailure_));
    return;
  }
  WriteErrorLine(ProgramLine("the export of " +
                             commandLine_.m_strExportFile.ToMultiByte().ToStdString() +
                             " failed (" + HexCode(result) + ")"));
}

void CK2AccessorWinApp::RunImport() {
  importOutcome_ = ImportFlow(commandLine_.m_strImportPath);
  ReportUnattendedDecline("import", importOutcome_);
}

// "salvage" takes no path of its own: the camera root is the last plain
// argument, so nothing may follow it.
void CK2AccessorWinApp::RunSalvage() {
  const XpString& cameraRoot = commandLine_.m_strLastParam;
  if (cameraRoot.IsEmpty()) {
    WriteFailureLine("-salvage needs the camera root as the last argument");
    importOutcome_ = K2ExportOutcome::kFailed;
    return;
  }
  importOutcome_ = SalvageFlow(cameraRoot);
  ReportUnattendedDecline("salvage", importOutcome_);
}

void CK2AccessorWinApp::RemoveHandOverFile() {
  const XpString& path = commandLine_.m_strExportFile;
  const K2HandOverRemovalResult removed = K2RemoveHandOverFile(path);
  switch (removed.removal) {
    case K2HandOverRemoval::kKeptNotPropertyList:
      WriteErrorLine(ProgramLine(path.ToMultiByte().ToStdString() +
                                 " was not deleted: it is not a property list (" +
                                 HexCode(removed.code) + ")"));
      break;
    case K2HandOverRemoval::kKeptNoGroupList:
      WriteErrorLine(ProgramLine(path.ToMultiByte().ToStdString() +
                                 " was not deleted: it holds no ContentsGroupList"));
      break;
    case K2HandOverRemoval::kDeleteFailed:
      WriteErrorLine(ProgramLine("the hand-over file " + path.ToMultiByte().ToStdString() +
                                 " could not be deleted (" + HexCode(removed.code) + ")"));
      break;
    case K2HandOverRemoval::kDeleted:
    case K2HandOverRemoval::kNothingThere:
      break;
  }
}

bool CK2AccessorWinApp::ReportExclusion(int32_t direction) {
  const XpString ownTitle = OwnTitle(direction);
  const ExclusionResult result = exclusionChecker_->Check(direction);
  if (result == kExclusionNone) {
    return true;
  }
  // A mutex that could not be made is no other program at work.
  const ExclusionChecker::CreateFailure& failure = exclusionChecker_->GetCreateFailure();
  if (!failure.Empty()) {
    DoMessageBox(nullptr, XfGetString(ExclusionChecker::CreateFailureMessageKey(failure)), kXfMbIconExclamation);
    return false;
  }
  if (result == kExclusionOwnLocalImport && direction == kExclusionDirectionImport) {
    RaiseOtherImportInstance();
    return false;
  }
  DoMessageBox(nullptr, ExclusionText(result, ownTitle), kXfMbIconExclamation);
  return false;
}

void CK2AccessorWinApp::RaiseOtherImportInstance() {
  ISfWindowList& windows = *windows_;
  SfWindowHandle window = FindWindowWithProperty(windows, kImportProgressWindowMark);
  if (window == kNoWindow) window = FindWindowWithProperty(windows, kImportConfirmWindowMark);
  if (window == kNoWindow) window = FindWindowWithTitle(windows, XfGetString(kImportConfirmTitleKey));
  if (window == kNoWindow) window = FindWindowWithTitle(windows, XfGetString(kSalvageReportTitleKey));
  if (window == kNoWindow) return;
  windows.BringForward(window, windows.GetThreadId(window));
}
