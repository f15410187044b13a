#include <algorithm>
#include <mutex>
#include <new>

#include "accessor/import/K2FolderNameObject.h"
#include "accessor/import/K2ImportNames.h"
#include "accessor/import/K2ImportRecord.h"
#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/task/K2ObjectForNotification.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "camerastore/dcf/XpDCFObj.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "framework/progress/XfViewProgress.h"
#include "framework/suite/SfModdXML.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

constexpr const char16_t* kMovieExtension = u".MPG";
constexpr const char16_t* kThumbnailExtension = u".THM";
constexpr const char16_t* kModdExtension = u".modd";
constexpr const char16_t* kPreviewMovieExtensions[] = {u".mpg", u".mpeg"};
constexpr const char16_t* kPreviewPictureExtensions[] = {u".jpg", u".jpeg", u".jpe", u".thm"};
constexpr int32_t kFavoriteBits = 6;

// The size of the file at path; 0 when it cannot be read, so that an
// unreadable file never counts as a huge one.
uint64_t SizeOrZero(const XpString& path) {
  const int64_t size = XpGetFileSize(path.CStr());
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

double StepWeight(double share, uint64_t bytes) {
  return share * static_cast<double>(std::max(bytes, K2ImportTaskManager::kMinStepBytes));
}

template <size_t N>
bool HasExtension(const XpString& path, const char16_t* const (&extensions)[N]) {
  const XpString extension = XpPathGetExtension(path);
  for (const char16_t* candidate : extensions) {
    if (extension.CompareNoCase(candidate) == 0) {
      return true;
    }
  }
  return false;
}

// The file of the same folder and base name with extension.
XpString SiblingPath(const XpString& path, const char16_t* extension) {
  XpString folder;
  XpString base;
  XpPathSplit(path, &folder, &base, nullptr);
  return folder + base + extension;
}

// The preview picture of an item whose main file is path: a movie's
// thumbnail, else a JPEG file itself; "" when there is none.
XpString PreviewPicture(const XpString& path) {
  if (HasExtension(path, kPreviewMovieExtensions)) {
    const XpString thumbnail = SiblingPath(path, kThumbnailExtension);
    return XpFileExists(thumbnail) ? thumbnail : XpString();
  }
  if (HasExtension(path, kPreviewPictureExtensions) && XpFileExists(path)) {
    return path;
  }
  return XpString();
}

// The first member's path of the item's source; "" without one.
XpString MainFile(const K2ImportTaskDCFObj& item) {
  XpSharedPtr<XpAbstractFSObj> source = item.GetSource();
  auto* object = dynamic_cast<XpDCFObj*>(source.Get());
  if (object == nullptr || object->BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return XpString();
  }
  XpSharedPtr<XpAbstractFSObj> first = object->GetNext();
  (void)object->EndEnum();
  return first ? first->GetPath() : XpString();
}

bool IsSourceReadOnly(const K2ImportTaskDCFObj& item) {
  XpSharedPtr<XpAbstractFSObj> source = item.GetSource();
  return source && source->IsReadOnly();
}

}  // namespace

XpResult K2ImportTaskManager::OpenDatabase() {
  bool hasDatabase = false;
  for (const char16_t* folder : kDatabaseFolders) {
    hasDatabase = hasDatabase || XpDirectoryExists(XpPathJoin(cameraRoot_, folder));
  }
  if (!hasDatabase) {
    return kXpOk;
  }
  XdbAccessorFactory factory;
  {
    Guard guard(lock_);
    factory = xdbFactory_;
  }
  XdbAccessor::IXdbAccessor* database = nullptr;
  const XpResult opened = factory ? factory(&database, cameraRoot_) : kXpErrGeneric;
  database_ = database;
  return opened == kXpOk ? kXpOk : kK2ErrAlbumDatabase;
}

XpResult K2ImportTaskManager::CollectFromDatabase(std::vector<XfProgressStep>* steps) {
  {
    Guard guard(lock_);
    fileSizes_.clear();
  }
  listedIds_.clear();
  importedIds_.clear();
  const XpResult opened = OpenDatabase();
  if (opened != kXpOk) {
    return opened;
  }
  if (database_ != nullptr) {
    contents_ = history_ ? database_->GetContentsAfterGuid(history_->GetMax())
                         : database_->GetAllContents();
  }
  XpResult result = kXpOk;
  if (contents_ != nullptr) {
    std::vector<K2FolderNameObject> folders;
    const int32_t count = contents_->GetCount();
    for (int32_t position = 0; position < count && result == kXpOk; ++position) {
      result = CollectContent(position, folders, steps);
    }
  }
  if (result != kXpOk) {
    return result;
  }
  if (!HasEnoughFreeSpace()) {
    result = kK2ErrImportDiskFull;
  }
  // An empty list wins over the free space.
  if (queue_.empty()) {
    result = kK2ErrNothingToImport;
  }
  return result;
}

XpResult K2ImportTaskManager::CollectContent(int32_t position,
                                             std::vector<K2FolderNameObject>& folders,
                                             std::vector<XfProgressStep>* steps) {
  const XdbAccessor::IContentInfo* content = contents_->GetAt(position);
  const XpString path = content->GetPath();
  Item item(new (std::nothrow) K2ImportTaskDCFObj(clock_));
  XpSharedPtr<XpDCFObj> object(new (std::nothrow) XpDCFObj());
  XpSharedPtr<XpAbstractFSObj> file(new (std::nothrow) XpFile(path));
  if (!item || !object || !file) {
    return kXpErrOutOfMemory;
  }
  (void)object->AddFile(file);
  uint64_t bytes = SizeOrZero(path);
  std::vector<uint64_t> sizes{bytes};
  if (XpPathGetExtension(path).CompareNoCase(kMovieExtension) == 0) {
    const XpString thumbnailPath = SiblingPath(path, kThumbnailExtension);
    XpSharedPtr<XpAbstractFSObj> thumbnail(new (std::nothrow) XpFile(thumbnailPath));
    if (!thumbnail) {
      return kXpErrOutOfMemory;
    }
    if (XpFileExists(thumbnailPath)) {
      (void)object->AddFile(thumbnail);
      sizes.push_back(SizeOrZero(thumbnailPath));
      bytes += sizes.back();
    }
  }
  item->SetSource(XpSharedPtr<XpAbstractFSObj>(object));
  item->SetName(FolderForContent(*content, folders));
  item->SetContentIndex(position);
  item->SetContentId(static_cast<uint64_t>(content->GetGuid()));
  item->SetRenameSource(true);
  listedIds_.insert(content->GetGuid());
  Guard guard(lock_);
  queue_.push_back(item);
  fileSizes_.insert(fileSizes_.end(), sizes.begin(), sizes.end());
  steps->push_back({0, 0, StepWeight(kCopyWeight, bytes)});
  return kXpOk;
}

XpString K2ImportTaskManager::FolderForContent(const XdbAccessor::IContentInfo& content,
                                               std::vector<K2FolderNameObject>& folders) {
  XdbAccessor::IAlbumInfo* album = content.GetAlbum();
  const int32_t albumId = album != nullptr ? album->GetId() : -1;
  const XpString title = album != nullptr ? album->GetTitle() : XpString();
  if (album != nullptr) {
    album->Release();
  }
  XpStringVector reserved;
  for (const K2FolderNameObject& folder : folders) {
    if (folder.GetAlbumId() == albumId) {
      return folder.GetFolderPath();
    }
    reserved.push_back(folder.GetFolderPath());
  }
  const XpString path = K2MakeDestinationFolderPath(title, destinationFolder_, &reserved);
  folders.emplace_back(path, albumId);
  return path;
}

void K2ImportTaskManager::SetUpProgressSteps(std::vector<XfProgressStep>& steps) {
  if (queue_.empty()) {
    return;
  }
  if (removeAfterImport_) {
    for (const Item& item : queue_) {
      XpStringVector files;
      if (item->CollectRemovableFiles(&files) != kXpOk) {
        continue;
      }
      for (const XpString& file : files) {
        steps.push_back({0, 0, StepWeight(kRemovalWeight, SizeOrZero(file))});
      }
    }
  }
  {
    Guard guard(lock_);
    steps_ = steps;
  }
  if (progress_ != nullptr) {
    progress_->SetSteps(steps.data(), steps.size());
  }
}

bool K2ImportTaskManager::HasEnoughFreeSpace() {
  const uint32_t cluster = K2GetVolumeClusterSize(destinationFolder_);
  uint64_t required = kFreeSpaceReserve;
  {
    Guard guard(lock_);
    for (uint64_t size : fileSizes_) {
      required += K2RoundUpToClusters(static_cast<int64_t>(size), cluster);
    }
  }
  const int64_t available = XpDir(destinationFolder_).GetFreeSpace();
  return available >= 0 && static_cast<uint64_t>(available) >= required;
}

XpResult K2ImportTaskManager::RunImport() {
  createdFolders_.clear();
  records_.clear();
  removals_.clear();
  XpResult result = kXpOk;
  while (!queue_.empty() && !StopSeen()) {
    Item item = queue_.front();
    result = ImportItem(*item, item);
    {
      Guard guard(lock_);
      queue_.pop_front();
    }
    WaitWhilePaused();
    if (result != kXpOk) {
      break;
    }
  }
  if (result == kXpOk) {
    if (records_.empty()) {
      RemoveCreatedFolders();
    } else {
      result = SaveRecord();
      if (result == kXpOk && removeAfterImport_ && !removals_.empty()) {
        result = RemoveFromCamera();
      }
      if (result != kXpOk && result != kXpErrStopped && !IsSourcePresent()) {
        result = kK2ErrCameraGone;
      }
    }
  }
  completed_ = !StopSeen();
  createdFolders_.clear();
  records_.clear();
  removals_.clear();
  return result;
}

XpResult K2ImportTaskManager::ImportItem(K2ImportTaskDCFObj& item, const Item& shared) {
  const XpString folder = item.GetName();
  const XpResult created = XpCreateDirectoryTree(folder);
  if (created == kXpOk) {
    createdFolders_.push_back(folder);
  } else if (created != kXpErrAlreadyExists) {
    return created;
  }
  NotifyCurrentItem(folder, MainFile(item));
  Sleep(kItemPause);
  XpClearSysFailure();
  const XpResult copied = item.Run(&stopRequested_, &paused_);
  if (copied == kXpOk) {
    K2ImportedObject record;
    record.files = item.GetFileList();
    FillImportRecord(record, item.GetContentIndex());
    if (removeAfterImport_) {
      removals_.push_back(shared);
    }
    if (IsSourceReadOnly(item)) {
      readOnlySourceSeen_ = true;
    }
    if (history_) {
      RaiseHistory(static_cast<int64_t>(item.GetContentId()));
    }
    return kXpOk;
  }
  if (copied == kXpErrStopped) {
    return kXpOk;
  }
  const XpSysFailure cause = XpLastSysFailure();
  PostInternal(kCodeItemFailed);
  if (!IsSourcePresent()) {
    return kK2ErrCameraGone;
  }
  NoteItemFailure(item, copied, cause);
  return kXpOk;
}

void K2ImportTaskManager::NoteItemFailure(const K2ImportTaskDCFObj& item, XpResult code,
                                          const XpSysFailure& cause) {
  Guard guard(lock_);
  if (failedItems_.fetch_add(1) == 0) {
    firstItemFailure_.file = MainFile(item);
    firstItemFailure_.code = code;
    firstItemFailure_.cause = cause;
  }
}

void K2ImportTaskManager::RaiseHistory(int64_t importedId) {
  importedIds_.insert(importedId);
  // The highest listed id below which every listed content was imported;
  // the history never passes a content that was not.
  bool raised = false;
  int64_t highest = 0;
  for (int64_t id : listedIds_) {
    if (importedIds_.count(id) == 0) {
      break;
    }
    highest = id;
    raised = true;
  }
  if (raised) {
    (void)history_->UpdateMax(highest);  // in memory: the save below tells
  }
  XpClearSysFailure();
  const XpResult saved = history_->Save();
  if (saved == kXpOk) {
    return;
  }
  Guard guard(lock_);
  if (historyFailure_.file.IsEmpty()) {
    historyFailure_.file = history_->GetFilePath();
    historyFailure_.code = saved;
    historyFailure_.cause = XpLastSysFailure();
  }
}

void K2ImportTaskManager::RemoveCreatedFolders() {
  for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder) {
    // Only an empty folder goes.
    (void)XpRemoveDirectory(*folder);
  }
}

XpResult K2ImportTaskManager::SaveRecord() {
  XpClearSysFailure();
  K2ImportRecord document;
  const XpResult built = document.Build(records_, destinationFolder_);
  // The record keeps what was built even after a failure.
  const XpResult saved = document.SaveToFile(recordFilePath_);
  return built != kXpOk ? built : saved;
}

XpResult K2ImportTaskManager::RemoveFromCamera() {
  PostInternal(kCodeRemovalBegins);
  XpResult result = kXpOk;
  size_t next = 0;
  bool committed = true;
  while (next < removals_.size() && !StopSeen() && committed) {
    const XpResult chunk = RemoveChunk(&next, &committed);
    if (chunk != kXpOk) {
      result = chunk;
    }
    WaitWhilePaused();
  }
  return result;
}

XpResult K2ImportTaskManager::RemoveChunk(size_t* next, bool* committed) {
  const size_t end = std::min(removals_.size(), *next + K2GetBatchSize(true));
  XpStringVector files;
  std::vector<int32_t> positions;
  for (; *next < end && !paused_.load() && !StopSeen(); ++*next) {
    K2ImportTaskDCFObj& item = *removals_[*next];
    if (IsSourceReadOnly(item)) {
      PostInternal(kCodeReadOnlyKept);
      continue;
    }
    if (item.CollectRemovableFiles(&files) == kXpOk) {
      positions.push_back(item.GetContentIndex());
    }
  }
  if (files.empty()) {
    return kXpOk;
  }
  XpResult result = kXpOk;
  XpClearSysFailure();
  if (XpDeleteFilesWithProgress(files, false, false, this) != kXpOk) {
    NoteRunFailure();
    result = kXpErrDeleteFailed;
  }
  if (database_ == nullptr || contents_ == nullptr) {
    return result;
  }
  try {
    const int32_t count = contents_->GetCount();
    for (int32_t position : positions) {
      if (position >= 0 && position < count) {
        database_->DeleteContent(contents_->GetAt(position));
      }
    }
  } catch (const XdbAccessor::XdbException&) {
    NoteRunFailure();
    result = kK2ErrAlbumDatabase;
  }
  // The chunk's camera files are gone: a commit that fails leaves them
  // listed, which the run reports and goes no further.
  XpClearSysFailure();
  if (database_->Commit() != 0) {
    NoteRunFailure();
    *committed = false;
    result = kK2ErrAlbumDatabase;
  }
  return result;
}

void K2ImportTaskManager::NotifyCurrentItem(const XpString& destinationFolder,
                                            const XpString& mainFile) {
  XpSharedPtr<XfObject> payload(new (std::nothrow) K2ObjectForNotification(
      PreviewPicture(mainFile), XpPathGetLeafName(destinationFolder),
      XpPathGetFileName(mainFile)));
  PostProgress(kCodeItemStarts, 0, payload);
}

void K2ImportTaskManager::FillImportRecord(K2ImportedObject& record, int32_t position) {
  if (position >= 0 && contents_ != nullptr && position < contents_->GetCount()) {
    const XdbAccessor::IContentInfo* content = contents_->GetAt(position);
    record.date = content->GetDate();
    (void)record.date.UtcToLocal();
    const int32_t favorites = content->GetFavoriteFlags();
    for (int32_t bit = 0; bit < kFavoriteBits; ++bit) {
      if ((favorites & (1 << bit)) != 0) {
        record.favourites.push_back(bit + 1);
      }
    }
  }
  WriteModdSideFile(record);
  records_.push_back(record);
}

void K2ImportTaskManager::WriteModdSideFile(K2ImportedObject& record) {
  if (record.favourites.empty() || record.files.empty()) {
    return;
  }
  const XpString sidePath = SiblingPath(record.files.front(), kModdExtension);
  SfModdXML side;
  if (side.InitHeader() != kXpOk || side.SetFavoriteList(record.favourites, true) != kXpOk) {
    return;
  }
  if (side.SaveToFile(sidePath) == kXpOk) {
    record.files.push_back(sidePath);
  }
}
