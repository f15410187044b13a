#include "camerastore/xdb/DeviceXdbAccessor.h"

#include <new>

#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbReader.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbWriter.h"

namespace XdbAccessor {

namespace {

// Makes "DBFILES" the one copy of the database: leftovers of an
// interrupted commit go when it exists, else the newest copy takes its
// place. kXpErrGeneric when there is no copy at all.
XpResult RecoverFolders(const XdbCardFolders& folders) {
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
  if (folders.HasWorkCopy()) {
    // Without "DBFILES" a work copy exists only after a swap renamed it
    // away, so the copy was flushed and closed.
    XdbObserveStep(kXdbStepFactoryRestoreWorkCopy);
    const XpResult moved = folders.Move(folders.WorkCopy(), folders.Database());
    if (moved != kXpOk) {
      return moved;
    }
    if (folders.HasBackup()) {
      XdbObserveStep(kXdbStepFactoryRemoveBackup);
      (void)folders.Remove(folders.Backup());
    }
    return kXpOk;
  }
  if (folders.HasBackup()) {
    XdbObserveStep(kXdbStepFactoryRestoreBackup);
    return folders.Move(folders.Backup(), folders.Database());
  }
  return kXpErrGeneric;
}

// The runtime started and the database of folders opened: 0, 0x810D when
// the open refused, else 0x8000.
XpResult OpenDatabase(const XdbCardFolders& folders) {
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
  const bool pending = HasPendingWorkCopy();
  if (reader_ != nullptr) {
    reader_->Release();
    reader_ = nullptr;
  }
  if (writer_ != nullptr) {
    writer_->Release();
    writer_ = nullptr;
  }
  (void)SwapFolders(pending, false);
}

bool DeviceXdbAccessor::HasPendingWorkCopy() const { return writer_ != nullptr && writer_->IsWorkCopyOpen(); }

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
    writer_->DeleteAlbum(album);
  }
}

void DeviceXdbAccessor::DeleteContent(IContentInfo* content) {
  if (writer_ != nullptr) {
    writer_->DeleteContent(content);
  }
}

IAlbumInfo* DeviceXdbAccessor::CreateAlbum(const XpString& title) {
  return writer_ != nullptr ? writer_->CreateAlbum(title) : nullptr;
}

IContentInfo* DeviceXdbAccessor::CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                                               int32_t favorite) {
  return writer_ != nullptr ? writer_->CreateContent(album, path, date, favorite) : nullptr;
}

int64_t DeviceXdbAccessor::GetRemainingContentCapacity() {
  return writer_ != nullptr ? writer_->GetRemainingContentCapacity() : 0;
}

int64_t DeviceXdbAccessor::GetRemainingAlbumCapacity() {
  return writer_ != nullptr ? writer_->GetRemainingAlbumCapacity() : 0;
}

int32_t DeviceXdbAccessor::Commit() {
  const int32_t flushed = XdbFlush();
  if (flushed != 0) {
    return flushed;
  }
  const int32_t closed = XdbCloseDatabase();
  if (closed != 0) {
    return closed;
  }
  return CommitFolderSwap(true);
}

int32_t DeviceXdbAccessor::CommitFolderSwap(bool reopen) { return SwapFolders(HasPendingWorkCopy(), reopen); }

int32_t DeviceXdbAccessor::SwapFolders(bool pending, bool reopen) {
  // A work copy that no edit made is a leftover, never newer than
  // "DBFILES"; without "DBFILES" it is the only copy.
  if (folders_.HasWorkCopy() && (pending || !folders_.HasDatabase())) {
    if (folders_.HasDatabase()) {
      if (folders_.HasBackup()) {
        XdbObserveStep(kXdbStepSwapRemoveOldBackup);
        const XpResult removed = folders_.RemoveWithRetries(folders_.Backup());
        if (removed != kXpOk) {
          return static_cast<int32_t>(removed);
        }
      }
      XdbObserveStep(kXdbStepSwapDatabaseToBackup);
      const XpResult saved = folders_.MoveWithRetries(folders_.Database(), folders_.Backup());
      if (saved != kXpOk) {
        return static_cast<int32_t>(saved);
      }
    }
    XdbObserveStep(kXdbStepSwapWorkCopyToDatabase);
    const XpResult placed = folders_.MoveWithRetries(folders_.WorkCopy(), folders_.Database());
    if (placed != kXpOk) {
      return static_cast<int32_t>(placed);
    }
  }
  int32_t result = 0;
  if (folders_.HasDatabase() && folders_.HasBackup()) {
    XdbObserveStep(kXdbStepSwapRemoveBackup);
    result = static_cast<int32_t>(folders_.RemoveWithRetries(folders_.Backup()));
  }
  if (!reopen) {
    return result;
  }
  return Reopen();
}

int32_t DeviceXdbAccessor::Reopen() {
  XdbObserveStep(kXdbStepSwapReopen);
  if (!folders_.HasDatabase() || XdbCreateMaster() != 0) {
    return static_cast<int32_t>(kXpErrGeneric);
  }
  if (XdbOpenDatabase(folders_.Database().CStr()) != kXdbOpened) {
    return static_cast<int32_t>(kXpErrGeneric);
  }
  if (writer_ != nullptr) {
    writer_->ForgetWorkCopy();
  }
  return 0;
}

XpResult CreateDeviceXdbAccessor(IXdbAccessor** out, const XpString& root) {
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

XpResult CreateXdbReader(IXdbReader** out, const XpString& root) {
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
