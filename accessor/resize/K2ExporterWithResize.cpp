#include "accessor/resize/K2ExporterWithResize.h"

#include <mutex>
#include <new>
#include <utility>

#include "accessor/task/helpers/K2TaskHelpers.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

constexpr const char16_t* kTemporarySuffix = u".tmp";
constexpr const char16_t* kNumberedName = u"%s(%d)%s";
constexpr const char* kNotAPicture = "not a readable JPEG picture";

}  // namespace

K2ExporterWithResize::K2ExporterWithResize(XpSharedPtr<K2ExporterWithResizeConfig> config,
                                           std::shared_ptr<K2CreatedFileList> createdFiles,
                                           ResizeEngine::ReaderFactory readerFactory,
                                           XpWaitClock& clock)
    : K2ExportTaskManager(clock), createdFiles_(std::move(createdFiles)) {
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
                                                       XpWaitClock& clock) {
  return
      [readerFactory = std::move(readerFactory), &clock](
          XpSharedPtr<K2ExporterWithResizeConfig> config,
          std::shared_ptr<K2CreatedFileList> createdFiles) -> std::shared_ptr<IK2ExportConverter> {
        return std::shared_ptr<IK2ExportConverter>(new (std::nothrow) K2ExporterWithResize(
            std::move(config), std::move(createdFiles), readerFactory, clock));
      };
}

void K2ExporterWithResize::CreateEngine(ResizeEngine::ReaderFactory readerFactory) {
  engine_ = XpSharedPtr<ResizeEngine>(new ResizeEngine(kEngineName, std::move(readerFactory)));
}

XpResult K2ExporterWithResize::Stop() {
  Guard guard(GetLock());
  static_cast<void>(K2ExportTaskManager::Stop());
  if (engine_) {
    engine_->Cancel();
  }
  return kXpOk;
}

XpResult K2ExporterWithResize::Pause() { return K2ExportTaskManager::Pause(); }

XpResult K2ExporterWithResize::Resume() { return K2ExportTaskManager::Resume(); }

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

XpResult K2ExporterWithResize::ExecuteItems() {
  if (currentItems_ == nullptr || currentItems_->empty()) {
    return kXpOk;
  }
  XpResult result = kXpOk;
  for (K2ExportItem& item : *currentItems_) {
    if (result != kXpOk || IsCancelled()) {
      break;
    }
    if (item.contentType == kK2ContentTypeJpeg && IsExportableSize(item)) {
      XpClearSysFailure();
      result = ExportOneResized(item);
      // A stop is no failure to tell of.
      if (result != kXpOk && !IsCancelled()) {
        NoteFailure(K2DescribeFailure(item.FirstSourcePath(), kNotAPicture));
      }
    }
    WaitWhilePaused();
  }
  return result;
}

XpString K2ExporterWithResize::FreeCandidate(const XpString& folder, const XpString& name,
                                             const XpString& ext) {
  XpString candidate = name + ext + kTemporarySuffix;
  for (int32_t number = 1; XpPathExists(XpPathJoin(folder, candidate)); ++number) {
    if (candidate.Format(kNumberedName, name, number, ext) != kXpOk) {
      return XpString();
    }
    candidate += kTemporarySuffix;
  }
  return candidate;
}

XpResult K2ExporterWithResize::ExportOneResized(K2ExportItem& item) {
  if (!item.HasFiles()) {
    return kXpErrBadArgument;
  }
  const XpString source = item.FirstSourcePath();
  const XpSharedPtr<K2ExporterWithResizeConfig> config = CurrentConfig();
  if (!config) {
    return kXpErrWrongState;
  }
  const XpString tempDir = config->GetTempDir();
  XpString name;
  XpString ext;
  XpPathSplit(source, nullptr, &name, &ext);
  const XpString candidate = FreeCandidate(tempDir, name, ext);
  if (candidate.IsEmpty()) {
    return kXpErrGeneric;
  }

  XpSharedPtr<XpTiffTagManager> tags;
  XpResult result = GetExifTagHelper().EnsureDateTimeOriginal(source, item.shootingDate, tags);
  if (result != kXpOk) {
    return result;
  }
  const XpString destination = XpPathJoin(tempDir, candidate);
  if (createdFiles_) {
    createdFiles_->Add(destination);
  }
  result = engine_->Convert(source, destination, tags);
  if (result != kXpOk) {
    return result;
  }
  item.fileToWrite = destination;
  return kXpOk;
}

void K2ExporterWithResize::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (notification && notification->GetCode() == kCodeViewFinished) {
    viewFinished_.store(true, std::memory_order_release);
  }
}
