// The run of the export task manager on the camera: the album database,
// the checks before anything is written, the folder loop with its marker,
// the batches of copies and their records.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <mutex>
#include <new>

#include "accessor/task/K2DCFAllocation.h"
#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/helpers/K2CardCleanup.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/task/helpers/K2TransferMarker.h"
#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFRootDir.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "framework/progress/XfViewProgress.h"
#include "platform/fs/XpCopyBatch.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

// Free space the camera keeps beyond the rounded size of all files.
constexpr uint64_t kFreeSpaceMargin = 47185920;
// Favourite values 1 to 6 are the flag bits 0x1 to 0x20.
constexpr int32_t kFirstFavorite = 1;
constexpr int32_t kLastFavorite = 6;
constexpr const char16_t* kThumbnailExtension = u".THM";
// The made thumbnail waits in the run's folder for its copy.
constexpr const char16_t* kMadeThumbnailSuffix = u".tmp";
constexpr const char* kNotAPicture = "not a readable JPEG picture";
constexpr const char* kNoThumbnail = "no thumbnail can be made of this movie";
constexpr const char* kNotWritable = "cannot be written";

int32_t FavoriteFlags(const std::vector<int32_t>& favorites) {
  int32_t flags = 0;
  for (const int32_t value : favorites) {
    if (value >= kFirstFavorite && value <= kLastFavorite) {
      flags |= 1 << (value - kFirstFavorite);
    }
  }
  return flags;
}

// The movie's destination with its extension, and only that, replaced.
XpString ThumbnailPathFor(const XpString& movieDestination) {
  XpString folder;
  XpString name;
  XpPathSplit(movieDestination, &folder, &name, nullptr);
  return folder + name + kThumbnailExtension;
}

// The thumbnail among the item's files that exists in its source folder;
// "" when there is none.
XpString SourceThumbnail(const K2ExportItem& item) {
  for (const XpString& name : item.fileNames) {
    if (XpPathGetExtension(name).CompareNoCase(kThumbnailExtension) != 0) {
      continue;
    }
    const XpString path = XpPathJoin(item.sourceFolder, name);
    if (XpFileExists(path)) {
      return path;
    }
  }
  return XpString();
}

// This thread's last system failure, or "" when none was recorded.
std::string LastSysFailureText() { return XpDescribeSysFailure(XpLastSysFailure()); }

bool IsCardFull(XpResult code, int error) {
  return code == kXpErrDiskFull || error == ENOSPC || error == EDQUOT;
}

// The DCF number of folder (with or without its trailing '/'); -1 when its
// name is not a DCF folder's.
int32_t FolderNumber(const XpString& folder) {
  XpString path = folder;
  XpPathRemoveTrailingBackslash(path);
  const XpString name = XpPathGetFileName(path);
  return XpDCFIsDirectoryName(name) ? XpDCFGetDirectoryNumber(name) : -1;
}

}  // namespace

// The copies of one batch: each copy belongs to one of the batch's items (a
// movie has two, its file and its thumbnail), in the order they were added.
struct K2ExportBatch {
  XpCopyBatch copies;
  std::vector<size_t> owners;
  K2ExportItemVector items;
};

namespace {

// Whether the copies into folder reach the medium with the album database:
// the commit waits once for the card's file system before the swap, which
// makes every copy written there and its name durable with the database.
bool SharesTheDatabasesMedium(const XpString& root, const XpString& folder) {
  struct stat card {};
  struct stat target {};
  return XpFsStat(root, &card) && XpFsStat(folder, &target) && card.st_dev == target.st_dev;
}

}  // namespace

XpResult K2ExportTaskManager::RunExport() {
  XpString root = GetDestinationRoot();
  XpPathAddTrailingBackslash(root);
  ReleaseAlbumDatabase();
  XpResult result = kXpOk;
  try {
    result = RunExportChecked(root);
  } catch (const XdbAccessor::XdbException&) {
    result = kK2ErrAlbumDatabase;
  } catch (const std::bad_alloc&) {
    result = kK2ErrAlbumDatabase;
  }
  ReleaseAlbumDatabase();
  bool fullCard = false;
  {
    Guard guard(lock_);
    fullCard = skippedForFullCard_;
  }
  // The run wrote what it could; the files the full card refused are told
  // with the disk-full text.
  if (fullCard && (result == kXpOk || result == kXpErrStopped)) {
    return kK2ErrCopyDiskFull;
  }
  return result;
}

XpResult K2ExportTaskManager::RunExportChecked(const XpString& root) {
  XdbAccessorFactory factory;
  {
    Guard guard(lock_);
    factory = xdbFactory_;
  }
  XdbAccessor::IXdbAccessor* accessor = nullptr;
  const XpResult opened = factory ? factory(&accessor, root) : kXpErrNotSupported;
  xdb_ = accessor;
  // A camera without an album database cannot take the export either.
  if (opened != kXpOk || xdb_ == nullptr) {
    return K2IsDestinationPresent(root) ? kK2ErrAlbumDatabase : kK2ErrCameraGone;
  }
  XpResult result = CheckBeforeWriting();
  if (result != kXpOk) {
    return result;
  }

  const XpSharedPtr<XpDCFRootDir> dcfRoot = XpDCFGetImageRoot(root, true);
  if (!dcfRoot) {
    return kXpErrCreateDirFailed;
  }
  ClearMarkedFolder(root);
  XpString dcfPath = dcfRoot->GetPath();
  XpPathAddTrailingBackslash(dcfPath);
  K2DCFAllocation allocation(dcfPath);
  K2ExportItemVector items;
  {
    Guard guard(lock_);
    items = exportable_;
  }
  XpStringVector destinations;
  result = allocation.FindDCFFolder(items, &destinations);
  {
    Guard guard(lock_);
    exportable_ = items;
  }
  if (result != kXpOk) {
    return result;
  }

  ReleaseAlbums();
  XpStringVector folders;
  if (K2CollectFolders(destinations, &folders) != kXpOk) {
    return kXpErrBadArgument;
  }
  RemoveCardTemporaries(root, folders);
  return ExportFolders(root, folders);
}

XpResult K2ExportTaskManager::CheckBeforeWriting() {
  if (!HasEnoughFreeSpace()) {
    return kK2ErrCameraFull;
  }
  if (!CheckDatabaseCapacity()) {
    return kK2ErrTooManyContents;
  }
  const XpString tempDir = CurrentConfig().GetTempDir();
  if (!XpDirectoryExists(tempDir)) {
    return kK2ErrNoTempDir;
  }
  if (!XpIsDirectoryWritable(tempDir)) {
    return kK2ErrTempDirNotWritable;
  }
  return kXpOk;
}

void K2ExportTaskManager::RemoveCardTemporaries(const XpString& root,
                                                const XpStringVector& folders) {
  K2RemovePendingTemporaries(root);
  for (const XpString& folder : folders) {
    K2RemovePendingTemporaries(folder);
  }
}

void K2ExportTaskManager::ClearMarkedFolder(const XpString& root) {
  // A run killed between a batch's copies and its commit left pictures
  // that the album database does not know, in the folder its marker names.
  const XpString marked = K2ReadTransferMarker(root);
  if (marked.IsEmpty() || !XpDirectoryExists(marked) || FolderNumber(marked) < 0) {
    return;
  }
  K2RemovePendingTemporaries(marked);
  try {
    (void)K2RemoveUnrecordedExports(marked, RecordedFileNumbers(marked));
  } catch (const XdbAccessor::XdbException&) {
    // What the database records is unknown: nothing is removed.
  }
}

std::set<int32_t> K2ExportTaskManager::RecordedFileNumbers(const XpString& folder) {
  const int32_t folderNumber = FolderNumber(folder);
  std::set<int32_t> numbers;
  std::unique_ptr<XdbAccessor::IContentList> contents(xdb_->GetAllContents());
  if (!contents) {
    XdbAccessor::XdbRaiseCode(kXpErrGeneric);
  }
  for (int32_t index = 0; index < contents->GetCount(); ++index) {
    const XpString path = contents->GetAt(index)->GetPath();
    XpString base;
    XpPathSplit(path, nullptr, &base, nullptr);
    if (FolderNumber(XpPathGetDirectory(path)) == folderNumber && XpDCFIsFileName(base)) {
      numbers.insert(XpDCFGetFileNumber(base));
    }
  }
  return numbers;
}

XpResult K2ExportTaskManager::ExportFolders(const XpString& root, const XpStringVector& folders) {
  XpResult result = kXpOk;
  bool marked = false;
  for (const XpString& folder : folders) {
    if (IsStopRequested()) {
      break;
    }
    if (!XpIsDirectoryWritable(folder)) {
      return kK2ErrFolderNotWritable;
    }
    XpClearSysFailure();
    result = K2WriteTransferMarker(root, folder, WorkFolder());
    if (result != kXpOk) {
      NoteFailure(LastSysFailureText());
      break;
    }
    marked = true;
    result = ExportIntoFolder(folder);
    WaitWhilePaused();
    // An error in one folder ends the export; the next folder would hide it.
    if (result != kXpOk && result != kXpErrStopped) {
      break;
    }
  }
  if (result != kXpOk && result != kXpErrStopped) {
    return result;
  }
  if (!marked) {
    return result;
  }
  XpClearSysFailure();
  const XpResult removed = K2RemoveTransferMarker(root);
  if (removed != kXpOk) {
    NoteFailure(LastSysFailureText());
  }
  return removed;
}

XpResult K2ExportTaskManager::ExportIntoFolder(const XpString& folder) {
  const size_t batchSize = K2GetBatchSize(false);
  size_t count = 0;
  {
    Guard guard(lock_);
    count = exportable_.size();
  }
  XpResult result = kXpOk;
  size_t next = 0;
  while (next < count && !IsStopRequested()) {
    const size_t end = std::min(count, next + batchSize);
    // The batch's copies reach their names together, before their records.
    K2ExportBatch batch;
    for (; next < end && !IsStopRequested(); ++next) {
      K2ExportItem item;
      {
        Guard guard(lock_);
        item = exportable_[next];
      }
      if (!K2IsFileInFolder(folder, item.destination)) {
        continue;
      }
      result = CopyItem(item, &batch);
      {
        Guard guard(lock_);
        exportable_[next] = item;
      }
      // The copies of this batch so far never reach their names.
      if (result != kXpOk && result != kXpErrStopped) {
        return result;
      }
      WaitWhilePaused();
    }
    next = end;
    result = PublishCopies(&batch);
    if (result != kXpOk) {
      return result;
    }
    result = RegisterBatch(batch.items);
    if (result != kXpOk) {
      return result;
    }
  }
  return IsStopRequested() ? kXpErrStopped : result;
}

XpResult K2ExportTaskManager::CopyItem(K2ExportItem& item, K2ExportBatch* batch) {
  XpClearSysFailure();
  XpResult result = kXpOk;
  if (item.contentType == kK2ContentTypeJpeg && !CurrentConfig().GetChangeImageFileSize()) {
    result = ReencodeJpegIfNeeded(item);
    if (result != kXpOk) {
      NoteFailure(K2DescribeFailure(item.FirstSourcePath(), kNotAPicture));
      return result;
    }
  }
  result = K2GetParentFolderName(item.FirstSourcePath(), &item.albumName);
  if (result != kXpOk) {
    return result;
  }
  NotifyCurrentItem(item);
  XpClearSysFailure();
  result = batch->copies.Add(item.fileToWrite, item.destination, this);
  if (result == kXpErrStopped) {
    return result;
  }
  if (result != kXpOk) {
    return SkipFailedCopy(result);
  }
  batch->owners.push_back(batch->items.size());
  if (item.contentType == kK2ContentTypeMovie) {
    result = AddMovieThumbnail(item, batch);
    if (result != kXpOk) {
      return result;
    }
  }
  batch->items.push_back(item);
  return kXpOk;
}

XpResult K2ExportTaskManager::SkipFailedCopy(XpResult failure) {
  const XpSysFailure record = XpLastSysFailure();
  const std::string reason = XpDescribeSysFailure(record);
  XpString root = GetDestinationRoot();
  XpPathAddTrailingBackslash(root);
  if (!K2IsDestinationPresent(root)) {
    NoteFailure(reason);
    return kK2ErrCameraGone;
  }
  {
    Guard guard(lock_);
    ++skipped_;
    if (firstSkip_.empty()) {
      firstSkip_ = reason;
    }
    skippedForFullCard_ = skippedForFullCard_ || IsCardFull(failure, record.error);
  }
  PostInternal(kCodeFileSkipped, XpSharedPtr<XfObject>());
  return kXpOk;
}

XpResult K2ExportTaskManager::PublishCopies(K2ExportBatch* batch) {
  if (batch->items.empty()) {
    batch->copies.Clear();
    return kXpOk;
  }
  // A copy reaches its name before its record, and is durable when the
  // batch's commit is: a run stopped in between leaves copies that the
  // next run removes, as the folder's marker names them.
  XpString root = GetDestinationRoot();
  XpPathAddTrailingBackslash(root);
  const XpString folder = XpPathGetDirectory(batch->items.front().destination);
  const XpCopyBatch::Durability durability = SharesTheDatabasesMedium(root, folder)
                                                 ? XpCopyBatch::Durability::kUnflushed
                                                 : XpCopyBatch::Durability::kFlushed;
  std::vector<XpResult> results;
  XpClearSysFailure();
  if (batch->copies.Publish(&results, durability) == kXpOk) {
    return kXpOk;
  }
  // An item is published when all its files are; the files of one that is
  // not go again, and it is skipped like a copy that failed while written.
  std::vector<XpResult> outcomes(batch->items.size(), kXpOk);
  for (size_t copy = 0; copy < results.size(); ++copy) {
    XpResult& outcome = outcomes[batch->owners[copy]];
    if (outcome == kXpOk) {
      outcome = results[copy];
    }
  }
  K2ExportItemVector published;
  K2ExportItemVector failed;
  for (size_t index = 0; index < batch->items.size(); ++index) {
    (outcomes[index] == kXpOk ? published : failed).push_back(batch->items[index]);
  }
  RemovePublished(failed);
  for (size_t index = 0; index < batch->items.size(); ++index) {
    if (outcomes[index] == kXpOk) {
      continue;
    }
    const XpResult skipped = SkipFailedCopy(outcomes[index]);
    if (skipped != kXpOk) {
      return skipped;
    }
  }
  batch->items.swap(published);
  return kXpOk;
}

XpResult K2ExportTaskManager::AddMovieThumbnail(const K2ExportItem& item, K2ExportBatch* batch) {
  const XpString thumbnail = ThumbnailPathFor(item.destination);
  XpString source = SourceThumbnail(item);
  if (source.IsEmpty()) {
    source = XpPathJoin(WorkFolder(), XpPathGetFileName(thumbnail) + kMadeThumbnailSuffix);
    createdFiles_->Add(source);
    const XpResult made = MakeMovieThumbnail(item.fileToWrite, source, item.shootingDate);
    if (made != kXpOk) {
      NoteFailure(K2DescribeFailure(item.fileToWrite, kNoThumbnail));
      return made;
    }
  }
  XpClearSysFailure();
  const XpResult added = batch->copies.Add(source, thumbnail, nullptr);
  if (added != kXpOk) {
    NoteFailure(K2DescribeFailure(thumbnail, kNotWritable));
    return added;
  }
  batch->owners.push_back(batch->items.size());
  return kXpOk;
}

void K2ExportTaskManager::RemovePublished(const K2ExportItemVector& items) {
  for (const K2ExportItem& item : items) {
    // Best effort: what stays is cleared by the next export, as the run's
    // marker stays on the camera.
    (void)XpFsUnlink(item.destination);
    if (item.contentType == kK2ContentTypeMovie) {
      (void)XpFsUnlink(ThumbnailPathFor(item.destination));
    }
  }
}

XpResult K2ExportTaskManager::RecordBatch(const K2ExportItemVector& batch) {
  try {
    for (const K2ExportItem& item : batch) {
      XdbAccessor::IAlbumInfo*& album = albums_[item.sourceFolder];
      if (album == nullptr) {
        album = xdb_->CreateAlbum(item.albumName);
      }
      if (album == nullptr) {
        albums_.erase(item.sourceFolder);
        return kK2ErrAlbumDatabase;
      }
      XdbAccessor::IContentInfo* content =
          xdb_->CreateContent(album, item.destination, K2LocalToUtc(item.shootingDate),
                              FavoriteFlags(item.favoriteList));
      if (content == nullptr) {
        return kK2ErrAlbumDatabase;
      }
      content->Release();
    }
  } catch (const XdbAccessor::XdbException&) {
    NoteFailure(LastSysFailureText());
    return kK2ErrAlbumDatabase;
  } catch (const std::bad_alloc&) {
    return kK2ErrAlbumDatabase;
  }
  return kXpOk;
}

XpResult K2ExportTaskManager::RegisterBatch(const K2ExportItemVector& batch) {
  if (xdb_ == nullptr) {
    return kK2ErrAlbumDatabase;
  }
  // A batch that is not committed is not exported: its files go again, and
  // the album database never records it later (the accessor drops the work
  // copy of a failed edit).
  const XpResult recorded = RecordBatch(batch);
  if (recorded != kXpOk) {
    RemovePublished(batch);
    return recorded;
  }
  XpClearSysFailure();
  int32_t committed = static_cast<int32_t>(kXpErrGeneric);
  try {
    committed = xdb_->Commit();
  } catch (const XdbAccessor::XdbException&) {
    // As a failed commit.
  }
  if (committed == 0) {
    return kXpOk;
  }
  const XpResult failure = CommitFailure(committed);
  NoteFailure(LastSysFailureText());
  RemovePublished(batch);
  return failure;
}

XpResult K2ExportTaskManager::CommitFailure(int32_t code) {
  return IsCardFull(static_cast<XpResult>(code), XpLastSysFailure().error) ? kK2ErrCameraFull
                                                                           : kK2ErrAlbumDatabaseWrite;
}

bool K2ExportTaskManager::HasEnoughFreeSpace() {
  XpString root = GetDestinationRoot();
  XpPathAddTrailingBackslash(root);
  const uint32_t cluster = K2GetVolumeClusterSize(root);
  uint64_t required = 0;
  for (const int64_t size : GetFileSizes()) {
    required += K2RoundUpToClusters(size, cluster);
  }
  FreeSpaceQuery query;
  {
    Guard guard(lock_);
    query = freeSpaceQuery_;
  }
  const int64_t available = query ? query(root) : -1;
  if (available < 0) {
    return false;
  }
  return static_cast<uint64_t>(available) >= required + kFreeSpaceMargin;
}

bool K2ExportTaskManager::CheckDatabaseCapacity() {
  if (xdb_ == nullptr) {
    return false;
  }
  uint32_t groups = 0;
  uint32_t items = 0;
  GetCounts(&groups, &items);
  try {
    return static_cast<int64_t>(items) <= xdb_->GetRemainingContentCapacity() &&
           static_cast<int64_t>(groups) <= xdb_->GetRemainingAlbumCapacity();
  } catch (const std::exception&) {
    return false;
  }
}

void K2ExportTaskManager::ReleaseAlbums() {
  std::map<XpString, XdbAccessor::IAlbumInfo*> albums;
  albums.swap(albums_);
  for (auto& entry : albums) {
    if (entry.second == nullptr) {
      continue;
    }
    try {
      entry.second->Release();
    } catch (const std::exception&) {
      // A handle that cannot be released is left to the database.
    }
  }
}

void K2ExportTaskManager::ReleaseAlbumDatabase() {
  ReleaseAlbums();
  XdbAccessor::IXdbAccessor* accessor = xdb_;
  xdb_ = nullptr;
  if (accessor == nullptr) {
    return;
  }
  try {
    accessor->Release();
  } catch (const std::exception&) {
    // The run's result stands; the accessor is forgotten either way.
  }
}

bool K2ExportTaskManager::IsStopRequested() const {
  Guard guard(lock_);
  return cancelled_ || (progressView_ != nullptr && progressView_->GetStopFlag());
}
