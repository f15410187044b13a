#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/task/IK2ExportConverter.h"
#include "accessor/task/K2CreatedFileList.h"
#include "accessor/task/K2ExportItem.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/K2ExporterWithResizeConfig.h"
#include "framework/notify/XfView.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

class XfNotification;

// The export task's converter: during the preparation it turns every
// exportable JPEG picture of the configuration's items into a smaller JPEG
// in the temporary folder ("<name><ext>.tmp", or "<name>(n)<ext>.tmp" when
// taken), with the source's tags and a shooting date, and points the item's
// file to write at it. Every file it may write is listed in the task's
// created files before it is written.
//
// Of its task-manager part it uses the lock, the stop and pause flags, the
// pause wait, IsExportableSize and the tag helper; that part never starts a
// worker. ConvertAll runs on the task's worker; Stop, Pause and Resume come
// from the main thread. A stop is final.
class K2ExporterWithResize : public K2ExportTaskManager, public XfView, public IK2ExportConverter {
 public:
  // The notification that tells the view it is finished.
  static constexpr uint32_t kCodeViewFinished = 20027;
  // The engine's name, handed to the JPEG writer.
  static constexpr const char16_t* kEngineName = u"Orvane";

  K2ExporterWithResize(
      XpSharedPtr<K2ExporterWithResizeConfig> config,
      std::shared_ptr<K2CreatedFileList> createdFiles,
      ResizeEngine::ReaderFactory readerFactory = ResizeEngine::DefaultReaderFactory(),
      XpWaitClock& clock = XpWaitClock::Real());
  ~K2ExporterWithResize() override;

  // The factory the export task manager makes its converters with.
  static K2ExportConverterFactory Factory(
      ResizeEngine::ReaderFactory readerFactory = ResizeEngine::DefaultReaderFactory(),
      XpWaitClock& clock = XpWaitClock::Real());

  // Under the lock: stopped, no longer paused, and the engine cancelled.
  XpResult Stop() override;
  XpResult Pause() override;
  XpResult Resume() override;
  // Keeps the configuration and applies it to the engine.
  virtual XpResult SetConfig(XpSharedPtr<K2ExporterWithResizeConfig> config);
  // Converts the configuration's items; kXpOk or the first failure.
  XpResult ConvertAll() override;
  // The file and the reason of the conversion that failed.
  std::string ConversionFailure() const override { return GetFailureDetail(); }
  // Converts the current items in order; stops at the first failure or a
  // stop, leaving the later items on their sources.
  virtual XpResult ExecuteItems();
  // Converts one item and points it at its converted file.
  virtual XpResult ExportOneResized(K2ExportItem& item);

  // The view's notifications: kCodeViewFinished marks the view finished.
  void OnNotification(XpSharedPtr<XfNotification> notification) override;
  bool IsViewFinished() const { return viewFinished_.load(std::memory_order_acquire); }

  XpSharedPtr<ResizeEngine> GetEngine() const { return engine_; }

 private:
  void CreateEngine(ResizeEngine::ReaderFactory readerFactory);
  XpResult ApplyConfigToEngine();
  XpSharedPtr<K2ExporterWithResizeConfig> CurrentConfig() const;
  // The first "<name><ext>.tmp" or "<name>(n)<ext>.tmp" not in folder.
  static XpString FreeCandidate(const XpString& folder, const XpString& name, const XpString& ext);

  XpSharedPtr<K2ExporterWithResizeConfig> config_;
  std::shared_ptr<K2CreatedFileList> createdFiles_;
  std::atomic<bool> viewFinished_{false};
  XpSharedPtr<ResizeEngine> engine_;
  K2ExportItemVector* currentItems_ = nullptr;
};
