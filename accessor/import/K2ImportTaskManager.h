#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "accessor/dialogs/IK2ProgressTask.h"
#include "accessor/import/K2DifferentialHistory.h"
#include "accessor/import/K2ImportTaskDCFObj.h"
#include "accessor/import/K2ImportedObject.h"
#include "framework/progress/XfProgressStep.h"
#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class K2FolderNameObject;
class K2ImportConfig;
class K2SalvageConfig;
class XfObject;
class XfViewProgress;
class XpDCFObj;
class XpThread;

namespace XdbAccessor {
class IContentInfo;
class IContentList;
class IXdbAccessor;
}  // namespace XdbAccessor

// The camera-to-PC import. StartImport starts a worker that lists the
// contents of the camera's album database (all of them, or with the
// differential import those newer than the last import from that camera),
// builds one K2ImportTaskDCFObj per content and checks the free space.
// After Confirm the worker copies each content into a folder named after
// its album, writes the import record and the ".modd" side files of
// favourite contents, raises the camera's import history and, when asked,
// removes the imported files and their records from the camera in chunks
// of 50 with one database commit each. A camera file is deleted only after
// its copy was flushed and the record saved. A commit that fails ends the
// removal with kK2ErrAlbumDatabase: the later chunks stay on the camera and
// in its database.
//
// An item whose copy fails while the camera stays is skipped and the run
// goes on; the manager counts such items and keeps the first one's file
// and cause for the caller to tell.
//
// The history is raised only to the highest listed id below which every
// listed content was imported, so that a content that failed, was stopped
// or was not reached is listed again by the next differential import; a
// killed import at worst imports a content twice.
//
// The camera is the volume that holds the source folder. Every
// notification names the manager as its sender through a borrowed
// XfPointer. The progress window in import mode holds, resumes and stops
// the manager as its task.
//
// Example: import what settings (a K2ImportConfig whose source is the
// camera's DCIM folder) name once the user confirms.
//
//   K2ImportTaskManager manager;
//   const XpResult started = manager.StartImport(settings, nullptr);
//   if (XpFailed(started)) return started;  // kXpErrPathNotFound: no destination
//   const K2ImportTaskManager::Preparation prepared = manager.WaitForPreparation(30);
//   if (prepared.state != K2ImportTaskManager::PreparationState::kReady) {
//     manager.Stop();                      // ends a preparation that still runs
//     return manager.WaitUntilFinished();  // the failed preparation's code
//   }
//   // prepared.itemCount items of prepared.byteTotal bytes; the user confirms:
//   const XpResult confirmed = manager.Confirm();
//   if (XpFailed(confirmed)) return confirmed;
//   return manager.WaitUntilFinished();  // kXpOk: every item is on the PC
class K2ImportTaskManager : public IXpFileOpProgressObserver, public IK2ProgressTask {
 public:
  // Notification codes.
  static constexpr uint32_t kCodeDeleteProgress = 0;
  static constexpr uint32_t kCodeFileDeleted = 0;
  static constexpr uint32_t kCodeRemovalBegins = 3;
  static constexpr uint32_t kCodeItemStarts = 0xFF;
  static constexpr uint32_t kCodeReadOnlyKept = 0x100;
  static constexpr uint32_t kCodeItemFailed = 0x101;
  static constexpr uint32_t kCodeRunBegins = 0x102;
  static constexpr uint32_t kCodeImportEnded = 20028;
  static constexpr uint32_t kErrorPromptStyle = 1;

  // Waits of the worker.
  static constexpr std::chrono::milliseconds kConfirmPoll{250};
  static constexpr std::chrono::milliseconds kPausePoll{250};
  static constexpr std::chrono::milliseconds kPromptPoll{1000};
  static constexpr std::chrono::milliseconds kItemPause{100};

  // Free space kept beyond the rounded size of the files to import.
  static constexpr uint64_t kFreeSpaceReserve = 47185920;
  // Step weights: a share of the bytes, at least of kMinStepBytes.
  static constexpr double kCopyWeight = 0.9;
  static constexpr double kRemovalWeight = 0.09;
  static constexpr uint64_t kMinStepBytes = 4096;

  // The album database folders of a card; a card with none of them has no
  // database.
  static constexpr const char16_t* kDatabaseFolders[] = {u"DBFILES", u"DBFILES.tmp",
                                                         u"DBFILES.bak"};
  // The suite browser's key under the local machine, and its program when
  // the key names none.
  static constexpr const char16_t* kBrowserKey = u"Software\\Kavo Corporation\\QMV\\Browser";
  static constexpr const char16_t* kBrowserFolder = u"Browser";
  static constexpr const char16_t* kBrowserProgram = u"TLVBrowser.exe";

  // Opens the album database of the card mounted at root (with its
  // trailing '/'): 0 with *out set, else a code.
  using XdbAccessorFactory =
      std::function<XpResult(XdbAccessor::IXdbAccessor** out, const XpString& root)>;

  // An item of the last import run that was not imported.
  struct ItemFailure {
    // The item's main camera file.
    XpString file;
    // The copy's result.
    XpResult code = kXpOk;
    // The failing system call, when one was recorded.
    XpSysFailure cause;
  };

  enum class PreparationState { kPreparing, kReady, kFailed };
  // The outcome of the worker's preparation.
  struct Preparation {
    PreparationState state = PreparationState::kPreparing;
    // Ready: the items to import and the bytes of their files.
    uint32_t itemCount = 0;
    uint64_t byteTotal = 0;
    // Failed: why.
    XpResult code = kXpOk;
  };

  // clock paces the worker's waits; tests pass one that does not wait.
  explicit K2ImportTaskManager(XpWaitClock& clock = XpWaitClock::Real());
  K2ImportTaskManager(const K2ImportTaskManager&) = delete;
  K2ImportTaskManager& operator=(const K2ImportTaskManager&) = delete;
  // Stops a worker that still waits for the confirmation, waits for the
  // worker without limit, then deletes a 0-byte record file.
  ~K2ImportTaskManager() override;

  // XdbAccessor::CreateDeviceXdbAccessor by default; set before StartImport.
  void SetXdbAccessorFactory(XdbAccessorFactory factory);

  // Takes the settings and starts the worker. kXpErrPathNotFound when the
  // destination is not an existing folder (the calling thread's system
  // failure then names it and why), or the history's load result;
  // no worker starts then. Without a readable camera serial a differential
  // import runs as a full one (IsDifferentialSkipped). kXpErrWrongState
  // while a worker of an earlier start has not been waited for.
  [[nodiscard]] XpResult StartImport(K2ImportConfig& settings, XfViewProgress* progress);
  // The user confirmed the import; the worker goes on from its
  // preparation. 0.
  [[nodiscard]] XpResult Confirm();
  // Waits (at most timeoutSeconds) until the preparation is ready or
  // failed, and returns that outcome; kPreparing when the time ran out. A
  // failure is not reported to the user by the manager: the caller does.
  Preparation WaitForPreparation(uint32_t timeoutSeconds);
  // Waits for the worker; its result (0 when none was started).
  [[nodiscard]] XpResult WaitUntilFinished();

  // Progress of a deletion from the camera: posts the progress code 0 with
  // the percentage, and at 100 the internal code 0. True, asking the
  // deletion to stop, when a stop was requested.
  bool OnFileOpProgress(double percent) override;
  // The suite browser's program path.
  virtual XpString GetBrowserPath();
  // Hands the record file to the browser ("/i" and its path); 0 without
  // anything done before a start. When the browser cannot start the record
  // file is deleted; the launcher's result.
  [[nodiscard]] XpResult LaunchBrowser();
  // Deletes the record file when it exists and is empty: the deletion's
  // result; else kXpErrWrongState.
  [[nodiscard]] XpResult DeleteEmptyRecordFile();
  // Would run a program from the camera's memory: runs nothing and returns
  // false.
  bool NotifySalvageCanceled();

  // The salvage of the camera's numbered DCIM folders ("DCIM.001" ...).
  // Builds the queue on the caller's thread: pictures and movies first,
  // then every other file, each queued to a dated folder under the
  // destination; hands the steps to progress (may be null).
  // kXpErrPathNotFound without a numbered folder, kK2ErrSalvageDiskFull
  // when the destination drive is short of space (whatever the scans gave),
  // else the scans' result; kXpErrWrongState while a worker of an earlier
  // start has not been waited for.
  [[nodiscard]] XpResult PrepareSalvage(const K2SalvageConfig& settings, XfViewProgress* progress);
  // Starts the salvage worker (after joining an earlier one): 0, or
  // kXpErrGeneric when nothing is queued. The run ends with the internal
  // notification kCodeImportEnded.
  [[nodiscard]] XpResult StartSalvage();
  // The first failure of the last salvage's preparation or run; 0 when
  // none.
  [[nodiscard]] XpResult GetSalvageResult() const { return salvageResult_.load(); }

  // IK2ProgressTask, the progress window's stop sequence: Pause holds the
  // worker between items, Resume releases it, Stop asks the run to end
  // after the current item (and a deletion to stop). Each takes the lock.
  void Pause() override;
  void Resume() override;
  void Stop() override;
  // An import converts nothing.
  uint64_t GetExportableCount() const override { return 0; }

  [[nodiscard]] XpResult GetLastError() const { return lastError_.load(); }
  // The failing system call behind the worker's non-zero result (a failed
  // commit's write, say); empty when none was recorded.
  XpSysFailure GetRunFailure() const;
  // The items of the last run that were skipped after a failed copy, and
  // the first of them.
  uint32_t GetFailedItemCount() const { return failedItems_.load(); }
  ItemFailure GetFirstItemFailure() const;
  // The first save of the import history that failed in the last run (its
  // file, code and cause; an empty file when every save worked): the next
  // import may then copy the contents imported since again.
  ItemFailure GetHistoryFailure() const;
  bool IsCompleted() const { return completed_.load(); }
  bool HasReadOnlySources() const { return readOnlySourceSeen_.load(); }
  // The differential import was asked for but ran as a full import, the
  // camera's serial being unreadable.
  bool IsDifferentialSkipped() const { return differentialSkipped_.load(); }
  bool IsPaused() const { return paused_.load(); }
  bool IsStopRequestedByUser() const { return stopRequested_.load(); }
  // A progress view is set and its stop flag is set.
  bool IsStopRequested() const;
  // Sleeps in kPausePoll steps while paused; true when it waited.
  bool WaitWhilePaused();
  XpString GetRecordFilePath() const;

  // What the last preparation built, for the caller's display; taken under
  // the lock once the preparation is ready.
  std::vector<uint64_t> GetFileSizes() const;
  std::vector<XfProgressStep> GetProgressSteps() const;
  // The destination folder of each queued item, in queue order.
  XpStringVector GetQueuedFolders() const;

 protected:
  // The parts of the import, run by the worker.
  [[nodiscard]] XpResult CollectFromDatabase(std::vector<XfProgressStep>* steps);
  void SetUpProgressSteps(std::vector<XfProgressStep>& steps);
  [[nodiscard]] XpResult RunImport();
  void NotifyCurrentItem(const XpString& destinationFolder, const XpString& mainFile);
  void FillImportRecord(K2ImportedObject& record, int32_t position);
  void WriteModdSideFile(K2ImportedObject& record);
  void ReleaseDatabase();
  bool HasEnoughFreeSpace();
  // Posts the error prompt for code and waits for its answer.
  void ReportError(XpResult code);

  // The parts of the salvage.
  [[nodiscard]] XpResult FindSalvageFolders(const XpString& root,
                                            std::vector<XpSharedPtr<XpDir>>* folders);
  [[nodiscard]] XpResult ScanSalvageFolder(const XpString& folder, const XpString& destinationRoot,
                                           std::vector<XfProgressStep>& steps, int32_t pass);
  static bool IsSalvageFolderName(const XpString& name, const XpString& extension);
  static bool IsSalvageTarget(const XpString& path);
  [[nodiscard]] XpResult RunSalvage();
  [[nodiscard]] XpResult RemoveSalvageFolders();
  [[nodiscard]] XpResult RemoveEmptyFolderTree(const XpString& folder);
  // The date that names the salvage's dated folders; now by default.
  virtual XpDateTime GetSalvageDate();

 private:
  using Item = XpSharedPtr<K2ImportTaskDCFObj>;

  static uint32_t WorkerMain(void* manager);
  static uint32_t SalvageMain(void* manager);
  [[nodiscard]] XpResult SalvageThread();
  // Queues the file at path for the salvage: copied to destination and
  // deleted, or only deleted.
  [[nodiscard]] XpResult QueueSalvageFile(const XpString& path, const XpString& destination,
                                          bool copy, std::vector<XfProgressStep>& steps);
  // Copies the item when it is to be copied, then deletes its camera file.
  [[nodiscard]] XpResult SalvageItem(K2ImportTaskDCFObj& item);
  // Deletes the item's camera files, retrying while refused.
  [[nodiscard]] XpResult DeleteSalvagedFiles(K2ImportTaskDCFObj& item);
  [[nodiscard]] XpResult ImportThread();
  [[nodiscard]] XpResult OpenDatabase();
  [[nodiscard]] XpResult CollectContent(int32_t position, std::vector<K2FolderNameObject>& folders,
                                        std::vector<XfProgressStep>* steps);
  XpString FolderForContent(const XdbAccessor::IContentInfo& content,
                            std::vector<K2FolderNameObject>& folders);
  [[nodiscard]] XpResult WaitForConfirmation();
  void FinishPreparation(XpResult result);
  [[nodiscard]] XpResult ImportItem(K2ImportTaskDCFObj& item, const Item& shared);
  [[nodiscard]] XpResult SaveRecord();
  [[nodiscard]] XpResult RemoveFromCamera();
  // Deletes the files of the next chunk and their records; *committed is
  // false when the chunk's commit failed.
  [[nodiscard]] XpResult RemoveChunk(size_t* next, bool* committed);
  // Counts a skipped item, keeping the first one's file and cause.
  void NoteItemFailure(const K2ImportTaskDCFObj& item, XpResult code, const XpSysFailure& cause);
  // Keeps this thread's last system failure as the run's, unless one is
  // kept already.
  void NoteRunFailure();
  void RaiseHistory(int64_t importedId);
  void RemoveCreatedFolders();
  // The source folder still exists on a volume that is still mounted.
  bool IsSourcePresent() const;
  // A stop of the user or of the progress view.
  bool StopSeen() const;
  void Sleep(std::chrono::milliseconds duration);
  XpSharedPtr<XfObject> Sender();
  void PostInternal(uint32_t code);
  void PostProgress(uint32_t code, uint32_t value, XpSharedPtr<XfObject> payload);

  XpWaitClock& clock_;
  XdbAccessorFactory xdbFactory_;

  // The queue and the run's state belong to the worker while it runs.
  std::deque<Item> queue_;
  XpThread* thread_ = nullptr;
  bool removeAfterImport_ = false;
  bool differentialImport_ = false;
  XpString recordFilePath_;
  bool launchBrowser_ = false;
  XfViewProgress* progress_ = nullptr;
  std::atomic<XpResult> lastError_{kXpOk};
  std::atomic<bool> completed_{false};
  std::atomic<bool> readOnlySourceSeen_{false};
  std::atomic<bool> confirmed_{false};
  std::vector<uint64_t> fileSizes_;
  std::vector<XfProgressStep> steps_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> paused_{false};
  mutable XpCriticalSection lock_;
  std::atomic<int32_t> pendingPrompts_{0};
  XdbAccessor::IXdbAccessor* database_ = nullptr;
  XdbAccessor::IContentList* contents_ = nullptr;
  XpString sourceName_;
  XpString cameraRoot_;
  XpString destinationFolder_;
  std::unique_ptr<K2DifferentialHistory> history_;
  std::atomic<bool> differentialSkipped_{false};
  std::atomic<XpResult> threadResult_{kXpOk};
  std::atomic<XpResult> salvageResult_{kXpOk};
  // Under the lock: the cause of the worker's result, and the first skipped
  // item of the run.
  XpSysFailure runFailure_;
  ItemFailure firstItemFailure_;
  ItemFailure historyFailure_;
  std::atomic<uint32_t> failedItems_{0};
  // The camera's numbered DCIM folders in processing order.
  std::vector<XpSharedPtr<XpDir>> salvageFolders_;
  // The items of the first pass, queued ahead of the others.
  size_t salvageFirstPassItems_ = 0;

  // The run-local lists of RunImport.
  XpStringVector createdFolders_;
  std::vector<K2ImportedObject> records_;
  std::vector<Item> removals_;
  // The ids of the contents this run listed, and those it imported.
  std::set<int64_t> listedIds_;
  std::set<int64_t> importedIds_;

  // The preparation outcome for WaitForPreparation.
  mutable std::mutex preparationLock_;
  std::condition_variable preparationChanged_;
  Preparation preparation_;
};
