#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fsk/FskFileSystem.h"
#include "outside/fsk/dbmanager/XdbJournal.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/result/XpResult.h"

// A folder of the album database mounted in the runtime as a journaled file
// system: every file call under the folder's path lands here. A file is read
// whole from the folder when first opened; from then on reads and writes
// work on memory, and no file of the folder changes until Flush.
//
// Flush writes every change (byte ranges, sizes, files created or removed)
// to the journal and syncs it, renames it into place and syncs the folder:
// from then on the changes are committed, as a mount replays the journal.
// It then applies the journal to the files, syncs every file the folder
// knows and the folder, and removes the journal. A flush that fails before
// the commit leaves nothing of its changes on the disk and keeps them in
// memory, so a later one can still succeed. Trouble after the commit does
// not undo it: the flush succeeds with its completion pending (see
// Completion), and the next flush, or the next mount, completes it. A file
// removed from the folder behind our back is written whole again by the
// next flush.
//
// Only regular files directly inside the folder are reachable, never
// through a link. One folder
// object per folder in a process: mounting a folder that another object
// holds unmounts it there first, dropping its unflushed changes.
class XdbJournaledFolder : public FskFileSystem {
 public:
  using StageHook = XdbJournal::StageHook;
  // Pages of the change tracking.
  static constexpr int64_t kPageSize = 4096;

  XdbJournaledFolder() = default;
  // Unmounts, dropping unflushed changes.
  ~XdbJournaledFolder() override;
  XdbJournaledFolder(const XdbJournaledFolder&) = delete;
  XdbJournaledFolder& operator=(const XdbJournaledFolder&) = delete;

  // Replays or drops a journal left in folder (a native path, with or
  // without the closing '/'), then mounts it. kXpErrAlreadyOpen when this
  // object holds a folder.
  [[nodiscard]] XpResult Mount(const std::string& folder);
  // Mounts folder writing nothing, so that a caller can look at it before
  // anything changes: the changes of a complete journal left there show in
  // the files read, and the journal stays until Recover (or a Flush) deals
  // with it as Mount would. A damaged journal fails the mount
  // (XdbJournal::Inspect).
  [[nodiscard]] XpResult MountWithoutRecovery(const std::string& folder);
  // Replays or drops what MountWithoutRecovery found; kXpOk when nothing
  // is left to recover. On failure the journal stays and so does the need.
  [[nodiscard]] XpResult Recover();
  // The files a journal may name and their largest size, for the next
  // mount.
  void SetBounds(XdbJournal::Bounds bounds) { bounds_ = std::move(bounds); }
  // Whether flushes go through the journal (the default). Without it a
  // flush writes the changes straight into the files and waits for nothing:
  // for a scratch copy whose owner makes the whole folder durable at once
  // and drops it after a crash. Kept across mounts.
  void SetJournaled(bool journaled) { journaled_ = journaled; }
  bool IsJournaled() const { return journaled_; }
  // Drops unflushed changes and the mount.
  void Unmount();
  bool IsMounted() const { return !folder_.empty(); }
  // The folder with its closing '/'; empty when not mounted.
  const std::string& Folder() const { return folder_; }
  std::string PathOf(const std::string& name) const { return folder_ + name; }

  // What a committed flush left to do: applying its journal, syncing the
  // files or the folder, or removing the journal failed. The journal stays
  // in the folder; the next flush completes it first, and so does a mount.
  struct Completion {
    bool pending = false;
    // What stopped it, and the system's failure record then.
    XpResult result = kXpOk;
    XpSysFailure failure;
  };

  // Commits every change: kXpOk once they are durable, a failure when they
  // are not (then no later mount finds them). Not journaled: kXpOk once the
  // changes are written to the files, which may not be durable yet. After kXpOk, LastCompletion()
  // tells whether they are all in the files yet. Completes a pending flush
  // first; when that fails again, changes made since are not committed
  // (its failure), and without such changes the answer is kXpOk, still
  // pending. With no change, syncs the known files and the folder and
  // writes nothing. Files that this object's last flush already synced and
  // that did not change since are not synced again.
  [[nodiscard]] XpResult Flush();
  const Completion& LastCompletion() const { return completion_; }
  bool HasChanges() const;
  // The bytes of a file that an open has read in, as they stand now; null
  // for a file not read in or removed.
  const std::vector<uint8_t>* KnownBytes(const std::string& name) const;
  // Bytes a caller already holds for a file, by its name and its status
  // (lstat) as found now; null when they are not known.
  using KnownSource = std::function<std::vector<uint8_t>*(const std::string& name, const struct stat& status)>;
  // For the files opened after this call, until Unmount: a regular file
  // that source knows, with no journal change for it, is taken from source
  // instead of being read (its bytes are moved out of the source).
  void SetKnownSource(KnownSource source) { known_ = std::move(source); }
  // Unmounts, handing over the bytes of every file read in or written,
  // when they are all in the files (no unflushed change, nothing pending);
  // else *bytes stays empty.
  void UnmountKeepingBytes(std::map<std::string, std::vector<uint8_t>>* bytes);
  // Called with "journal-written" (journaled only), "applied-one" and
  // "applied-all" during a flush.
  void SetStageHook(StageHook hook) { hook_ = std::move(hook); }

  // The runtime's calls.
  int Open(const char* path, uint32_t permission, std::unique_ptr<FskOpenFile>* out) override;
  int Create(const char* path) override;
  int Delete(const char* path) override;

  // A file as the folder keeps it; open files share it.
  struct File {
    std::vector<uint8_t> data;
    // The bytes as the folder holds them, to tell real changes from
    // rewrites of the same bytes.
    std::vector<uint8_t> base;
    // Pages written since the last flush.
    std::set<int64_t> dirtyPages;
    // Written whole: created here, or found missing from the folder.
    bool whole = false;
    bool removed = false;
    bool Changed() const;
    // The dirty pages whose bytes differ from the folder's.
    std::vector<int64_t> ChangedPages() const;
  };

 private:
  // The file's name under the folder, or empty for a path that is not a
  // plain file directly inside it.
  std::string NameOf(const char* path) const;
  std::vector<XdbJournal::Change> CollectChanges();
  std::vector<std::string> KnownNames() const;
  // Syncs the known files and the folder unless the last flush did.
  [[nodiscard]] XpResult SyncUnchanged();
  // Applies the committed journal (pending_), syncs the known files and
  // the folder and removes the journal; on failure completion_ says why.
  // stages: whether the stage hook hears the steps.
  [[nodiscard]] XpResult Complete(bool stages);
  // The flush of a folder that is not journaled.
  [[nodiscard]] XpResult WriteInPlace();
  // The changes written to a journal but not yet to the files: those of a
  // journal found at the mount until it is recovered, else those of a
  // committed flush whose completion is pending.
  const std::vector<XdbJournal::Change>& Unapplied() const;
  // A file that the unapplied changes remove.
  bool RemovedByPending(const std::string& name) const;
  // Whether the folder holds name once the unapplied changes are in.
  bool ExistsAfterPending(const std::string& name) const;
  // Reads name as the unapplied changes leave it: 0 or an errno value.
  int ReadAfterPending(const std::string& name, std::vector<uint8_t>* bytes) const;
  // Reads name, or takes it from known_ when that knows it.
  int ReadIn(const std::string& name, std::vector<uint8_t>* bytes) const;
  void Stage(const char* stage) const;
  void ForgetChanges();

  std::string folder_;
  std::map<std::string, std::shared_ptr<File>> files_;
  // The files that the last successful flush left synced, with the folder;
  // empty after a mount and while a flush with changes runs.
  std::set<std::string> synced_;
  // The changes of the committed journal while its completion is pending.
  std::vector<XdbJournal::Change> pending_;
  Completion completion_;
  StageHook hook_;
  KnownSource known_;
  XdbJournal::Bounds bounds_;
  // What the mount found of a journal, while it waits for Recover.
  XdbJournal::Found found_;
  bool recoveryDue_ = false;
  bool journaled_ = true;
};
