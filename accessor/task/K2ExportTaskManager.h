#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <memory>
#include <vector>

#include "accessor/settings/K2ExportConfig.h"
#include "accessor/task/IK2ExportConverter.h"
#include "accessor/task/K2CreatedFileList.h"
#include "accessor/task/K2ExifTagHelper.h"
#include "accessor/task/K2ExportItem.h"
#include "accessor/task/K2ExportRunFolder.h"
#include "accessor/task/K2PollWait.h"
#include "framework/notify/XfObject.h"
#include "framework/progress/XfProgressStep.h"
#include "imaging/movie/XpImageIoMovie.h"
#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

class SfContentInfoXML;
class XfViewProgress;
class XpThread;
struct K2ExportBatch;

namespace XdbAccessor {
class IAlbumInfo;
class IXdbAccessor;
}  // namespace XdbAccessor

// Turns the contents of a hand-over file into files on the camera. Start
// builds the items and starts a worker thread that prepares them (converting
// pictures when the settings ask for it, and measuring the files to write),
// follows the dialogs' changes of settings while the user decides, and after
// the release (Interrupt) runs the export and ends with a status, an error
// prompt and its notifications. Every notification names the manager as its
// sender through a borrowed XfPointer.
//
// Start, Interrupt, Stop, Pause, Resume, SetConfig and OnCameraRemoved come
// from the main thread; the worker runs the task body and the copy progress
// callback. Flags, both settings, the status and the converter are guarded
// by one lock.
//
// Example: export the contents of a hand-over file (content, an
// SfContentInfoXML) to the camera mounted at /media/CAM/ once the user
// confirms.
//
//   K2ExportTaskManager manager;
//   K2ExportConfig config;
//   config.SetDestination(u"/media/CAM/");
//   config.SetTempDir(u"/tmp/");
//   XpResult result = manager.Start(config, content, nullptr);
//   if (XpFailed(result)) return result;  // kK2ErrUnsupportedContents
//   // The user confirms:
//   result = manager.Interrupt();
//   if (XpFailed(result)) return result;
//   return manager.WaitUntilFinished();  // kXpOk: every item is on the camera
class K2ExportTaskManager : public IXpFileOpProgressObserver {
 public:
  // Notification codes.
  static constexpr uint32_t kCodeFileStarts = 255;
  static constexpr uint32_t kCodeRunBegins = 258;
  static constexpr uint32_t kCodeCopyProgress = 260;
  static constexpr uint32_t kCodePrepared = 261;
  static constexpr uint32_t kCodeFileSkipped = 262;
  static constexpr uint32_t kCodeTaskEnded = 20028;
  // The prompt style of the error prompt at the end of a task.
  static constexpr uint32_t kErrorPromptStyle = 1;
  // Both codes of a measuring step.
  static constexpr uint32_t kStepCode = 0x104;
  static constexpr double kMinStepWeight = 4096.0;
  // A movie of this size or larger is not exported.
  static constexpr int64_t kMaxMovieBytes = 0x80000000LL;
  static constexpr uint32_t kPollMilliseconds = 250;
  static constexpr uint32_t kPromptPollMilliseconds = 1000;

  // clock paces the polls of the worker; tests pass one that does not wait.
  // With the real clock a poll ends early once what it waits for may have
  // changed (stop, resume, new settings, an answered prompt). The release
  // is seen at the next poll, so the progress window shows its waiting
  // state before the run begins.
  explicit K2ExportTaskManager(XpWaitClock& clock = XpWaitClock::Real());
  K2ExportTaskManager(const K2ExportTaskManager&) = delete;
  K2ExportTaskManager& operator=(const K2ExportTaskManager&) = delete;
  // Stops the task and waits for its worker.
  ~K2ExportTaskManager() override;

  // Opens the album database of the camera mounted at root (with its
  // trailing '/'): 0 with *out set, or null when the camera has none; else
  // a code.
  using XdbAccessorFactory =
      std::function<XpResult(XdbAccessor::IXdbAccessor** out, const XpString& root)>;
  // The bytes of root's volume that the caller may use; below 0 when they
  // cannot be learned.
  using FreeSpaceQuery = std::function<int64_t(const XpString& root)>;

  // The maker of the converter used when the settings ask for conversion;
  // without one, conversion leaves every item on its source. Set before
  // Start.
  void SetConverterFactory(K2ExportConverterFactory factory);
  // The run's seams, set before Start. By default the album database is
  // XdbAccessor::CreateDeviceXdbAccessor, the free space XpDir(root)'s, and
  // movie thumbnails come from "TLVMPThumb" with the plug-ins of the
  // program's folder.
  void SetXdbAccessorFactory(XdbAccessorFactory factory);
  void SetFreeSpaceQuery(FreeSpaceQuery query);
  void SetMovieServer(const XpString& pluginFolder, const XpImageIoMovieOptions& options);

  // The copy progress callback: posts the progress 260 with the integer
  // percent, and at 100 also the internal 260; waits while paused; true
  // when the progress view's stop flag is set.
  virtual bool Execute(double percent);
  bool OnFileOpProgress(double percent) override { return Execute(percent); }

  // Stop is final; Pause and Resume hold and release measuring, copying and
  // the converter. Each reaches the current converter. Always kXpOk.
  [[nodiscard]] virtual XpResult Stop();
  [[nodiscard]] virtual XpResult Pause();
  [[nodiscard]] virtual XpResult Resume();

  // Builds the items from the hand-over content; on success they replace
  // all items. The build's result.
  [[nodiscard]] virtual XpResult Prepare(const SfContentInfoXML& content);
  virtual void SetItems(const K2ExportItemVector& items);
  virtual void SetDestination(const XpString& root);
  virtual bool IsNothingDone() const;
  // Some contents are not exportable.
  virtual bool HasPending() const;
  virtual uint64_t GetRequiredBytes() const;
  virtual uint32_t GetProcessedCount() const;
  // Counts the exportable items and sums their files' sizes, each rounded up
  // to the destination volume's allocation unit.
  virtual void UpdateTotals();
  // JPEG pictures always; movies below kMaxMovieBytes; nothing else, and no
  // item without files.
  virtual bool IsExportableSize(const K2ExportItem& item) const;

  // Builds and sorts the exportable items and starts the worker; called
  // once. kK2ErrUnsupportedContents when some contents are not exportable,
  // else kXpOk (also when the hand-over content could not be read: the task
  // then has nothing to export).
  [[nodiscard]] XpResult Start(const K2ExportConfig& config, const SfContentInfoXML& content,
                               XfViewProgress* progressView);
  // The release: the user confirmed.
  [[nodiscard]] XpResult Interrupt();
  bool IsInterrupted() const;
  bool IsCancelled() const;
  bool IsStopped() const;
  [[nodiscard]] XpResult GetStatus() const;
  // What the failure line of an ended task names besides its code: the
  // file and the reason of the failure, and the files that were skipped
  // with the first one's reason. Empty when there is nothing to tell.
  std::string GetFailureDetail() const;
  // The files the run could not write and skipped.
  uint32_t GetSkippedCount() const;
  // Runs of consecutive exportable items in one folder, and the exportable
  // count; both 0 without exportable items.
  void GetCounts(uint32_t* groupCount, uint32_t* itemCount) const;
  // New settings from the dialogs. A change of the conversion or the
  // temporary folder stops the converter and sends the worker back to
  // preparation; a destination alone does not. Always kXpOk.
  [[nodiscard]] XpResult SetConfig(const K2ExportConfig& config);
  // The volume watch: a removal stops the task, and during a released task
  // stores kK2ErrCameraGone as the status.
  void OnCameraRemoved(bool arrived);

  // Waits for the worker to end; the task body's result (kXpOk without a
  // worker).
  [[nodiscard]] XpResult WaitUntilFinished();

  // The files this task made; deleted when it cleans up.
  K2CreatedFileList& GetCreatedFiles() { return *createdFiles_; }
  // Copies, taken under the lock.
  K2ExportItemVector GetAllItems() const;
  K2ExportItemVector GetExportableItems() const;
  std::vector<int64_t> GetFileSizes() const;
  std::vector<XfProgressStep> GetProgressSteps() const;

 protected:
  // The export on the camera after the release; its result ends the task.
  // A class that overrides it calls Stop and WaitUntilFinished first thing
  // in its destructor, so the worker never runs into a half-destroyed
  // object.
  [[nodiscard]] virtual XpResult RunExport();

  // The parts of the run. ExportIntoFolder copies the items whose
  // destination lies in folder, ten exportable items a batch, and records
  // each batch; RegisterBatch records and commits one batch (0 or
  // kK2ErrAlbumDatabase). ReencodeJpegIfNeeded points an item without a
  // thumbnail IFD at a re-encoded copy in the temporary folder;
  // MakeMovieThumbnail writes a thumbnail JPEG from the movie's first
  // frame; NotifyCurrentItem posts the file that is being copied.
  [[nodiscard]] XpResult ExportIntoFolder(const XpString& folder);
  [[nodiscard]] XpResult RegisterBatch(const K2ExportItemVector& batch);
  // The albums and contents of one batch, without the commit.
  [[nodiscard]] XpResult RecordBatch(const K2ExportItemVector& batch);
  bool HasEnoughFreeSpace();
  bool CheckDatabaseCapacity();
  [[nodiscard]] XpResult ReencodeJpegIfNeeded(K2ExportItem& item);
  [[nodiscard]] XpResult MakeMovieThumbnail(const XpString& moviePath,
                                            const XpString& thumbnailPath, const XpDateTime& date);
  void NotifyCurrentItem(const K2ExportItem& item);

  // Posts one notification with the manager as sender.
  void PostInternal(uint32_t code, XpSharedPtr<XfObject> payload);
  void PostProgress(uint32_t code, uint32_t value);
  // Posts the error prompt for code and waits for its answer.
  void ReportError(XpResult code);
  // Waits in polls while paused; true when it waited.
  bool WaitWhilePaused();
  // Keeps the file and reason of the failure that ends the task; the first
  // one stays.
  void NoteFailure(const std::string& detail);
  // The folder for this run's temporary files: the run's own folder in the
  // current temporary folder, or that folder itself when none can be made.
  XpString WorkFolder();
  XpString GetDestinationRoot() const;
  K2ExifTagHelper& GetExifTagHelper() { return tagHelper_; }
  XpWaitClock& GetClock() { return clock_; }
  XpCriticalSection& GetLock() const { return lock_; }
  // The current exportable items; only the worker changes them once
  // started.
  K2ExportItemVector& ExportableItems() { return exportable_; }

 private:
  static uint32_t WorkerMain(void* manager);
  [[nodiscard]] XpResult RunTask();
  [[nodiscard]] XpResult PreparationLoop();
  [[nodiscard]] XpResult PrepareItems();
  [[nodiscard]] XpResult PrepareConversion(const K2ExportConfig& config);
  void PointItemsAtSources();
  void MeasureItems();
  [[nodiscard]] XpResult RunAfterRelease(XpResult result);
  [[nodiscard]] XpResult FinishTask(XpResult result);
  [[nodiscard]] XpResult DeleteTemporaryFiles();
  bool IsConfigChanged() const;
  // A change of the settings came after the preparation began, or the
  // settings differ from the prepared ones now.
  bool IsPreparationStale() const;
  K2ExportConfig CurrentConfig() const;
  void SleepPoll(uint32_t milliseconds);
  XpSharedPtr<XfObject> Sender();
  // The run's steps.
  [[nodiscard]] XpResult RunExportChecked(const XpString& root);
  [[nodiscard]] XpResult CheckBeforeWriting();
  [[nodiscard]] XpResult ExportFolders(const XpString& root, const XpStringVector& folders);
  // Clear what a killed run left: the files of the folder that the
  // camera's marker names which the album database does not record (before
  // numbers are given out), and the hidden partial copies in the folders
  // this run writes.
  void ClearMarkedFolder(const XpString& root);
  void RemoveCardTemporaries(const XpString& root, const XpStringVector& folders);
  std::set<int32_t> RecordedFileNumbers(const XpString& folder);
  // Copies the item (a movie with its thumbnail) into the batch; a copy
  // that fails while the camera is there is skipped.
  [[nodiscard]] XpResult CopyItem(K2ExportItem& item, K2ExportBatch* batch);
  // Publishes the batch's copies; the batch keeps the items all of whose
  // files reached their names.
  [[nodiscard]] XpResult PublishCopies(K2ExportBatch* batch);
  // kK2ErrCameraGone when the camera went, else counts and posts the skip
  // of a copy that failed with failure: kXpOk.
  [[nodiscard]] XpResult SkipFailedCopy(XpResult failure);
  [[nodiscard]] XpResult AddMovieThumbnail(const K2ExportItem& item, K2ExportBatch* batch);
  // Removes the published files of items from the camera again.
  void RemovePublished(const K2ExportItemVector& items);
  // The code of a batch whose commit failed with code.
  [[nodiscard]] static XpResult CommitFailure(int32_t code);
  void ReleaseAlbums();
  void ReleaseAlbumDatabase();
  // Stop, or the progress view's stop flag.
  bool IsStopRequested() const;

  XpWaitClock& clock_;
  K2PollWait pollWait_;
  XpThread* worker_ = nullptr;
  K2ExportConfig current_;
  K2ExportConfig requested_;
  // Set when a change of the settings stopped or outdated the preparation.
  bool preparationStale_ = false;
  XfViewProgress* progressView_ = nullptr;
  K2ExportItemVector items_;
  K2ExportItemVector exportable_;
  XpString destinationRoot_;
  uint32_t exportableCount_ = 0;
  uint64_t byteTotal_ = 0;
  K2ExifTagHelper tagHelper_;
  std::atomic<bool> released_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> paused_{false};
  mutable XpCriticalSection lock_;
  std::vector<int64_t> fileSizes_;
  std::vector<XfProgressStep> steps_;
  K2ExportConverterFactory converterFactory_;
  std::shared_ptr<K2CreatedFileList> createdFiles_;
  // Swapped under the lock; the worker converts through its own reference.
  std::shared_ptr<IK2ExportConverter> converter_;
  XpResult status_ = kXpOk;
  std::atomic<uint32_t> outstandingPrompts_{0};
  std::atomic<XpResult> taskResult_{kXpOk};
  // What the failure line tells, under the lock.
  std::string failureDetail_;
  uint32_t skipped_ = 0;
  std::string firstSkip_;
  bool skippedForFullCard_ = false;
  // The worker's: the folder of this run's temporary files.
  K2ExportRunFolder runFolder_;
  // The run's seams and state; the album database and the album map belong
  // to the worker during a run.
  XdbAccessorFactory xdbFactory_;
  FreeSpaceQuery freeSpaceQuery_;
  XpString moviePluginFolder_;
  XpImageIoMovieOptions movieOptions_;
  XdbAccessor::IXdbAccessor* xdb_ = nullptr;
  std::map<XpString, XdbAccessor::IAlbumInfo*> albums_;
};
