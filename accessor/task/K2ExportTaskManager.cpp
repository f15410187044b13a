#include "accessor/task/K2ExportTaskManager.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>

#include "accessor/task/K2ExportInfoObj.h"
#include "accessor/task/K2ExportItemBuilder.h"
#include "accessor/task/K2ExportResult.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/notify/XfPointer.h"
#include "framework/progress/XfViewProgress.h"
#include "framework/suite/SfContentInfoXML.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/thread/XpThread.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

}  // namespace

K2ExportTaskManager::K2ExportTaskManager(XpWaitClock& clock)
    : clock_(clock),
      pollWait_(clock),
      createdFiles_(std::make_shared<K2CreatedFileList>()),
      xdbFactory_(&XdbAccessor::CreateDeviceXdbAccessor),
      freeSpaceQuery_([](const XpString& root) { return XpDir(root).GetFreeSpace(); }),
      moviePluginFolder_(XpGetSpecialFolder(kXpFolderProgramFolder, false)) {}

K2ExportTaskManager::~K2ExportTaskManager() {
  (void)Stop();
  (void)WaitUntilFinished();
  ReleaseAlbumDatabase();
}

void K2ExportTaskManager::SetConverterFactory(K2ExportConverterFactory factory) {
  Guard guard(lock_);
  converterFactory_ = std::move(factory);
}

void K2ExportTaskManager::SetXdbAccessorFactory(XdbAccessorFactory factory) {
  Guard guard(lock_);
  xdbFactory_ = std::move(factory);
}

void K2ExportTaskManager::SetFreeSpaceQuery(FreeSpaceQuery query) {
  Guard guard(lock_);
  freeSpaceQuery_ = std::move(query);
}

void K2ExportTaskManager::SetMovieServer(const XpString& pluginFolder,
                                         const XpImageIoMovieOptions& options) {
  Guard guard(lock_);
  moviePluginFolder_ = pluginFolder;
  movieOptions_ = options;
}

bool K2ExportTaskManager::Execute(double percent) {
  PostProgress(kCodeCopyProgress, static_cast<uint32_t>(percent));
  if (percent >= 100.0) {
    PostInternal(kCodeCopyProgress, XpSharedPtr<XfObject>());
  }
  WaitWhilePaused();
  Guard guard(lock_);
  return progressView_ != nullptr && progressView_->GetStopFlag();
}

XpResult K2ExportTaskManager::Stop() {
  Guard guard(lock_);
  cancelled_ = true;
  paused_ = false;
  if (converter_) {
    (void)converter_->Stop();
  }
  pollWait_.Wake();
  return kXpOk;
}

XpResult K2ExportTaskManager::Pause() {
  Guard guard(lock_);
  paused_ = true;
  if (converter_) {
    (void)converter_->Pause();
  }
  return kXpOk;
}

XpResult K2ExportTaskManager::Resume() {
  Guard guard(lock_);
  paused_ = false;
  if (converter_) {
    (void)converter_->Resume();
  }
  pollWait_.Wake();
  return kXpOk;
}

XpResult K2ExportTaskManager::Start(const K2ExportConfig& config, const SfContentInfoXML& content,
                                    XfViewProgress* progressView) {
  Guard guard(lock_);
  (void)Prepare(content);
  progressView_ = progressView;
  current_ = config;
  requested_ = config;
  outstandingPrompts_ = 0;
  failureDetail_.clear();
  skipped_ = 0;
  firstSkip_.clear();
  skippedForFullCard_ = false;

  XpResult result = kXpOk;
  exportable_.clear();
  for (const K2ExportItem& item : items_) {
    if (IsExportableSize(item)) {
      exportable_.push_back(item);
    } else {
      result = kK2ErrUnsupportedContents;
    }
  }
  std::stable_sort(exportable_.begin(), exportable_.end(), K2ExportItemLess);

  released_ = false;
  cancelled_ = false;
  paused_ = false;
  if (worker_ == nullptr) {
    worker_ = XpThread::Create(&K2ExportTaskManager::WorkerMain, this);
  }
  return result;
}

XpResult K2ExportTaskManager::Interrupt() {
  Guard guard(lock_);
  released_ = true;
  pollWait_.Wake();
  return kXpOk;
}

bool K2ExportTaskManager::IsInterrupted() const {
  Guard guard(lock_);
  return released_;
}

bool K2ExportTaskManager::IsCancelled() const {
  Guard guard(lock_);
  return cancelled_;
}

bool K2ExportTaskManager::IsStopped() const { return IsCancelled(); }

XpResult K2ExportTaskManager::GetStatus() const {
  Guard guard(lock_);
  return status_;
}

std::string K2ExportTaskManager::GetFailureDetail() const {
  Guard guard(lock_);
  std::string detail = failureDetail_;
  if (skipped_ == 0) {
    return detail;
  }
  if (!detail.empty()) {
    detail += "; ";
  }
  detail += std::to_string(skipped_) + (skipped_ == 1 ? " file was" : " files were") +
            " not written to the camera";
  if (!firstSkip_.empty()) {
    detail += ", the first: " + firstSkip_;
  }
  return detail;
}

uint32_t K2ExportTaskManager::GetSkippedCount() const {
  Guard guard(lock_);
  return skipped_;
}

void K2ExportTaskManager::NoteFailure(const std::string& detail) {
  Guard guard(lock_);
  if (failureDetail_.empty()) {
    failureDetail_ = detail;
  }
}

XpString K2ExportTaskManager::WorkFolder() {
  const XpString tempDir = CurrentConfig().GetTempDir();
  const XpString own = runFolder_.PathIn(tempDir);
  return own.IsEmpty() ? tempDir : own;
}

XpResult K2ExportTaskManager::SetConfig(const K2ExportConfig& config) {
  Guard guard(lock_);
  requested_ = config;
  if (!IsConfigChanged()) {
    return kXpOk;
  }
  // The preparation under way is stale even if the setting comes back.
  preparationStale_ = true;
  if (converter_) {
    (void)converter_->Stop();
  }
  pollWait_.Wake();
  return kXpOk;
}

void K2ExportTaskManager::OnCameraRemoved(bool arrived) {
  if (arrived) {
    return;
  }
  {
    Guard guard(lock_);
    if (released_) {
      status_ = kK2ErrCameraGone;
    }
  }
  (void)Stop();
}

XpResult K2ExportTaskManager::WaitUntilFinished() {
  XpThread* worker = nullptr;
  {
    Guard guard(lock_);
    std::swap(worker, worker_);
  }
  if (worker != nullptr) {
    XpThread::Join(worker);
  }
  return taskResult_.load();
}

K2ExportItemVector K2ExportTaskManager::GetAllItems() const {
  Guard guard(lock_);
  return items_;
}

K2ExportItemVector K2ExportTaskManager::GetExportableItems() const {
  Guard guard(lock_);
  return exportable_;
}

std::vector<int64_t> K2ExportTaskManager::GetFileSizes() const {
  Guard guard(lock_);
  return fileSizes_;
}

std::vector<XfProgressStep> K2ExportTaskManager::GetProgressSteps() const {
  Guard guard(lock_);
  return steps_;
}

XpSharedPtr<XfObject> K2ExportTaskManager::Sender() { return XfPointer::Borrow(this); }

void K2ExportTaskManager::PostInternal(uint32_t code, XpSharedPtr<XfObject> payload) {
  XpSharedPtr<XfNotification> notification(new (std::nothrow) XfNotificationInternal(
      XpSharedPtr<XfObject>(), Sender(), code, payload, false, true));
  if (notification) {
    XfPostNotification(notification);
  }
}

void K2ExportTaskManager::PostProgress(uint32_t code, uint32_t value) {
  XpSharedPtr<XfNotificationProgress> notification(new (std::nothrow) XfNotificationProgress(
      XpSharedPtr<XfObject>(), Sender(), code, XpSharedPtr<XfObject>()));
  if (!notification) {
    return;
  }
  notification->SetValue(value);
  XfPostNotification(XpSharedPtr<XfNotification>(notification));
}

void K2ExportTaskManager::ReportError(XpResult code) {
  XpSharedPtr<XfNotificationError> prompt(new (std::nothrow) XfNotificationError(
      XpSharedPtr<XfObject>(), Sender(), code, XpSharedPtr<XfObject>()));
  if (!prompt) {
    return;
  }
  prompt->SetPromptStyle(kErrorPromptStyle);
  ++outstandingPrompts_;
  // Without an application nobody could answer: the prompt is dropped.
  if (XfPostNotification(XpSharedPtr<XfNotification>(prompt))) {
    (void)prompt->WaitForResult(XfNotification::kWaitPumping);
  }
  --outstandingPrompts_;
  pollWait_.Wake();
}

void K2ExportTaskManager::SleepPoll(uint32_t milliseconds) {
  pollWait_.Pause(std::chrono::milliseconds(milliseconds));
}

bool K2ExportTaskManager::WaitWhilePaused() {
  bool waited = false;
  while (paused_.load()) {
    SleepPoll(kPollMilliseconds);
    waited = true;
  }
  return waited;
}

XpString K2ExportTaskManager::GetDestinationRoot() const {
  Guard guard(lock_);
  return destinationRoot_;
}

K2ExportConfig K2ExportTaskManager::CurrentConfig() const {
  Guard guard(lock_);
  return current_;
}

bool K2ExportTaskManager::IsConfigChanged() const {
  Guard guard(lock_);
  return current_.IsConversionDifferent(requested_) || current_.IsTempDirDifferent(requested_);
}

bool K2ExportTaskManager::IsPreparationStale() const {
  Guard guard(lock_);
  return preparationStale_ || IsConfigChanged();
}

uint32_t K2ExportTaskManager::WorkerMain(void* manager) {
  auto* self = static_cast<K2ExportTaskManager*>(manager);
  const XpResult result = self->RunTask();
  self->taskResult_ = result;
  return result;
}

XpResult K2ExportTaskManager::RunTask() {
  const XpResult prepared = PreparationLoop();
  return FinishTask(RunAfterRelease(prepared));
}

XpResult K2ExportTaskManager::PreparationLoop() {
  for (;;) {
    const XpResult result = PrepareItems();
    for (;;) {
      if ((IsInterrupted() || IsCancelled()) && !IsPreparationStale()) {
        return result == kXpErrDiskFull ? kK2ErrPcDiskFull : result;
      }
      SleepPoll(kPollMilliseconds);
      if (IsPreparationStale()) {
        break;
      }
    }
    (void)DeleteTemporaryFiles();
    Guard guard(lock_);
    current_ = requested_;
    preparationStale_ = false;
  }
}

XpResult K2ExportTaskManager::PrepareItems() {
  {
    Guard guard(lock_);
    if (exportable_.empty() || cancelled_) {
      return kK2ErrNothingToPrepare;
    }
  }
  PointItemsAtSources();
  const K2ExportConfig config = CurrentConfig();
  {
    Guard guard(lock_);
    failureDetail_.clear();
  }
  // Runs that were killed left their folders of temporary files.
  K2ExportRunFolder::RemoveAbandoned(config.GetTempDir());
  XpResult result = kXpOk;
  if (config.GetChangeImageFileSize()) {
    result = PrepareConversion(config);
    if (result != kXpOk) {
      return result;
    }
  }
  if (IsPreparationStale() || IsCancelled()) {
    return result;
  }
  MeasureItems();
  return result;
}

void K2ExportTaskManager::PointItemsAtSources() {
  Guard guard(lock_);
  for (K2ExportItem& item : exportable_) {
    item.fileToWrite = item.FirstSourcePath();
  }
}

XpResult K2ExportTaskManager::PrepareConversion(const K2ExportConfig& config) {
  const uint32_t sizeChoice =
      config.GetImageFileSize() == K2ExporterWithResizeConfig::kLargeSizeChoice
          ? K2ExporterWithResizeConfig::kLargeSizeChoice
          : 0;
  XpSharedPtr<K2ExporterWithResizeConfig> resizeConfig(
      new (std::nothrow) K2ExporterWithResizeConfig(WorkFolder(), config.GetPictureCutting(),
                                                    sizeChoice, &exportable_));
  if (!resizeConfig) {
    return kXpErrOutOfMemory;
  }
  K2ExportConverterFactory factory;
  {
    Guard guard(lock_);
    factory = converterFactory_;
  }
  std::shared_ptr<IK2ExportConverter> fresh;
  if (factory) {
    fresh = factory(resizeConfig, createdFiles_);
  }
  std::shared_ptr<IK2ExportConverter> old;
  bool cancelled = false;
  {
    Guard guard(lock_);
    old = std::move(converter_);
    converter_ = fresh;
    cancelled = cancelled_;
  }
  // The old converter goes here, once no one can reach it any more.
  old.reset();
  if (!fresh) {
    return kXpOk;
  }
  if (cancelled) {
    (void)fresh->Stop();
    return kXpOk;
  }
  const XpResult converted = fresh->ConvertAll();
  if (converted != kXpOk) {
    NoteFailure(fresh->ConversionFailure());
  }
  return converted;
}

void K2ExportTaskManager::MeasureItems() {
  std::vector<int64_t> sizes;
  std::vector<XfProgressStep> steps;
  uint64_t total = 0;
  size_t count = 0;
  {
    Guard guard(lock_);
    count = exportable_.size();
  }
  for (size_t index = 0; index < count && !IsCancelled(); ++index) {
    XpString path;
    {
      Guard guard(lock_);
      path = exportable_[index].fileToWrite;
    }
    const int64_t size = std::max<int64_t>(XpGetFileSize(path.CStr()), 0);
    sizes.push_back(size);
    total += static_cast<uint64_t>(size);
    steps.push_back({kStepCode, kStepCode, std::max(static_cast<double>(size), kMinStepWeight)});
    WaitWhilePaused();
  }
  XfViewProgress* view = nullptr;
  {
    Guard guard(lock_);
    fileSizes_ = sizes;
    steps_ = steps;
    view = progressView_;
  }
  if (IsCancelled()) {
    return;
  }
  PostInternal(kCodePrepared, XpSharedPtr<XfObject>(new (std::nothrow) K2ExportInfoObj(total)));
  if (view != nullptr) {
    view->SetSteps(steps.data(), steps.size());
  }
}

XpResult K2ExportTaskManager::RunAfterRelease(XpResult result) {
  if (!IsInterrupted()) {
    return result;
  }
  XpString destination;
  {
    Guard guard(lock_);
    if (current_.IsDifferent(requested_)) {
      current_ = requested_;
    }
    destination = current_.GetDestination();
  }
  if (result != kXpOk) {
    return K2IsDestinationPresent(destination) ? result : kK2ErrCameraGone;
  }
  if (IsCancelled()) {
    return kXpOk;
  }
  SetDestination(destination);
  PostInternal(kCodeRunBegins, XpSharedPtr<XfObject>());
  const XpResult run = RunExport();
  // A camera removed during the run ends it as gone, whatever the run saw.
  return GetStatus() == kK2ErrCameraGone ? kK2ErrCameraGone : run;
}

XpResult K2ExportTaskManager::FinishTask(XpResult result) {
  if (IsInterrupted()) {
    const bool failed = result != kXpOk && result != kXpErrStopped;
    if (failed && (!IsCancelled() || result == kK2ErrCameraGone)) {
      {
        Guard guard(lock_);
        status_ = result;
      }
      ReportError(result);
    }
    while (outstandingPrompts_.load() > 0) {
      SleepPoll(kPromptPollMilliseconds);
    }
    PostInternal(kCodeTaskEnded, XpSharedPtr<XfObject>());
  }
  const XpResult deleted = DeleteTemporaryFiles();
  runFolder_.Remove();
  return result != kXpOk ? result : deleted;
}

XpResult K2ExportTaskManager::DeleteTemporaryFiles() { return createdFiles_->DeleteAll(); }
