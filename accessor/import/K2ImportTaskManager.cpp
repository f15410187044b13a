#include "accessor/import/K2ImportTaskManager.h"

#include <sys/stat.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "accessor/import/K2ImportConfig.h"
#include "accessor/import/K2ImportResult.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/XdbException.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/notify/XfPointer.h"
#include "framework/progress/XfViewProgress.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpCommandLineQuote.h"
#include "platform/process/XpRunProgram.h"
#include "platform/registry/XpRegistry.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/text/XpStringA.h"
#include "platform/thread/XpThread.h"
#include "platform/volume/XpStorageDevice.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

constexpr const char16_t* kBrowserVersionValue = u"CurrentVersion";
constexpr const char16_t* kBrowserFolderValue = u"InstalledLocation";
constexpr const char16_t* kBrowserProgramValue = u"ExeName";
constexpr const char16_t* kBrowserArgumentPrefix = u"/i ";
constexpr double kFullPercent = 100.0;

// The history name of a camera serial: upper-case hex, no leading zeros.
XpString HistoryName(uint64_t serial) {
  XpString name;
  (void)name.Format(u"%llX", static_cast<unsigned long long>(serial));
  return name;
}

// Records why path names no folder: the errno of its stat, or ENOTDIR for
// a file of another kind.
void RecordNoFolder(const XpString& path) {
  if (path.IsEmpty()) {
    return;
  }
  const std::string bytes(path.ToMultiByte().View());
  struct stat info {};
  const int error = XpSysCalls::Current().Stat(bytes.c_str(), &info) != 0 ? errno : ENOTDIR;
  XpRecordSysFailure("stat", bytes, error);
}

bool IsEmptyFile(const XpString& path) {
  return !path.IsEmpty() && XpFileExists(path) && XpGetFileSize(path.CStr()) == 0;
}

// The percentage as a whole number; 0 below 0 and for NaN.
uint32_t WholePercent(double percent) {
  if (!(percent > 0.0)) {
    return 0;
  }
  return static_cast<uint32_t>(percent < kFullPercent ? percent : kFullPercent);
}

}  // namespace

K2ImportTaskManager::K2ImportTaskManager(XpWaitClock& clock)
    : clock_(clock), xdbFactory_(&XdbAccessor::CreateDeviceXdbAccessor) {}

K2ImportTaskManager::~K2ImportTaskManager() {
  // A worker still waiting for the confirmation would wait for ever.
  if (!confirmed_.load()) {
    stopRequested_ = true;
  }
  (void)WaitUntilFinished();
  if (IsEmptyFile(recordFilePath_)) {
    (void)XpDeleteFile(recordFilePath_);
  }
  ReleaseDatabase();
}

void K2ImportTaskManager::SetXdbAccessorFactory(XdbAccessorFactory factory) {
  Guard guard(lock_);
  xdbFactory_ = std::move(factory);
}

XpResult K2ImportTaskManager::StartImport(K2ImportConfig& settings, XfViewProgress* progress) {
  Guard guard(lock_);
  if (thread_ != nullptr) {
    return kXpErrWrongState;
  }
  progress_ = progress;
  pendingPrompts_ = 0;
  removeAfterImport_ = settings.GetRemoveAfterImport();
  differentialImport_ = settings.GetDifferentialImport();
  recordFilePath_ = settings.GetRecordFilePath();
  launchBrowser_ = true;
  completed_ = false;
  confirmed_ = false;
  stopRequested_ = false;
  paused_ = false;
  lastError_ = kXpOk;
  readOnlySourceSeen_ = false;
  differentialSkipped_ = false;
  threadResult_ = kXpOk;
  runFailure_ = XpSysFailure();
  firstItemFailure_ = ItemFailure();
  historyFailure_ = ItemFailure();
  failedItems_ = 0;
  destinationFolder_ = settings.GetDestDir();
  sourceName_ = settings.GetSource() ? settings.GetSource()->GetPath() : XpString();
  cameraRoot_ = XpPathGetRoot(sourceName_);
  history_.reset();
  {
    std::lock_guard<std::mutex> preparationGuard(preparationLock_);
    preparation_ = Preparation();
  }

  if (destinationFolder_.IsEmpty() || !XpDirectoryExists(destinationFolder_)) {
    RecordNoFolder(destinationFolder_);
    return kXpErrPathNotFound;
  }
  if (differentialImport_) {
    uint64_t serial = 0;
    if (XpStorageDeviceGetUsbSerial(cameraRoot_, &serial, true) != kXpOk) {
      // Cameras without a readable serial would share one history.
      differentialImport_ = false;
      differentialSkipped_ = true;
    } else {
      history_ = std::make_unique<K2DifferentialHistory>(HistoryName(serial), K2GetAppDataFolder());
      const XpResult loaded = history_->Load();
      if (loaded != kXpOk) {
        history_.reset();
        return loaded;
      }
    }
  }
  thread_ = XpThread::Create(&K2ImportTaskManager::WorkerMain, this);
  return thread_ != nullptr ? kXpOk : kXpErrOutOfMemory;
}

XpResult K2ImportTaskManager::Confirm() {
  confirmed_ = true;
  return kXpOk;
}

K2ImportTaskManager::Preparation K2ImportTaskManager::WaitForPreparation(uint32_t timeoutSeconds) {
  std::unique_lock<std::mutex> guard(preparationLock_);
  (void)preparationChanged_.wait_for(guard, std::chrono::seconds(timeoutSeconds), [this] {
    return preparation_.state != PreparationState::kPreparing;
  });
  return preparation_;
}

void K2ImportTaskManager::FinishPreparation(XpResult result) {
  Preparation outcome;
  if (result != kXpOk) {
    outcome.state = PreparationState::kFailed;
    outcome.code = result;
  } else {
    Guard guard(lock_);
    outcome.state = PreparationState::kReady;
    outcome.itemCount = static_cast<uint32_t>(queue_.size());
    for (uint64_t size : fileSizes_) {
      outcome.byteTotal += size;
    }
  }
  {
    std::lock_guard<std::mutex> guard(preparationLock_);
    preparation_ = outcome;
  }
  preparationChanged_.notify_all();
}

XpResult K2ImportTaskManager::WaitUntilFinished() {
  XpThread* thread = nullptr;
  {
    Guard guard(lock_);
    std::swap(thread, thread_);
  }
  if (thread != nullptr) {
    XpThread::Join(thread);
  }
  return threadResult_.load();
}

uint32_t K2ImportTaskManager::WorkerMain(void* manager) {
  return static_cast<uint32_t>(static_cast<K2ImportTaskManager*>(manager)->ImportThread());
}

XpResult K2ImportTaskManager::ImportThread() {
  {
    Guard guard(lock_);
    queue_.clear();
  }
  XpClearSysFailure();
  std::vector<XfProgressStep> steps;
  XpResult result = kXpOk;
  try {
    result = CollectFromDatabase(&steps);
    if (result == kXpOk) {
      SetUpProgressSteps(steps);
      if (queue_.empty()) {
        result = kXpErrGeneric;
      }
    }
  } catch (const XdbAccessor::XdbException&) {
    result = IsSourcePresent() ? kK2ErrAlbumDatabase : kK2ErrCameraGone;
  }
  if (result != kXpOk) {
    NoteRunFailure();
  }
  FinishPreparation(result);
  if (result == kXpOk) {
    result = WaitForConfirmation();
  }
  if (result == kXpOk) {
    PostInternal(kCodeRunBegins);
    try {
      result = RunImport();
    } catch (const XdbAccessor::XdbException&) {
      result = IsSourcePresent() ? kK2ErrAlbumDatabase : kK2ErrCameraGone;
    }
    if (result != kXpOk && result != kXpErrStopped) {
      NoteRunFailure();
    }
  }
  if (confirmed_) {
    if (result != kXpOk && result != kXpErrStopped && !stopRequested_) {
      lastError_ = result;
      ReportError(result);
    }
    while (pendingPrompts_.load() != 0) {
      Sleep(kPromptPoll);
    }
    PostInternal(kCodeImportEnded);
  }
  ReleaseDatabase();
  threadResult_ = result;
  return result;
}

XpResult K2ImportTaskManager::WaitForConfirmation() {
  while (!confirmed_ && !stopRequested_) {
    Sleep(kConfirmPoll);
  }
  return confirmed_ && !stopRequested_ ? kXpOk : kXpErrCancelled;
}

void K2ImportTaskManager::ReportError(XpResult code) {
  XpSharedPtr<XfNotificationError> prompt(new (std::nothrow) XfNotificationError(
      XpSharedPtr<XfObject>(), Sender(), code, XpSharedPtr<XfObject>()));
  if (!prompt) {
    return;
  }
  prompt->SetPromptStyle(kErrorPromptStyle);
  {
    Guard guard(lock_);
    ++pendingPrompts_;
  }
  // Without an application nobody could answer: the prompt is dropped.
  if (XfPostNotification(XpSharedPtr<XfNotification>(prompt))) {
    (void)prompt->WaitForResult(XfNotification::kWaitPumping);
  }
  Guard guard(lock_);
  --pendingPrompts_;
}

bool K2ImportTaskManager::OnFileOpProgress(double percent) {
  PostProgress(kCodeDeleteProgress, WholePercent(percent), Sender());
  if (percent >= kFullPercent) {
    PostInternal(kCodeFileDeleted);
  }
  return StopSeen();
}

XpString K2ImportTaskManager::GetBrowserPath() {
  XpString folder;
  XpString program;
  XpRegistry* key =
      XpRegistry::OpenNew(kBrowserKey, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead);
  if (key != nullptr) {
    const XpString version = key->QueryString(kBrowserVersionValue, XpString());
    XpRegistry* versionKey = version.IsEmpty()
                                 ? nullptr
                                 : XpRegistry::OpenSubKey(key, version, XpRegistry::kAccessRead);
    if (versionKey != nullptr) {
      folder = versionKey->QueryString(kBrowserFolderValue, XpString());
      program = versionKey->QueryString(kBrowserProgramValue, XpString());
    }
    XpRegistry::CloseAndDelete(versionKey);
    XpRegistry::CloseAndDelete(key);
  }
  if (folder.IsEmpty()) {
    XpString programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
    XpPathRemoveTrailingBackslash(programFolder);
    const XpString candidate = XpPathJoin(XpPathGetDirectory(programFolder), kBrowserFolder);
    if (XpDirectoryExists(candidate)) {
      folder = candidate;
    }
  }
  if (program.IsEmpty()) {
    program = kBrowserProgram;
  }
  return folder.IsEmpty() ? program : XpPathJoin(folder, program);
}

XpResult K2ImportTaskManager::LaunchBrowser() {
  XpString record;
  {
    Guard guard(lock_);
    if (!launchBrowser_) {
      return kXpOk;
    }
    record = recordFilePath_;
  }
  const XpString arguments = XpString(kBrowserArgumentPrefix) + XpCommandLineQuote(record);
  const XpResult result = XpRunProgram(GetBrowserPath(), arguments, nullptr, nullptr);
  if (result != kXpOk) {
    (void)XpDeleteFile(record);
  }
  return result;
}

XpResult K2ImportTaskManager::DeleteEmptyRecordFile() {
  const XpString record = GetRecordFilePath();
  if (!IsEmptyFile(record)) {
    return kXpErrWrongState;
  }
  return XpDeleteFilesWithProgress({record}, false, false, this);
}

bool K2ImportTaskManager::NotifySalvageCanceled() { return false; }

void K2ImportTaskManager::Pause() {
  Guard guard(lock_);
  paused_ = true;
}

void K2ImportTaskManager::Resume() {
  Guard guard(lock_);
  paused_ = false;
}

void K2ImportTaskManager::Stop() {
  Guard guard(lock_);
  stopRequested_ = true;
  paused_ = false;
}

bool K2ImportTaskManager::IsStopRequested() const {
  return progress_ != nullptr && progress_->GetStopFlag();
}

bool K2ImportTaskManager::StopSeen() const { return stopRequested_.load() || IsStopRequested(); }

bool K2ImportTaskManager::WaitWhilePaused() {
  bool waited = false;
  while (paused_.load()) {
    Sleep(kPausePoll);
    waited = true;
  }
  return waited;
}

XpSysFailure K2ImportTaskManager::GetRunFailure() const {
  Guard guard(lock_);
  return runFailure_;
}

K2ImportTaskManager::ItemFailure K2ImportTaskManager::GetHistoryFailure() const {
  Guard guard(lock_);
  return historyFailure_;
}

K2ImportTaskManager::ItemFailure K2ImportTaskManager::GetFirstItemFailure() const {
  Guard guard(lock_);
  return firstItemFailure_;
}

void K2ImportTaskManager::NoteRunFailure() {
  const XpSysFailure& last = XpLastSysFailure();
  Guard guard(lock_);
  if (runFailure_.Empty()) {
    runFailure_ = last;
  }
}

XpString K2ImportTaskManager::GetRecordFilePath() const {
  Guard guard(lock_);
  return recordFilePath_;
}

std::vector<uint64_t> K2ImportTaskManager::GetFileSizes() const {
  Guard guard(lock_);
  return fileSizes_;
}

std::vector<XfProgressStep> K2ImportTaskManager::GetProgressSteps() const {
  Guard guard(lock_);
  return steps_;
}

XpStringVector K2ImportTaskManager::GetQueuedFolders() const {
  Guard guard(lock_);
  XpStringVector folders;
  for (const Item& item : queue_) {
    folders.push_back(item->GetName());
  }
  return folders;
}

bool K2ImportTaskManager::IsSourcePresent() const {
  return !sourceName_.IsEmpty() && XpDirectoryExists(sourceName_) &&
         K2IsDestinationPresent(cameraRoot_);
}

void K2ImportTaskManager::Sleep(std::chrono::milliseconds duration) { clock_.SleepFor(duration); }

XpSharedPtr<XfObject> K2ImportTaskManager::Sender() { return XfPointer::Borrow(this); }

void K2ImportTaskManager::PostInternal(uint32_t code) {
  XpSharedPtr<XfNotification> notification(new (std::nothrow) XfNotificationInternal(
      XpSharedPtr<XfObject>(), Sender(), code, XpSharedPtr<XfObject>(), false, true));
  if (notification) {
    XfPostNotification(notification);
  }
}

void K2ImportTaskManager::PostProgress(uint32_t code, uint32_t value,
                                       XpSharedPtr<XfObject> payload) {
  XpSharedPtr<XfNotificationProgress> notification(
      new (std::nothrow) XfNotificationProgress(XpSharedPtr<XfObject>(), Sender(), code, payload));
  if (!notification) {
    return;
  }
  notification->SetValue(value);
  XfPostNotification(XpSharedPtr<XfNotification>(notification));
}

void K2ImportTaskManager::ReleaseDatabase() {
  delete contents_;
  contents_ = nullptr;
  if (database_ != nullptr) {
    try {
      database_->Release();
    } catch (const XdbAccessor::XdbException&) {
      // The accessor is gone whatever its release reported.
    }
    database_ = nullptr;
  }
  history_.reset();
}
