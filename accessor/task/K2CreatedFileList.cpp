#include "accessor/task/K2CreatedFileList.h"

#include <algorithm>

#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"

void K2CreatedFileList::Add(const XpString& path) {
  if (path.IsEmpty()) {
    return;
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) {
    paths_.push_back(path);
  }
}

void K2CreatedFileList::Remove(const XpString& path) {
  std::lock_guard<std::mutex> guard(lock_);
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
}

bool K2CreatedFileList::Contains(const XpString& path) const {
  std::lock_guard<std::mutex> guard(lock_);
  return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

XpStringVector K2CreatedFileList::Snapshot() const {
  std::lock_guard<std::mutex> guard(lock_);
  return paths_;
}

XpResult K2CreatedFileList::DeleteAll() {
  XpStringVector taken;
  {
    std::lock_guard<std::mutex> guard(lock_);
    taken.swap(paths_);
  }
  XpResult result = kXpOk;
  for (const XpString& path : taken) {
    if (!XpPathExists(path)) {
      continue;
    }
    const XpResult deleted = XpDeleteFile(path);
    if (deleted != kXpOk) {
      result = deleted;
    }
  }
  return result;
}
