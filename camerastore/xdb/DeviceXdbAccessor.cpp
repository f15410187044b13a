#include "camerastore/xdb/DeviceXdbAccessor.h"

#include <initializer_list>
#include <new>

#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbReader.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbWriter.h"
#include "platform/fs/XpSysFailure.h"

namespace XdbAccessor {

namespace {

// A leftover that is a link is no copy of ours: it is unlinked, and what it
// points to is never entered, moved or removed.
void RemoveLinkedLeftovers(const XdbCardFolders& folders) {
  for (const XpString* leftover : {&folders.Backup(), &folders.WorkCopy()}) {
    if (folders.IsLink(*leftover)) {
      (void)folders.Remove(*leftover);
    }
  }
}

// Makes "DBFILES" the one copy of the database: leftovers of an
// interrupted commit go when it exists, else the copy it had before the
// commit takes its place. kXpErrGeneric when there is no copy at all.
[[nodiscard]] XpResult RecoverFolders(const XdbCardFolders& folders) {
  RemoveLinkedLeftovers(folders);
  if (folders.HasDatabase()) {
    if (folders.HasBackup()) {
      XdbObserveStep(kXdbStepFactoryRemoveBackup);
      (void)folders.Remove(folders.Backup());
    }
    if (folders.HasWorkCopy()) {
      XdbObserveStep(kXdbStepFactoryRemoveWorkCopy);
      (void)folders.Remove(folders.WorkCopy());
    }
    return kXpOk;
  }
  if (folders.HasBackup()) {
    // Without "DBFILES" a backup exists only between the two renames of a
    // swap, before its edits were committed: they go with the work copy.
    XdbObserveStep(kXdbStepFactoryRestoreBackup);
    const XpResult moved = folders.Move(folders.Backup(), folders.Database());
    if (moved != kXpOk) {
      return moved;
    }
    (void)folders.SyncRoot();
    if (folders.HasWorkCopy()) {
      XdbObserveStep(kXdbStepFactoryRemoveWorkCopy);
      (void)folders.Remove(folders.WorkCopy());
    }
    return kXpOk;
  }
  if (folders.HasWorkCopy()) {
    // The one copy there is.
    XdbObserveStep(kXdbStepFactoryRestoreWorkCopy);
    const XpResult moved = folders.Move(folders.WorkCopy(), folders.Database());
    if (moved == kXpOk) {
      (void)folders.SyncRoot();
    }
    return moved;
  }
  return kXpErrGeneric;
}

// The runtime started and the database of folders opened: 0, 0x810D when
// the open refused, else 0x8000.
[[nodiscard]] XpResult OpenDatabase(const XdbCardFolders& folders) {
  if (XdbRuntimeStart() != 0 || XdbCreateMaster() != 0) {
    return kXpErrGeneric;
  }
  const int32_t opened = XdbOpenDatabase(folders.Database().CStr());
  if (opened == kXdbOpened) {
    return kXpOk;
  }
  return opened == kXdbNotOpened ? kXpErrOpenFailed : kXpErrGeneric;
}

}  // namespace

DeviceXdbAccessor::DeviceXdbAccessor(const XpString& root) : folders_(root) {
  reader_ = new (std::nothrow) XdbReader(root);
  writer_ = new (std::nothrow) XdbWriter(root);
}

DeviceXdbAccessor::~DeviceXdbAccessor() {
  const XpSysFailure callers = XpLastSysFailure();
  const bool pending = HasPendingWorkCopy();
  if (reader_ != nullptr) {
    reader_->Release();
    reader_ = nullptr;
  }
  if (writer_ != nullptr) {
    writer_->Release();
    writer_ = nullptr;
  }
  if (pending && editFailed_) {
    DiscardWorkCopy();
  } else if (pending) {
    (void)PlaceWorkCopy();
  }
  XpSetSysFailure(callers);
}

bool DeviceXdbAccessor::HasPendingWorkCopy() const { return writer_ != nullptr && writer_->IsWorkCopyOpen(); }

void DeviceXdbAccessor::ForgetWorkCopy() {
  if (writer_ != nullptr) {
    writer_->ForgetWorkCopy();
  }
  editFailed_ = false;
}

template <typename Edit>
auto DeviceXdbAccessor::Guarded(Edit&& edit) -> decltype(edit()) {
  try {
    return edit();
  } catch (...) {
    editFailed_ = true;
    throw;
  }
}

IAlbumList* DeviceXdbAccessor::GetAllAlbums() { return reader_ != nullptr ? reader_->GetAllAlbums() : nullptr; }

IContentList* DeviceXdbAccessor::GetAllContents() {
  return reader_ != nullptr ? reader_->GetAllContents() : nullptr;
}

IContentList* DeviceXdbAccessor::GetContentsByShareFlags(uint32_t flags) {
  return reader_ != nullptr ? reader_->GetContentsByShareFlags(flags) : nullptr;
}

IContentList* DeviceXdbAccessor::GetContentsAfterGuid(int64_t value) {
  return reader_ != nullptr ? reader_->GetContentsAfterGuid(value) : nullptr;
}

void DeviceXdbAccessor::DeleteAlbum(IAlbumInfo* album) {
  if (writer_ != nullptr) {
    Guarded([&] { writer_->DeleteAlbum(album); });
  }
}

void DeviceXdbAccessor::DeleteContent(IContentInfo* content) {
  if (writer_ != nullptr) {
    Guarded([&] { writer_->DeleteContent(content); });
  }
}

IAlbumInfo* DeviceXdbAccessor::CreateAlbum(const XpString& title) {
  if (writer_ == nullptr) {
    return nullptr;
  }
  IAlbumInfo* album = Guarded([&] { return writer_->CreateAlbum(title); });
  editFailed_ = editFailed_ || album == nullptr;
  return album;
}

IContentInfo* DeviceXdbAccessor::CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                                               int32_t favorite) {
  if (writer_ == nullptr) {
    return nullptr;
  }
  IContentInfo* content = Guarded([&] { return writer_->CreateContent(album, path, date, favorite); });
  editFailed_ = editFailed_ || content == nullptr;
  return content;
}

int64_t DeviceXdbAccessor::GetRemainingContentCapacity() {
  return writer_ != nullptr ? writer_->GetRemainingContentCapacity() : 0;
}

int64_t DeviceXdbAccessor::GetRemainingAlbumCapacity() {
  return writer_ != nullptr ? writer_->GetRemainingAlbumCapacity() : 0;
}

int32_t DeviceXdbAccessor::Commit() {
  XpClearSysFailure();
  const int32_t flushed = XdbFlush();
  if (flushed != 0) {
    return Refuse(flushed);
  }
  const int32_t closed = XdbCloseDatabase();
  if (closed != 0) {
    return Refuse(closed);
  }
  return CommitFolderSwap(true);
}

int32_t DeviceXdbAccessor::Refuse(int32_t code) {
  if (!HasPendingWorkCopy()) {
    return code;
  }
  const XpSysFailure cause = XpLastSysFailure();
  (void)XdbCloseDatabase();
  DiscardWorkCopy();
  ForgetWorkCopy();
  (void)Reopen();
  XpSetSysFailure(cause);
  return code;
}

int32_t DeviceXdbAccessor::CommitFolderSwap(bool reopen) {
  if (!HasPendingWorkCopy()) {
    return reopen ? Reopen() : 0;
  }
  const XpResult placed = PlaceWorkCopy();
  ForgetWorkCopy();
  if (reopen) {
    const XpSysFailure kept = XpLastSysFailure();
    (void)Reopen();
    XpSetSysFailure(kept);
  }
  return static_cast<int32_t>(placed);
}

XpResult DeviceXdbAccessor::PlaceWorkCopy() const {
  XdbObserveStep(kXdbStepSwapSyncWorkCopy);
  const XpResult synced = folders_.SyncWorkCopy();
  if (synced != kXpOk) {
    return RollBack(synced);
  }
  if (folders_.HasDatabase()) {
    XdbObserveStep(kXdbStepSwapExchange);
    const XpResult exchanged = folders_.ExchangeWithRetries();
    if (exchanged == kXpOk) {
      return SettleExchange();
    }
    if (exchanged != kXpErrNotSupportedByOs) {
      return RollBack(exchanged);
    }
  }
  return RenameFolders();
}

XpResult DeviceXdbAccessor::SettleExchange() const {
  // "DBFILES" holds the edits, "DBFILES.tmp" the old database.
  const XpResult synced = folders_.SyncRoot();
  if (synced == kXpOk) {
    return FinishCommit();
  }
  const XpSysFailure cause = XpLastSysFailure();
  if (folders_.Exchange() == kXpOk) {
    (void)folders_.SyncRoot();
    XpSetSysFailure(cause);
    return RollBack(synced);
  }
  // Not undone: the edits stay in "DBFILES" and count as committed.
  (void)FinishCommit();
  XpSetSysFailure(cause);
  return kXpOk;
}

XpResult DeviceXdbAccessor::RenameFolders() const {
  if (folders_.HasDatabase()) {
    const XpResult aside = MoveDatabaseAside();
    if (aside != kXpOk) {
      return RollBack(aside);
    }
  }
  XdbObserveStep(kXdbStepSwapWorkCopyToDatabase);
  const XpResult placed = folders_.MoveWithRetries(folders_.WorkCopy(), folders_.Database());
  if (placed != kXpOk) {
    return RollBack(placed);
  }
  const XpResult synced = folders_.SyncRoot();
  if (synced == kXpOk) {
    return FinishCommit();
  }
  const XpSysFailure cause = XpLastSysFailure();
  if (folders_.Move(folders_.Database(), folders_.WorkCopy()) == kXpOk) {
    XpSetSysFailure(cause);
    return RollBack(synced);
  }
  (void)FinishCommit();
  XpSetSysFailure(cause);
  return kXpOk;
}

XpResult DeviceXdbAccessor::MoveDatabaseAside() const {
  if (folders_.HasBackup()) {
    XdbObserveStep(kXdbStepSwapRemoveOldBackup);
    const XpResult removed = folders_.RemoveWithRetries(folders_.Backup());
    if (removed != kXpOk) {
      return removed;
    }
  }
  XdbObserveStep(kXdbStepSwapDatabaseToBackup);
  const XpResult saved = folders_.MoveWithRetries(folders_.Database(), folders_.Backup());
  if (saved != kXpOk) {
    return saved;
  }
  return folders_.SyncRoot();
}

XpResult DeviceXdbAccessor::RollBack(XpResult code) const {
  const XpSysFailure cause = XpLastSysFailure();
  if (!folders_.HasDatabase() && folders_.HasBackup() &&
      folders_.MoveWithRetries(folders_.Backup(), folders_.Database()) == kXpOk) {
    (void)folders_.SyncRoot();
  }
  // Without "DBFILES" the factory puts the backup back and drops the work
  // copy too.
  DiscardWorkCopy();
  XpSetSysFailure(cause);
  return code;
}

void DeviceXdbAccessor::DiscardWorkCopy() const {
  if (folders_.HasWorkCopy()) {
    (void)folders_.Remove(folders_.WorkCopy());
  }
}

XpResult DeviceXdbAccessor::FinishCommit() const {
  // Trouble from here on is not a failure of the commit: the factory
  // removes what stays.
  if (folders_.HasWorkCopy()) {
    XdbObserveStep(kXdbStepSwapRemoveOldCopy);
    (void)folders_.DropWithRetries(folders_.WorkCopy());
  }
  if (folders_.HasBackup()) {
    XdbObserveStep(kXdbStepSwapRemoveBackup);
    (void)folders_.DropWithRetries(folders_.Backup());
  }
  XpClearSysFailure();
  return kXpOk;
}

int32_t DeviceXdbAccessor::Reopen() {
  XdbObserveStep(kXdbStepSwapReopen);
  if (!folders_.HasDatabase() || XdbCreateMaster() != 0) {
    return static_cast<int32_t>(kXpErrGeneric);
  }
  if (XdbOpenDatabase(folders_.Database().CStr()) != kXdbOpened) {
    return static_cast<int32_t>(kXpErrGeneric);
  }
  return 0;
}

[[nodiscard]] XpResult CreateDeviceXdbAccessor(IXdbAccessor** out, const XpString& root) {
  const XdbCardFolders folders(root);
  const XpResult recovered = RecoverFolders(folders);
  if (recovered != kXpOk) {
    return recovered;
  }
  const XpResult opened = OpenDatabase(folders);
  if (opened != kXpOk) {
    return opened;
  }
  IXdbAccessor* accessor = new (std::nothrow) DeviceXdbAccessor(root);
  if (accessor == nullptr) {
    return kXpErrOutOfMemory;
  }
  *out = accessor;
  return kXpOk;
}

[[nodiscard]] XpResult CreateXdbReader(IXdbReader** out, const XpString& root) {
  const XdbCardFolders folders(root);
  IXdbReader* reader = nullptr;
  if (folders.HasDatabase() && OpenDatabase(folders) == kXpOk) {
    reader = new (std::nothrow) XdbReader(root);
  }
  if (reader == nullptr) {
    return kXpErrOutOfMemory;
  }
  *out = reader;
  return kXpOk;
}

}  // namespace XdbAccessor
