#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

#include "accessor/import/K2ImportNames.h"
#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/settings/K2SalvageConfig.h"
#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFObj.h"
#include "framework/progress/XfViewProgress.h"
#include "imaging/format/XpFormatChecker.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/path/XpPath.h"
#include "platform/sync/XpRetry.h"
#include "platform/thread/XpThread.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;
using Entry = XpSharedPtr<XpAbstractFSObj>;

constexpr const char16_t* kSalvageFolderName = u"DCIM";
constexpr int32_t kSalvageExtensionLength = 4;
constexpr int32_t kSalvageNumberDigits = 3;
constexpr int32_t kDecimalBase = 10;
// The longest dated destination folder path, in UTF-16 units.
constexpr int32_t kMaxSalvageDestination = 260;
// Names of files that came from the PC: they are deleted without a copy.
constexpr const char16_t* kPicturePrefix = u"QMVS";
constexpr const char16_t* kMoviePrefix = u"QMVM";
constexpr int32_t kPrefixLength = 4;
constexpr const char16_t* kThumbnailExtension = u".THM";
constexpr int32_t kDeleteAttempts = 20;
constexpr int32_t kCopyPass = 0;
constexpr int32_t kRestPass = 1;

bool HasPrefix(const XpString& name, const char16_t* prefix) {
  return name.Left(kPrefixLength).CompareNoCase(prefix) == 0;
}

// Files whose names mark them as copies made from the PC.
bool IsFromPc(const XpString& path) {
  const XpString name = XpPathGetFileName(path);
  return HasPrefix(name, kPicturePrefix) || HasPrefix(name, kMoviePrefix);
}

bool IsMovieOrThumbnailKind(XpFormatKind kind) {
  return kind == kXpKindMpegByName || kind == kXpKindJpegThumbnail;
}

// The folder's entries in case-folded name order, ties in code-unit order.
[[nodiscard]] XpResult ListSorted(const XpString& folder, std::vector<Entry>* entries) {
  XpDir dir(folder);
  if (dir.BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return kXpErrFileNotFound;
  }
  for (Entry entry = dir.GetNext(); entry; entry = dir.GetNext()) {
    entries->push_back(entry);
  }
  (void)dir.EndEnum();
  std::stable_sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) {
    const XpString left = XpPathGetFileName(a->GetPath());
    const XpString right = XpPathGetFileName(b->GetPath());
    const int folded = left.CompareNoCase(right.CStr());
    return folded != 0 ? folded < 0 : left.Compare(right.CStr()) < 0;
  });
  return kXpOk;
}

// The number of a salvage folder's extension (".001" is 1).
int32_t SalvageNumber(const XpString& extension) {
  int32_t number = 0;
  for (int32_t index = extension.GetLength() - kSalvageNumberDigits;
       index < extension.GetLength(); ++index) {
    number = number * kDecimalBase + (*extension.CharPtr(index) - u'0');
  }
  return number;
}

double StepWeight(double share, uint64_t bytes) {
  return share * static_cast<double>(std::max(bytes, K2ImportTaskManager::kMinStepBytes));
}

// The path of the item's one camera file; "" without one.
XpString SalvagedFile(const K2ImportTaskDCFObj& item) {
  XpSharedPtr<XpAbstractFSObj> source = item.GetSource();
  auto* object = dynamic_cast<XpDCFObj*>(source.Get());
  if (object == nullptr || object->BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return XpString();
  }
  const Entry first = object->GetNext();
  (void)object->EndEnum();
  return first ? first->GetPath() : XpString();
}

}  // namespace

XpResult K2ImportTaskManager::PrepareSalvage(const K2SalvageConfig& settings,
                                             XfViewProgress* progress) {
  {
    Guard guard(lock_);
    if (thread_ != nullptr) {
      return kXpErrWrongState;
    }
    pendingPrompts_ = 0;
    progress_ = progress;
    completed_ = false;
    removeAfterImport_ = true;
    // The salvage writes no record for the browser.
    launchBrowser_ = false;
    stopRequested_ = false;
    paused_ = false;
    salvageResult_ = kXpOk;
    threadResult_ = kXpOk;
    fileSizes_.clear();
    steps_.clear();
    sourceName_ = settings.GetCameraRoot();
    cameraRoot_ = XpPathGetRoot(sourceName_);
    destinationFolder_ = settings.GetDestination();
    queue_.clear();
    salvageFolders_.clear();
    salvageFirstPassItems_ = 0;
  }
  std::vector<XpSharedPtr<XpDir>> folders;
  XpResult result = FindSalvageFolders(sourceName_, &folders);
  std::vector<XfProgressStep> steps;
  for (int32_t pass = kCopyPass; pass <= kRestPass; ++pass) {
    for (size_t index = 0; index < folders.size() && result == kXpOk; ++index) {
      result = ScanSalvageFolder(folders[index]->GetPath(), destinationFolder_, steps, pass);
    }
    if (pass == kCopyPass) {
      Guard guard(lock_);
      salvageFirstPassItems_ = queue_.size();
    }
  }
  {
    Guard guard(lock_);
    salvageFolders_ = std::move(folders);
    steps_ = steps;
  }
  if (progress_ != nullptr) {
    progress_->SetSteps(steps.data(), steps.size());
  }
  if (!HasEnoughFreeSpace()) {
    result = kK2ErrSalvageDiskFull;
  }
  if (salvageResult_.load() == kXpOk) {
    salvageResult_ = result;
  }
  return result;
}

XpResult K2ImportTaskManager::StartSalvage() {
  XpThread* previous = nullptr;
  {
    Guard guard(lock_);
    if (queue_.empty()) {
      return kXpErrGeneric;
    }
    std::swap(previous, thread_);
  }
  if (previous != nullptr) {
    XpThread::Join(previous);
  }
  Guard guard(lock_);
  thread_ = XpThread::Create(&K2ImportTaskManager::SalvageMain, this);
  return thread_ != nullptr ? kXpOk : kXpErrOutOfMemory;
}

XpResult K2ImportTaskManager::FindSalvageFolders(const XpString& root,
                                                 std::vector<XpSharedPtr<XpDir>>* folders) {
  std::vector<Entry> entries;
  if (ListSorted(root, &entries) != kXpOk) {
    return kXpErrPathNotFound;
  }
  std::vector<int32_t> numbers;
  for (const Entry& entry : entries) {
    if (!entry->IsDirectory()) {
      continue;
    }
    XpString name;
    XpString extension;
    XpPathSplit(entry->GetPath(), nullptr, &name, &extension);
    if (!IsSalvageFolderName(name, extension)) {
      continue;
    }
    XpSharedPtr<XpDir> folder(new (std::nothrow) XpDir(entry->GetPath()));
    if (!folder) {
      return kXpErrOutOfMemory;
    }
    const int32_t number = SalvageNumber(extension);
    const auto position = std::upper_bound(numbers.begin(), numbers.end(), number);
    const auto offset = position - numbers.begin();
    numbers.insert(position, number);
    folders->insert(folders->begin() + offset, folder);
  }
  return folders->empty() ? kXpErrPathNotFound : kXpOk;
}

XpResult K2ImportTaskManager::ScanSalvageFolder(const XpString& folder,
                                                const XpString& destinationRoot,
                                                std::vector<XfProgressStep>& steps,
                                                int32_t pass) {
  std::vector<Entry> entries;
  if (ListSorted(folder, &entries) != kXpOk) {
    return kXpErrFileNotFound;
  }
  // Each folder keeps its own destination, also after a sub-folder's scan.
  const XpString dated = K2MakeUniqueName(
      destinationRoot, K2MakeDateFolderName(GetSalvageDate()), nullptr);
  const XpString destination = XpPathJoin(destinationRoot, dated);
  if (destination.GetLength() > kMaxSalvageDestination) {
    return kXpErrFileNotFound;
  }
  for (const Entry& entry : entries) {
    const XpString path = entry->GetPath();
    if (entry->IsDirectory()) {
      (void)ScanSalvageFolder(path, destinationRoot, steps, pass);
      continue;
    }
    if (IsSalvageTarget(path) != (pass == kCopyPass)) {
      continue;
    }
    // Only the PC's own copies go without a copy of their own.
    const bool copy = pass == kCopyPass || !IsFromPc(path);
    if (QueueSalvageFile(path, destination, copy, steps) != kXpOk) {
      return kXpOk;
    }
  }
  return kXpOk;
}

XpResult K2ImportTaskManager::QueueSalvageFile(const XpString& path, const XpString& destination,
                                               bool copy, std::vector<XfProgressStep>& steps) {
  Item item(new (std::nothrow) K2ImportTaskDCFObj(clock_));
  XpSharedPtr<XpAbstractFSObj> file(new (std::nothrow) XpFile(path));
  XpSharedPtr<XpDCFObj> object(new (std::nothrow) XpDCFObj());
  if (!item || !file || !object) {
    return kXpErrOutOfMemory;
  }
  (void)object->AddFile(file);
  const int64_t size = file->GetSize();
  const uint64_t bytes = size > 0 ? static_cast<uint64_t>(size) : 0;
  item->SetSource(XpSharedPtr<XpAbstractFSObj>(object));
  item->SetCreateDestination(copy);
  item->SetName(destination);
  item->SetContentId(0);
  item->SetRenameSource(false);
  Guard guard(lock_);
  fileSizes_.push_back(bytes);
  queue_.push_back(item);
  if (copy) {
    steps.push_back({0, 0, StepWeight(kCopyWeight, bytes)});
  }
  steps.push_back({0, 0, StepWeight(kRemovalWeight, bytes)});
  return kXpOk;
}

bool K2ImportTaskManager::IsSalvageFolderName(const XpString& name, const XpString& extension) {
  if (name.CompareNoCase(kSalvageFolderName) != 0 ||
      extension.GetLength() != kSalvageExtensionLength || *extension.CharPtr(0) != u'.') {
    return false;
  }
  for (int32_t index = 1; index < kSalvageExtensionLength; ++index) {
    const char16_t digit = *extension.CharPtr(index);
    if (digit < u'0' || digit > u'9') {
      return false;
    }
  }
  return true;
}

bool K2ImportTaskManager::IsSalvageTarget(const XpString& path) {
  XpString name;
  XpString extension;
  XpPathSplit(path, nullptr, &name, &extension);
  if (!XpDCFIsFileName(name)) {
    return false;
  }
  const bool picture = !HasPrefix(name, kPicturePrefix) &&
                       XpFormatChecker::IsJpegExtension(path) &&
                       extension.CompareNoCase(kThumbnailExtension) != 0;
  const bool movie = !HasPrefix(name, kMoviePrefix) &&
                     IsMovieOrThumbnailKind(XpFormatChecker::KindFromExtension(path));
  return picture || movie;
}

uint32_t K2ImportTaskManager::SalvageMain(void* manager) {
  return static_cast<uint32_t>(static_cast<K2ImportTaskManager*>(manager)->SalvageThread());
}

XpResult K2ImportTaskManager::SalvageThread() {
  const XpResult result = RunSalvage();
  threadResult_ = result;
  return result;
}

XpResult K2ImportTaskManager::RunSalvage() {
  PostInternal(kCodeRunBegins);
  XpResult result = kXpOk;
  size_t taken = 0;
  while (result == kXpOk && !queue_.empty() && !StopSeen()) {
    Item item = queue_.front();
    if (taken++ == salvageFirstPassItems_) {
      PostInternal(kCodeRemovalBegins);
    }
    result = SalvageItem(*item);
    {
      Guard guard(lock_);
      queue_.pop_front();
    }
    if (result != kXpOk && result != kXpErrStopped && !IsSourcePresent()) {
      result = kK2ErrCameraGone;
    }
    WaitWhilePaused();
  }
  (void)RemoveSalvageFolders();
  if (salvageResult_.load() == kXpOk) {
    salvageResult_ = result;
  }
  completed_ = !StopSeen();
  if (result != kXpOk && result != kXpErrStopped) {
    ReportError(result);
  }
  PostInternal(kCodeImportEnded);
  return result;
}

XpResult K2ImportTaskManager::SalvageItem(K2ImportTaskDCFObj& item) {
  if (item.GetCreateDestination()) {
    const XpString folder = item.GetName();
    const XpResult created = XpCreateDirectoryTree(folder);
    if (created != kXpOk && created != kXpErrAlreadyExists) {
      return created;
    }
    NotifyCurrentItem(folder, SalvagedFile(item));
    // The camera file goes only once its copy is safe.
    const XpResult copied = item.Run(&stopRequested_, &paused_);
    if (copied != kXpOk) {
      return copied;
    }
  }
  return DeleteSalvagedFiles(item);
}

XpResult K2ImportTaskManager::DeleteSalvagedFiles(K2ImportTaskDCFObj& item) {
  XpStringVector files;
  (void)item.CollectAllFilesForRemoval(&files);
  if (files.empty()) {
    return kXpOk;
  }
  // Every try, the first too, comes after the item pause.
  const XpResult deleted = XpRetry(
      kDeleteAttempts,
      [&] {
        Sleep(kItemPause);
        return XpDeleteFilesWithProgress(files, false, false, this);
      },
      [](XpResult) {});
  return deleted == kXpOk ? kXpOk : kXpErrDeleteFailed;
}

XpResult K2ImportTaskManager::RemoveSalvageFolders() {
  std::vector<XpSharedPtr<XpDir>> folders;
  {
    Guard guard(lock_);
    folders = salvageFolders_;
  }
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    const XpResult removed = RemoveEmptyFolderTree((*folder)->GetPath());
    if (removed != kXpOk) {
      return removed;
    }
  }
  return kXpOk;
}

XpResult K2ImportTaskManager::RemoveEmptyFolderTree(const XpString& folder) {
  std::vector<Entry> entries;
  if (ListSorted(folder, &entries) != kXpOk) {
    return kXpErrFileNotFound;
  }
  for (const Entry& entry : entries) {
    if (entry->IsDirectory()) {
      (void)RemoveEmptyFolderTree(entry->GetPath());
    }
  }
  // A folder that still holds a file stays.
  return XpRemoveDirectory(folder);
}

XpDateTime K2ImportTaskManager::GetSalvageDate() { return XpDateTime::Now(); }
