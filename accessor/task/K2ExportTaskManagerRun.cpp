// The run of the export task manager on the camera: the album database,
// the checks before anything is written, the folder loop with its marker,
// the batches of copies and their records.
#include <algorithm>
#include <exception>
#include <mutex>
#include <new>

#include "accessor/task/K2DCFAllocation.h"
#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/task/helpers/K2TransferMarker.h"
#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFRootDir.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "framework/progress/XfViewProgress.h"
#include "platform/fs/XpCopyBatch.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

// Free space the camera keeps beyond the rounded size of all files.
constexpr uint64_t kFreeSpaceMargin = 47185920;
// Favourite values 1 to 6 are the flag bits 0x1 to 0x20.
constexpr int32_t kFirstFavorite = 1;
constexpr int32_t kLastFavorite = 6;
constexpr const char16_t* kThumbnailExtension = u".THM";

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
    result = K2WriteTransferMarker(root, folder);
    if (result != kXpOk) {
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
  return marked ? K2RemoveTransferMarker(root) : result;
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
    K2ExportItemVector batch;
    // The batch's copies reach their names together, before their records.
    XpCopyBatch copies;
    for (; next < end && !IsStopRequested(); ++next) {
      K2ExportItem item;
      {
        Guard guard(lock_);
        item = exportable_[next];
      }
      if (!K2IsFileInFolder(folder, item.destination)) {
        continue;
      }
      result = CopyItem(item, &copies, &batch);
      {
        Guard guard(lock_);
        exportable_[next] = item;
      }
      // The copies of this batch so far stay unrecorded.
      if (result != kXpOk && result != kXpErrStopped) {
        return result;
      }
      WaitWhilePaused();
    }
    next = end;
    result = PublishCopies(&copies, &batch);
    if (result != kXpOk) {
      return result;
    }
    result = RegisterBatch(batch);
    if (result != kXpOk) {
      return result;
    }
  }
  return IsStopRequested() ? kXpErrStopped : result;
}

XpResult K2ExportTaskManager::CopyItem(K2ExportItem& item, XpCopyBatch* copies,
                                      K2ExportItemVector* batch) {
  XpResult result = kXpOk;
  if (item.contentType == kK2ContentTypeJpeg && !CurrentConfig().GetChangeImageFileSize()) {
    result = ReencodeJpegIfNeeded(item);
    if (result != kXpOk) {
      return result;
    }
  }
  result = K2GetParentFolderName(item.FirstSourcePath(), &item.albumName);
  if (result != kXpOk) {
    return result;
  }
  NotifyCurrentItem(item);
  result = copies->Add(item.fileToWrite, item.destination, this);
  if (result == kXpErrStopped) {
    return result;
  }
  if (result != kXpOk) {
    return SkipFailedCopy();
  }
  if (item.contentType == kK2ContentTypeMovie) {
    result = CopyMovieThumbnail(item);
    if (result != kXpOk) {
      return result;
    }
  }
  batch->push_back(item);
  return kXpOk;
}

XpResult K2ExportTaskManager::SkipFailedCopy() {
  XpString root = GetDestinationRoot();
  XpPathAddTrailingBackslash(root);
  if (!K2IsDestinationPresent(root)) {
    return kK2ErrCameraGone;
  }
  PostInternal(kCodeFileSkipped, XpSharedPtr<XfObject>());
  return kXpOk;
}

XpResult K2ExportTaskManager::PublishCopies(XpCopyBatch* copies, K2ExportItemVector* batch) {
  std::vector<XpResult> results;
  if (copies->Publish(&results) == kXpOk) {
    return kXpOk;
  }
  // A copy that did not reach its name is skipped like one that failed
  // while it was written.
  K2ExportItemVector published;
  for (size_t index = 0; index < batch->size(); ++index) {
    if (results[index] == kXpOk) {
      published.push_back((*batch)[index]);
      continue;
    }
    const XpResult skipped = SkipFailedCopy();
    if (skipped != kXpOk) {
      return skipped;
    }
  }
  batch->swap(published);
  return kXpOk;
}

XpResult K2ExportTaskManager::CopyMovieThumbnail(const K2ExportItem& item) {
  const XpString thumbnail = ThumbnailPathFor(item.destination);
  const XpString source = SourceThumbnail(item);
  if (!source.IsEmpty()) {
    return XpCopyPath(source, thumbnail, false, nullptr);
  }
  return MakeMovieThumbnail(item.fileToWrite, thumbnail, item.shootingDate);
}

XpResult K2ExportTaskManager::RegisterBatch(const K2ExportItemVector& batch) {
  if (xdb_ == nullptr) {
    return kK2ErrAlbumDatabase;
  }
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
    // Files whose records did not reach the camera's database are not
    // exported.
    if (xdb_->Commit() != 0) {
      return kK2ErrAlbumDatabase;
    }
  } catch (const XdbAccessor::XdbException&) {
    return kK2ErrAlbumDatabase;
  } catch (const std::bad_alloc&) {
    return kK2ErrAlbumDatabase;
  }
  return kXpOk;
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
