#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "framework/notify/IXfNotificationObserver.h"
#include "imaging/geometry/XpSize.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"

class XfNotification;
class XfViewProgress;
class XpImageIo;
class XpPixmapBase;
class XpThread;

// Turns a task's notifications into what a progress window shows: phases,
// the current item and destination texts, a throttled refresh, error
// messages and a thumbnail of the file being handled, made on a worker
// thread of its own. It owns the progress model that the task drives.
//
// The window side is the derived class. It calls StartObserving at the end
// of its constructor (so no thread reaches it before it exists) and
// StopObserving first thing in its destructor.
class K2ProgressObserver : public IXfNotificationObserver {
 public:
  // Internal notifications.
  static constexpr uint32_t kCodeReadOnlyKept = 256;
  static constexpr uint32_t kCodeImportItemFailed = 257;
  static constexpr uint32_t kCodeRunBegins = 258;
  static constexpr uint32_t kCodeRemovalBegins = 3;
  static constexpr uint32_t kCodeFinalStep = 259;
  static constexpr uint32_t kCodeFileSkipped = 262;
  // The progress notification that names the file being handled.
  static constexpr uint32_t kCodeFileStarts = 255;
  // Passed by the progress model: the task ended.
  static constexpr uint32_t kCodeTaskEnded = 20028;
  // The idle poll of the thumbnail worker.
  static constexpr uint32_t kIdlePollMilliseconds = 100;

  using MovieReaderFactory = std::function<XpSharedPtr<XpImageIo>()>;
  using SleepFunction = std::function<void(uint32_t milliseconds)>;

  K2ProgressObserver();
  K2ProgressObserver(const K2ProgressObserver&) = delete;
  K2ProgressObserver& operator=(const K2ProgressObserver&) = delete;
  ~K2ProgressObserver() override;

  // Internal, progress and error notifications; other kinds are ignored.
  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  // The model that the task manager is given.
  XfViewProgress& GetProgress() { return *progress_; }

  void SetCaption(const XpString& caption);
  XpString GetCaption() const;

  void SetCurrentFile(const XpString& file);
  XpString GetCurrentFile() const;
  XpSharedPtr<XpPixmapBase> GetThumbnail() const;
  void SetThumbnail(XpSharedPtr<XpPixmapBase> thumbnail);
  void SetSourceText(const XpString& text);
  XpString GetSourceText() const;
  void SetDestinationText(const XpString& text);
  XpString GetDestinationText() const;

  bool IsReadOnlyKept() const { return readOnlyKept_.load(); }
  bool IsImportItemFailed() const { return importItemFailed_.load(); }
  bool HasSkippedFiles() const { return skippedFiles_.load(); }

  // The model's hooks: a notification it passes on (true when taken) and a
  // tick that refreshes at most once a clock second below 100 percent.
  bool OnViewNotification(const XpSharedPtr<XfNotification>& notification);
  void OnViewTick();

  // Ends the thumbnail worker and waits for it; idempotent.
  void StopThumbnailWorker();
  // The worker's last result.
  [[nodiscard]] XpResult GetThumbnailResult() const { return thumbnailResult_.load(); }

 protected:
  // Hooks this object to the model, registers with the notification
  // manager and starts the thumbnail worker. The reader factory and sleep are read from then on.
  void StartObserving();
  // Stops the worker and leaves the manager, waiting for deliveries that
  // run on other threads; idempotent.
  void StopObserving();

  // For tests, before StartObserving: how a movie's reader is made and how
  // the idle worker waits (by default up to kIdlePollMilliseconds, ending
  // early when a file comes or the worker is stopped).
  void SetMovieReaderFactory(MovieReaderFactory factory) { movieReader_ = std::move(factory); }
  void SetIdleSleep(SleepFunction sleep) { idleSleep_ = std::move(sleep); }

  // The window side. RequestRefresh and CloseView are called from
  // notification threads; GetThumbnailArea and InvalidateThumbnail from the
  // thumbnail worker.
  virtual void RequestRefresh() = 0;
  virtual void CloseView() = 0;
  virtual XpSize GetThumbnailArea() = 0;
  virtual void InvalidateThumbnail() = 0;
  // Whether thumbnails reach the user at all; the worker makes none while
  // they do not. Called from the thumbnail worker.
  virtual bool ShowsThumbnails() = 0;
  // Shows the message for a result code; returns once the user closed it.
  virtual void ShowError(uint32_t code) = 0;
  virtual void EnterPhase1() = 0;
  virtual void EnterPhase2() = 0;
  virtual void EnterPhase3() = 0;

 private:
  void OnInternalNotification(const XpSharedPtr<XfNotification>& notification);
  void OnProgressNotification(const XpSharedPtr<XfNotification>& notification);
  void OnErrorNotification(const XpSharedPtr<XfNotification>& notification);

  static uint32_t ThumbnailThreadEntry(void* observer);
  static bool ViewDispatchThunk(XpSharedPtr<XfNotification> notification, void* context);
  static void ViewUpdateThunk(void* context);
  static XpSharedPtr<XpImageIo> DefaultMovieReader();
  // A movie frame reader for movies, the still reader of the file type
  // otherwise.
  XpSharedPtr<XpImageIo> ReaderFor(const XpString& path) const;

  uint32_t RunThumbnailWorker();
  // One request: the thumbnail of file, or the reason there is none.
  [[nodiscard]] XpResult MakeThumbnail(const XpString& file);
  // The picture decoded no larger than it must be to fill its place in
  // area; empty when the reader cannot tell its size or read it so.
  static XpSharedPtr<XpPixmapBase> ReadScaledToFit(XpImageIo& reader, const XpString& file,
                                                   const XpSize& area);
  // The reader's oriented picture, resized to fit area; empty without one.
  static XpSharedPtr<XpPixmapBase> ReadOrientedToFit(XpImageIo& reader, const XpString& file,
                                                     const XpSize& area);
  // Clears the current file only while it still names file.
  void FinishCurrentFile(const XpString& file);
  // The idle worker's pause between two looks at the current file.
  void IdleWait();
  void WakeIdleWorker();

  std::unique_ptr<XfViewProgress> progress_;
  mutable XpCriticalSection captionLock_;
  XpString caption_;
  std::atomic<int64_t> lastRefresh_{0};
  std::atomic<bool> readOnlyKept_{false};
  std::atomic<bool> importItemFailed_{false};
  std::atomic<bool> skippedFiles_{false};
  mutable XpCriticalSection thumbnailLock_;
  XpSharedPtr<XpPixmapBase> thumbnail_;
  mutable XpCriticalSection currentFileLock_;
  XpString currentFile_;
  mutable XpCriticalSection sourceLock_;
  XpString sourceText_;
  mutable XpCriticalSection destinationLock_;
  XpString destinationText_;
  std::mutex workerLock_;
  XpThread* worker_ = nullptr;
  std::atomic<bool> stopWorker_{false};
  std::atomic<XpResult> thumbnailResult_{kXpOk};
  std::atomic<bool> observing_{false};
  MovieReaderFactory movieReader_;
  SleepFunction idleSleep_;
  std::mutex idleLock_;
  std::condition_variable idleWake_;
  bool idleWakePending_ = false;
};
