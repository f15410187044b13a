#include "accessor/dialogs/K2ProgressObserver.h"

#include <chrono>
#include <mutex>
#include <utility>

#include "accessor/task/K2ObjectForNotification.h"
#include "framework/app/XfApplication.h"
#include "framework/clock/XfClock.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"
#include "framework/progress/XfViewProgress.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatKind.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/movie/XpImageIoMovie.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/resample/XpPixmapResize.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr uint32_t kAnswerDone = 1;
// Below this the refresh is throttled to one a clock second.
constexpr int kThrottledUpToPercent = 99;

}  // namespace

K2ProgressObserver::K2ProgressObserver()
    : progress_(std::make_unique<XfViewProgress>()),
      movieReader_(&K2ProgressObserver::DefaultMovieReader) {
  progress_->SetObject(XpSharedPtr<XfObject>());
  progress_->Start(false);
}

K2ProgressObserver::~K2ProgressObserver() {
  StopObserving();
  progress_->ResetRunFlags();
}

void K2ProgressObserver::StartObserving() {
  if (observing_.exchange(true)) {
    return;
  }
  progress_->SetHandlers(&K2ProgressObserver::ViewDispatchThunk,
                         &K2ProgressObserver::ViewUpdateThunk, this);
  {
    std::lock_guard<std::mutex> hold(workerLock_);
    stopWorker_.store(false);
    worker_ = XpThread::Create(&K2ProgressObserver::ThumbnailThreadEntry, this);
  }
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->AddObserver(this);
  }
}

void K2ProgressObserver::StopObserving() {
  StopThumbnailWorker();
  // The model passes notifications and ticks to this object: it leaves the
  // manager first, then loses its handlers.
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->RemoveObserver(progress_.get());
    manager->RemoveObserver(this);
  }
  progress_->SetHandlers(nullptr, nullptr, nullptr);
  observing_.store(false);
}

void K2ProgressObserver::StopThumbnailWorker() {
  std::lock_guard<std::mutex> hold(workerLock_);
  if (worker_ == nullptr) {
    return;
  }
  stopWorker_.store(true);
  WakeIdleWorker();
  XpThread::Join(worker_);
  worker_ = nullptr;
}

void K2ProgressObserver::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (!notification) {
    return;
  }
  switch (notification->GetKind()) {
    case kXfKindInternal:
      OnInternalNotification(notification);
      return;
    case kXfKindProgress:
      OnProgressNotification(notification);
      return;
    case kXfKindError:
      OnErrorNotification(notification);
      return;
    default:
      return;
  }
}

void K2ProgressObserver::OnInternalNotification(
    const XpSharedPtr<XfNotification>& notification) {
  switch (notification->GetCode()) {
    case kCodeReadOnlyKept:
      readOnlyKept_.store(true);
      break;
    case kCodeImportItemFailed:
      importItemFailed_.store(true);
      break;
    case kCodeRunBegins:
      EnterPhase1();
      RequestRefresh();
      break;
    case kCodeRemovalBegins:
      EnterPhase2();
      RequestRefresh();
      break;
    case kCodeFinalStep:
      EnterPhase3();
      RequestRefresh();
      notification->SetResult(kAnswerDone);
      OnViewTick();
      return;
    case kCodeFileSkipped:
      skippedFiles_.store(true);
      break;
    default:
      return;
  }
  notification->SetResult(kAnswerDone);
}

void K2ProgressObserver::OnProgressNotification(
    const XpSharedPtr<XfNotification>& notification) {
  if (notification->GetCode() != kCodeFileStarts) {
    return;
  }
  const XpSharedPtr<XfObject> payload = notification->GetObject();
  const auto* file = dynamic_cast<const K2ObjectForNotification*>(payload.Get());
  if (file == nullptr) {
    return;
  }
  SetCurrentFile(file->GetPictureFile());
  SetSourceText(file->GetAlbumName());
  SetDestinationText(file->GetFileName());
  OnViewTick();
  notification->SetResult(kAnswerDone);
}

void K2ProgressObserver::OnErrorNotification(const XpSharedPtr<XfNotification>& notification) {
  ShowError(notification->GetCode());
  notification->SetResult(kAnswerDone);
}

bool K2ProgressObserver::OnViewNotification(const XpSharedPtr<XfNotification>& notification) {
  if (!notification || notification->GetCode() != kCodeTaskEnded) {
    return false;
  }
  CloseView();
  return true;
}

void K2ProgressObserver::OnViewTick() {
  const int64_t now = XfGetCurrentTime();
  const int percent = static_cast<int>(progress_->GetPercent());
  if (now == lastRefresh_.load() && percent <= kThrottledUpToPercent) {
    return;
  }
  lastRefresh_.store(now);
  RequestRefresh();
}

bool K2ProgressObserver::ViewDispatchThunk(XpSharedPtr<XfNotification> notification,
                                           void* context) {
  return static_cast<K2ProgressObserver*>(context)->OnViewNotification(notification);
}

void K2ProgressObserver::ViewUpdateThunk(void* context) {
  static_cast<K2ProgressObserver*>(context)->OnViewTick();
}

void K2ProgressObserver::SetCaption(const XpString& caption) {
  std::lock_guard<XpCriticalSection> hold(captionLock_);
  caption_ = caption;
}

XpString K2ProgressObserver::GetCaption() const {
  std::lock_guard<XpCriticalSection> hold(captionLock_);
  return caption_;
}

void K2ProgressObserver::SetCurrentFile(const XpString& file) {
  {
    std::lock_guard<XpCriticalSection> hold(currentFileLock_);
    currentFile_ = file;
  }
  WakeIdleWorker();
}

XpString K2ProgressObserver::GetCurrentFile() const {
  std::lock_guard<XpCriticalSection> hold(currentFileLock_);
  return currentFile_;
}

void K2ProgressObserver::FinishCurrentFile(const XpString& file) {
  std::lock_guard<XpCriticalSection> hold(currentFileLock_);
  if (currentFile_.View() == file.View()) {
    currentFile_ = XpString();
  }
}

XpSharedPtr<XpPixmapBase> K2ProgressObserver::GetThumbnail() const {
  std::lock_guard<XpCriticalSection> hold(thumbnailLock_);
  return thumbnail_;
}

void K2ProgressObserver::SetThumbnail(XpSharedPtr<XpPixmapBase> thumbnail) {
  std::lock_guard<XpCriticalSection> hold(thumbnailLock_);
  thumbnail_ = std::move(thumbnail);
}

void K2ProgressObserver::SetSourceText(const XpString& text) {
  std::lock_guard<XpCriticalSection> hold(sourceLock_);
  sourceText_ = text;
}

XpString K2ProgressObserver::GetSourceText() const {
  std::lock_guard<XpCriticalSection> hold(sourceLock_);
  return sourceText_;
}

void K2ProgressObserver::SetDestinationText(const XpString& text) {
  std::lock_guard<XpCriticalSection> hold(destinationLock_);
  destinationText_ = text;
}

XpString K2ProgressObserver::GetDestinationText() const {
  std::lock_guard<XpCriticalSection> hold(destinationLock_);
  return destinationText_;
}

uint32_t K2ProgressObserver::ThumbnailThreadEntry(void* observer) {
  if (observer == nullptr) {
    return kXpErrInvalidHandle;
  }
  return static_cast<K2ProgressObserver*>(observer)->RunThumbnailWorker();
}

uint32_t K2ProgressObserver::RunThumbnailWorker() {
  while (!stopWorker_.load()) {
    const XpString file = GetCurrentFile();
    if (file.IsEmpty()) {
      IdleWait();
      continue;
    }
    if (ShowsThumbnails()) {
      thumbnailResult_.store(MakeThumbnail(file));
    }
    FinishCurrentFile(file);
  }
  return thumbnailResult_.load();
}

void K2ProgressObserver::IdleWait() {
  if (idleSleep_) {
    idleSleep_(kIdlePollMilliseconds);
    return;
  }
  std::unique_lock<std::mutex> hold(idleLock_);
  (void)idleWake_.wait_for(hold, std::chrono::milliseconds(kIdlePollMilliseconds),
                           [this] { return idleWakePending_; });
  idleWakePending_ = false;
}

void K2ProgressObserver::WakeIdleWorker() {
  {
    std::lock_guard<std::mutex> hold(idleLock_);
    idleWakePending_ = true;
  }
  idleWake_.notify_all();
}

XpResult K2ProgressObserver::MakeThumbnail(const XpString& file) {
  const XpSharedPtr<XpImageIo> reader = ReaderFor(file);
  if (!reader) {
    return kXpErrImaging;
  }
  const XpSize area = GetThumbnailArea();
  XpSharedPtr<XpPixmapBase> picture = ReadScaledToFit(*reader, file, area);
  if (!picture) {
    picture = ReadOrientedToFit(*reader, file, area);
  }
  if (!picture) {
    return reader->GetLastError();
  }
  SetThumbnail(picture);
  InvalidateThumbnail();
  return kXpOk;
}

XpSharedPtr<XpPixmapBase> K2ProgressObserver::ReadScaledToFit(XpImageIo& reader,
                                                              const XpString& file,
                                                              const XpSize& area) {
  XpSize size;
  if (reader.ReadImageSizeFlag0FromPath(file, &size) != kXpOk) {
    return XpSharedPtr<XpPixmapBase>();
  }
  XpRect fitted(0, 0, size.cx, size.cy);
  fitted.FitAndCenterIn(XpRect(0, 0, area.cx, area.cy));
  if (fitted.Width() < 1 || fitted.Height() < 1) {
    return XpSharedPtr<XpPixmapBase>();
  }
  return XpSharedPtr<XpPixmapBase>(reader.ReadPixmapScaledFromPath(
      file, XpSize(fitted.Width(), fitted.Height()), nullptr, true, true));
}

XpSharedPtr<XpPixmapBase> K2ProgressObserver::ReadOrientedToFit(XpImageIo& reader,
                                                                const XpString& file,
                                                                const XpSize& area) {
  XpSharedPtr<XpPixmapBase> picture(reader.ReadOrientedPixmapFromPath(file));
  if (!picture) {
    return picture;
  }
  const XpPlaneBase* plane = picture->GetPlane(0);
  XpRect fitted(0, 0, plane->width, plane->height);
  fitted.FitAndCenterIn(XpRect(0, 0, area.cx, area.cy));
  if (XpPixmapResize(*picture, fitted.Width(), fitted.Height()) != kXpOk) {
    return XpSharedPtr<XpPixmapBase>();
  }
  return picture;
}

XpSharedPtr<XpImageIo> K2ProgressObserver::ReaderFor(const XpString& path) const {
  if ((XpFormatChecker::KindFromExtension(path) & kXpKindMovieBit) == 0) {
    return XpImageIo::CreateForPath(path);
  }
  return movieReader_();
}

XpSharedPtr<XpImageIo> K2ProgressObserver::DefaultMovieReader() {
  const XpString folder = XpPathGetDirectory(XpGetSpecialFolder(kXpFolderProgramFile, false));
  return XpSharedPtr<XpImageIo>(new XpImageIoMovie(folder, false));
}
