#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/resize/ResizeWorkers.h"
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
// Up to `conversions` pictures are converted at once on threads of its own,
// each written by the thread that converted it; the items are named,
// listed, pointed at their files and told of in their order, as one
// conversion after another would. A stop or a pause holds back the pictures
// not begun yet; a stop also ends those under way at the engine's next
// check. The pictures begun after the one that ends the run are deleted
// and unlisted again, and their items stay on their sources.
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
      XpWaitClock& clock = XpWaitClock::Real(), uint32_t conversions = DefaultConversions());
  ~K2ExporterWithResize() override;

  // The factory the export task manager makes its converters with.
  static K2ExportConverterFactory Factory(
      ResizeEngine::ReaderFactory readerFactory = ResizeEngine::DefaultReaderFactory(),
      XpWaitClock& clock = XpWaitClock::Real(), uint32_t conversions = DefaultConversions());
  // One conversion at a time per processor.
  static uint32_t DefaultConversions();

  // Under the lock: stopped, no longer paused, and the engine cancelled.
  [[nodiscard]] XpResult Stop() override;
  [[nodiscard]] XpResult Pause() override;
  [[nodiscard]] XpResult Resume() override;
  // Keeps the configuration and applies it to the engine.
  [[nodiscard]] virtual XpResult SetConfig(XpSharedPtr<K2ExporterWithResizeConfig> config);
  // Converts the configuration's items; kXpOk or the first failure.
  [[nodiscard]] XpResult ConvertAll() override;
  // The file and the reason of the conversion that failed.
  std::string ConversionFailure() const override { return GetFailureDetail(); }
  // Converts the current items; stops at the first failure or a stop,
  // leaving the later items on their sources.
  [[nodiscard]] virtual XpResult ExecuteItems();
  // Converts one item and points it at its converted file.
  [[nodiscard]] virtual XpResult ExportOneResized(K2ExportItem& item);

  // The view's notifications: kCodeViewFinished marks the view finished.
  void OnNotification(XpSharedPtr<XfNotification> notification) override;
  bool IsViewFinished() const { return viewFinished_.load(std::memory_order_acquire); }

  XpSharedPtr<ResizeEngine> GetEngine() const { return engine_; }

 private:
  // A conversion given to the workers: the item's index and its file.
  struct Begun {
    size_t index = 0;
    XpString destination;
  };

  void CreateEngine(ResizeEngine::ReaderFactory readerFactory);
  [[nodiscard]] XpResult ApplyConfigToEngine();
  XpSharedPtr<K2ExporterWithResizeConfig> CurrentConfig() const;
  bool IsConvertible(const K2ExportItem& item) const;
  // The first "<name><ext>.tmp" or "<name>(n)<ext>.tmp" neither in folder
  // nor taken by a conversion under way.
  XpString FreeCandidate(const XpString& folder, const XpString& name, const XpString& ext) const;
  // Names the item's converted file and lists it as created.
  [[nodiscard]] XpResult PlanOne(const K2ExportItem& item, XpString& destination);
  // The tags with the shooting date, and the engine's conversion.
  [[nodiscard]] XpResult ConvertPlanned(const XpString& source, const XpString& destination,
                                        const XpDateTime& date);
  // Begins the conversions of the items from next_ on, in order, until
  // `window` are under way, the items run out or the task is stopped.
  void BeginMore(ResizeWorkers& workers, std::deque<Begun>& begun, size_t window);
  // Takes the outcome of the oldest conversion and points its item at it.
  [[nodiscard]] XpResult Finish(ResizeWorkers& workers, const Begun& conversion);
  // Ends the conversions still under way and removes their files.
  void Abandon(ResizeWorkers& workers, std::deque<Begun>& begun);

  XpSharedPtr<K2ExporterWithResizeConfig> config_;
  std::shared_ptr<K2CreatedFileList> createdFiles_;
  std::atomic<bool> viewFinished_{false};
  // Set by Pause, cleared by Resume and Stop: no conversion begins ahead.
  std::atomic<bool> holdingBack_{false};
  XpSharedPtr<ResizeEngine> engine_;
  K2ExportItemVector* currentItems_ = nullptr;
  const uint32_t conversions_;
  // The run's next item to begin and the files of the conversions under
  // way; only the converting thread uses them.
  size_t next_ = 0;
  std::vector<XpString> taken_;
};
