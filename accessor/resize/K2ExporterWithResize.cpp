#include "accessor/resize/K2ExporterWithResize.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

#include "accessor/task/helpers/K2TaskHelpers.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/path/XpPath.h"
#include "platform/system/XpSystemInfo.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

constexpr const char16_t* kTemporarySuffix = u".tmp";
constexpr const char16_t* kNumberedName = u"%s(%d)%s";
constexpr const char* kNotAPicture = "not a readable JPEG picture";

}  // namespace

K2ExporterWithResize::K2ExporterWithResize(XpSharedPtr<K2ExporterWithResizeConfig> config,
                                           std::shared_ptr<K2CreatedFileList> createdFiles,
                                           ResizeEngine::ReaderFactory readerFactory,
                                           XpWaitClock& clock, uint32_t conversions)
    : K2ExportTaskManager(clock),
      createdFiles_(std::move(createdFiles)),
      conversions_(std::max<uint32_t>(conversions, 1)) {
  CreateEngine(std::move(readerFactory));
  static_cast<void>(SetConfig(std::move(config)));
}

K2ExporterWithResize::~K2ExporterWithResize() {
  // No delivery may reach OnNotification once this part is gone.
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->RemoveObserver(this);
  }
}

K2ExportConverterFactory K2ExporterWithResize::Factory(ResizeEngine::ReaderFactory readerFactory,
                                                       XpWaitClock& clock, uint32_t conversions) {
  return
      [readerFactory = std::move(readerFactory), &clock, conversions](
          XpSharedPtr<K2ExporterWithResizeConfig> config,
          std::shared_ptr<K2CreatedFileList> createdFiles) -> std::shared_ptr<IK2ExportConverter> {
        return std::shared_ptr<IK2ExportConverter>(new (std::nothrow) K2ExporterWithResize(
            std::move(config), std::move(createdFiles), readerFactory, clock, conversions));
      };
}

uint32_t K2ExporterWithResize::DefaultConversions() { return XpGetUsableProcessorCount(); }

void K2ExporterWithResize::CreateEngine(ResizeEngine::ReaderFactory readerFactory) {
  engine_ = XpSharedPtr<ResizeEngine>(new ResizeEngine(kEngineName, std::move(readerFactory)));
}

XpResult K2ExporterWithResize::Stop() {
  Guard guard(GetLock());
  static_cast<void>(K2ExportTaskManager::Stop());
  holdingBack_.store(false);
  if (engine_) {
    engine_->Cancel();
  }
  return kXpOk;
}

XpResult K2ExporterWithResize::Pause() {
  holdingBack_.store(true);
  return K2ExportTaskManager::Pause();
}

XpResult K2ExporterWithResize::Resume() {
  holdingBack_.store(false);
  return K2ExportTaskManager::Resume();
}

XpResult K2ExporterWithResize::SetConfig(XpSharedPtr<K2ExporterWithResizeConfig> config) {
  {
    Guard guard(GetLock());
    config_ = std::move(config);
  }
  return ApplyConfigToEngine();
}

XpSharedPtr<K2ExporterWithResizeConfig> K2ExporterWithResize::CurrentConfig() const {
  Guard guard(GetLock());
  return config_;
}

XpResult K2ExporterWithResize::ApplyConfigToEngine() {
  const XpSharedPtr<K2ExporterWithResizeConfig> config = CurrentConfig();
  if (!engine_ || !config) {
    return kXpOk;
  }
  static_cast<void>(engine_->SetQuality(static_cast<uint32_t>(K2ChooseJpegQuality(false))));
  K2ExporterWithResizeConfig::Size size;
  config->GetSize(&size);
  if (size.width == K2ExporterWithResizeConfig::kLargeWidth &&
      size.height == K2ExporterWithResizeConfig::kLargeHeight) {
    engine_->SetSizeMode(ResizeEngine::kSizeModeLarge);
  } else if (size.width == K2ExporterWithResizeConfig::kSmallWidth &&
             size.height == K2ExporterWithResizeConfig::kSmallHeight) {
    engine_->SetSizeMode(ResizeEngine::kSizeModeSmall);
  }
  engine_->SetCutting(config->IsCuttingEnabled());
  return kXpOk;
}

XpResult K2ExporterWithResize::ConvertAll() {
  const XpSharedPtr<K2ExporterWithResizeConfig> config = CurrentConfig();
  currentItems_ = config ? config->GetItems() : nullptr;
  return ExecuteItems();
}

bool K2ExporterWithResize::IsConvertible(const K2ExportItem& item) const {
  return item.contentType == kK2ContentTypeJpeg && IsExportableSize(item);
}

XpResult K2ExporterWithResize::ExecuteItems() {
  if (currentItems_ == nullptr || currentItems_->empty()) {
    return kXpOk;
  }
  // One conversion at a time runs on this thread itself.
  ResizeWorkers workers(conversions_ > 1 ? conversions_ : 0);
  const size_t window = std::max<size_t>(workers.GetThreadCount(), 1);
  std::deque<Begun> begun;
  next_ = 0;
  XpResult result = kXpOk;
  for (size_t index = 0; index < currentItems_->size(); ++index) {
    // A stop holds back what is not begun; what is under way is taken in.
    const bool underWay = !begun.empty() && begun.front().index == index;
    if (result != kXpOk || (!underWay && IsCancelled())) {
      break;
    }
    BeginMore(workers, begun, window);
    if (!begun.empty() && begun.front().index == index) {
      result = Finish(workers, begun.front());
      begun.pop_front();
    }
    WaitWhilePaused();
  }
  Abandon(workers, begun);
  return result;
}

void K2ExporterWithResize::BeginMore(ResizeWorkers& workers, std::deque<Begun>& begun,
                                     size_t window) {
  // While paused only the current item's conversion begins, as it would
  // one after another.
  const auto full = [&begun, window, this] {
    return begun.size() >= (holdingBack_.load() ? size_t{1} : window);
  };
  for (; next_ < currentItems_->size() && !full() && !IsCancelled(); ++next_) {
    const K2ExportItem& item = (*currentItems_)[next_];
    if (!IsConvertible(item)) {
      continue;
    }
    XpClearSysFailure();
    XpString destination;
    const XpResult planned = PlanOne(item, destination);
    if (planned != kXpOk) {
      const XpSysFailure failure = XpLastSysFailure();
      workers.Submit([planned, failure] {
        XpSetSysFailure(failure);
        return planned;
      });
    } else {
      workers.Submit([this, source = item.FirstSourcePath(), destination,
                      date = item.shootingDate] {
        return ConvertPlanned(source, destination, date);
      });
    }
    taken_.push_back(destination);
    begun.push_back(Begun{next_, destination});
  }
}

XpResult K2ExporterWithResize::Finish(ResizeWorkers& workers, const Begun& conversion) {
  const ResizeWorkers::Outcome outcome = workers.TakeNext();
  const auto taken = std::find(taken_.begin(), taken_.end(), conversion.destination);
  if (taken != taken_.end()) {
    taken_.erase(taken);
  }
  K2ExportItem& item = (*currentItems_)[conversion.index];
  if (outcome.result == kXpOk) {
    item.fileToWrite = conversion.destination;
    return kXpOk;
  }
  // A stop is no failure to tell of.
  if (!IsCancelled()) {
    XpSetSysFailure(outcome.failure);
    NoteFailure(K2DescribeFailure(item.FirstSourcePath(), kNotAPicture));
  }
  return outcome.result;
}

void K2ExporterWithResize::Abandon(ResizeWorkers& workers, std::deque<Begun>& begun) {
  workers.Discard();
  for (const Begun& conversion : begun) {
    if (conversion.destination.IsEmpty()) {
      continue;
    }
    if (createdFiles_) {
      createdFiles_->Remove(conversion.destination);
    }
    if (XpPathExists(conversion.destination)) {
      static_cast<void>(XpDeleteFile(conversion.destination));
    }
  }
  begun.clear();
  taken_.clear();
}

XpString K2ExporterWithResize::FreeCandidate(const XpString& folder, const XpString& name,
                                             const XpString& ext) const {
  const auto taken = [this, &folder](const XpString& candidate) {
    const XpString path = XpPathJoin(folder, candidate);
    return std::find(taken_.begin(), taken_.end(), path) != taken_.end() || XpPathExists(path);
  };
  XpString candidate = name + ext + kTemporarySuffix;
  for (int32_t number = 1; taken(candidate); ++number) {
    if (candidate.Format(kNumberedName, name, number, ext) != kXpOk) {
      return XpString();
    }
    candidate += kTemporarySuffix;
  }
  return candidate;
}

XpResult K2ExporterWithResize::PlanOne(const K2ExportItem& item, XpString& destination) {
  if (!item.HasFiles()) {
    return kXpErrBadArgument;
  }
  const XpSharedPtr<K2ExporterWithResizeConfig> config = CurrentConfig();
  if (!config) {
    return kXpErrWrongState;
  }
  const XpString tempDir = config->GetTempDir();
  XpString name;
  XpString ext;
  XpPathSplit(item.FirstSourcePath(), nullptr, &name, &ext);
  const XpString candidate = FreeCandidate(tempDir, name, ext);
  if (candidate.IsEmpty()) {
    return kXpErrGeneric;
  }
  destination = XpPathJoin(tempDir, candidate);
  if (createdFiles_) {
    createdFiles_->Add(destination);
  }
  return kXpOk;
}

XpResult K2ExporterWithResize::ConvertPlanned(const XpString& source, const XpString& destination,
                                              const XpDateTime& date) {
  XpSharedPtr<XpTiffTagManager> tags;
  const XpResult result = GetExifTagHelper().EnsureDateTimeOriginal(source, date, tags);
  if (result != kXpOk) {
    return result;
  }
  return engine_->Convert(source, destination, tags);
}

XpResult K2ExporterWithResize::ExportOneResized(K2ExportItem& item) {
  XpString destination;
  XpResult result = PlanOne(item, destination);
  if (result == kXpOk) {
    result = ConvertPlanned(item.FirstSourcePath(), destination, item.shootingDate);
  }
  if (result == kXpOk) {
    item.fileToWrite = destination;
  }
  return result;
}

void K2ExporterWithResize::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (notification && notification->GetCode() == kCodeViewFinished) {
    viewFinished_.store(true, std::memory_order_release);
  }
}
