#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "framework/suite/SfDCFImportTask.h"
#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

class SfDCFImportHistory;
class XpDCFObj;

// One unit of work of the import: copies one DCF object of the camera (a
// picture, or a movie with its thumbnail) into the destination folder named
// by the task's name, with progress notifications that honour the
// manager's pause and stop flags. After a successful copy it can give the
// camera files their imported names ("QMVS" + number for pictures, "QMVM"
// for movies and thumbnails), never moving over an existing file (a file
// that has its imported name already keeps it), and it lists the copies,
// the camera files to remove, or enters the camera files into an import
// history.
//
// The source must be an XpDCFObj. Notifications carry a borrowed pointer to
// the task as their target.
class K2ImportTaskDCFObj : public SfDCFImportTask, public IXpFileOpProgressObserver {
 public:
  // A refused camera rename is tried this often, with this pause after
  // each attempt. "Already exists" ends the attempts at once.
  static constexpr int32_t kMoveAttempts = 20;
  static constexpr std::chrono::milliseconds kMoveRetryDelay{100};
  // How often a paused progress report looks at the pause flag again.
  static constexpr std::chrono::milliseconds kPausePoll{250};
  // Code of the internal notification that ends Execute.
  static constexpr uint32_t kExecutedCode = 0;

  K2ImportTaskDCFObj();
  // With the clock whose sleeps the retries and the pause use.
  explicit K2ImportTaskDCFObj(XpWaitClock& clock);
  ~K2ImportTaskDCFObj() override;

  // Copies the source into the destination folder and, when the rename
  // flag is set and the copy succeeded, renames the camera files. Always
  // posts the internal notification kExecutedCode. The result is the
  // copy's failure, else the first failed rename, else 0. A rename that
  // failed leaves that member's path as it was. stopFlag may be null.
  [[nodiscard]] virtual XpResult Execute(const std::atomic<bool>* stopFlag);
  // Appends the camera files for removal; nothing when any of them is
  // read-only. kXpErrWrongState without a DCF object as source;
  // kXpErrBadArgument for a null list.
  [[nodiscard]] virtual XpResult CollectRemovableFiles(XpStringVector* files);
  // Records every camera file (under its current name) in history;
  // kXpErrBadArgument for a null history.
  [[nodiscard]] XpResult AddToHistory(SfDCFImportHistory* history) override;
  // Keeps pauseFlag (may be null) for the progress reports, then Execute.
  [[nodiscard]] virtual XpResult Run(const std::atomic<bool>* stopFlag,
                                     const std::atomic<bool>* pauseFlag);
  // Clears the read-only state of every camera file (ignoring failures)
  // and appends them all.
  [[nodiscard]] virtual XpResult CollectAllFilesForRemoval(XpStringVector* files);

  virtual void SetContentIndex(int32_t index) { contentIndex_ = index; }
  virtual int32_t GetContentIndex() const { return contentIndex_; }
  virtual void SetContentId(uint64_t id) { contentId_ = id; }
  virtual uint64_t GetContentId() const { return contentId_; }
  virtual void SetRenameSource(bool rename) { renameSource_ = rename; }
  virtual bool GetRenameSource() const { return renameSource_; }
  virtual void SetCreateDestination(bool create) { createDestination_ = create; }
  virtual bool GetCreateDestination() const { return createDestination_; }

  // Execute with the stop flag already kept (null unless Execute or Run
  // kept one).
  [[nodiscard]] XpResult Import() override;
  // The file list becomes the copies written by the source's last copy.
  [[nodiscard]] XpResult BuildFileList() override;

  // Posts a progress notification with the percentage truncated, waits
  // while the pause flag is set, and answers whether the stop flag is set.
  bool OnFileOpProgress(double percent) override;

 private:
  XpSharedPtr<XpDCFObj> SourceObject() const;
  // Gives each camera file of object its imported name; stops at the first
  // failure.
  [[nodiscard]] XpResult RenameMembers(XpDCFObj& object);
  // The no-replace move, retried while refused; 0 without a move when both
  // paths name the same file.
  [[nodiscard]] XpResult MoveWithRetries(const XpString& from, const XpString& to);
  // Walks the members of the source, calling visit with each.
  template <typename Visit>
  [[nodiscard]] XpResult ForEachMember(Visit visit);
  void PostExecuted();

  XpWaitClock* clock_;
  int32_t contentIndex_ = -1;
  uint64_t contentId_ = 0;
  bool renameSource_ = true;
  bool createDestination_ = true;
  const std::atomic<bool>* pauseFlag_ = nullptr;
};
