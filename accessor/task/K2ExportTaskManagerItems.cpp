// The item side of the export task manager: building, filtering, totals and
// counts.
#include <mutex>

#include "accessor/task/K2ExportItemBuilder.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

}  // namespace

XpResult K2ExportTaskManager::Prepare(const SfContentInfoXML& content) {
  K2ExportItemVector items;
  const XpResult result = K2BuildExportItems(content, &items);
  if (result == kXpOk) {
    SetItems(items);
  }
  return result;
}

void K2ExportTaskManager::SetItems(const K2ExportItemVector& items) {
  {
    Guard guard(lock_);
    items_ = items;
  }
  UpdateTotals();
}

void K2ExportTaskManager::SetDestination(const XpString& root) {
  {
    Guard guard(lock_);
    destinationRoot_ = root;
  }
  UpdateTotals();
}

bool K2ExportTaskManager::IsNothingDone() const { return GetProcessedCount() == 0; }

bool K2ExportTaskManager::HasPending() const {
  Guard guard(lock_);
  return items_.size() != exportableCount_;
}

uint64_t K2ExportTaskManager::GetRequiredBytes() const {
  Guard guard(lock_);
  return byteTotal_;
}

uint32_t K2ExportTaskManager::GetProcessedCount() const {
  Guard guard(lock_);
  return exportableCount_;
}

void K2ExportTaskManager::UpdateTotals() {
  Guard guard(lock_);
  const uint32_t unit = K2GetVolumeClusterSize(destinationRoot_);
  uint32_t count = 0;
  uint64_t total = 0;
  for (const K2ExportItem& item : items_) {
    if (!IsExportableSize(item)) {
      continue;
    }
    ++count;
    for (const XpString& name : item.fileNames) {
      total += K2RoundUpToClusters(XpGetFileSize(XpPathJoin(item.sourceFolder, name).CStr()), unit);
    }
  }
  exportableCount_ = count;
  byteTotal_ = total;
}

bool K2ExportTaskManager::IsExportableSize(const K2ExportItem& item) const {
  if (!item.HasFiles()) {
    return false;
  }
  switch (item.contentType) {
    case kK2ContentTypeJpeg:
      return true;
    case kK2ContentTypeMovie:
      return XpGetFileSize(item.FirstSourcePath().CStr()) < kMaxMovieBytes;
    default:
      return false;
  }
}

void K2ExportTaskManager::GetCounts(uint32_t* groupCount, uint32_t* itemCount) const {
  Guard guard(lock_);
  uint32_t groups = 0;
  const XpString* previous = nullptr;
  for (const K2ExportItem& item : exportable_) {
    if (previous == nullptr || item.sourceFolder != *previous) {
      ++groups;
    }
    previous = &item.sourceFolder;
  }
  const bool none = exportable_.empty() || exportableCount_ == 0;
  if (groupCount != nullptr) {
    *groupCount = none ? 0 : groups;
  }
  if (itemCount != nullptr) {
    *itemCount = none ? 0 : exportableCount_;
  }
}
