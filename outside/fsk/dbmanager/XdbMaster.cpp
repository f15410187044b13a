#include "outside/fsk/dbmanager/XdbMaster.h"

std::string XdbMaster::Normalized(const std::string& folder) {
  std::string normalized = folder;
  while (!normalized.empty() && normalized.back() == '/') {
    normalized.pop_back();
  }
  return normalized + "/";
}

XpResult XdbMaster::Open(const std::string& folder, int* status) {
  cache_.clear();
  guidIndex_ = false;
  folder_.clear();
  XpResult result = store_->Open(folder, status);
  if (XpSucceeded(result) && *status == XdbStore::kOpened) {
    folder_ = Normalized(folder);
  }
  return result;
}

XpResult XdbMaster::Close() {
  if (!store_->IsOpen()) {
    cache_.clear();
    folder_.clear();
    return kXpErrNotOpen;
  }
  XpResult result = store_->Close();
  cache_.clear();
  guidIndex_ = false;
  folder_.clear();
  return result;
}

void XdbMaster::Abandon() {
  store_ = std::make_unique<XdbStore>(the_);
  cache_.clear();
  guidIndex_ = false;
  folder_.clear();
}

fsk::Value XdbMaster::Get(const Words& words) const {
  auto found = cache_.find(words);
  return found == cache_.end() ? fsk::Value() : found->second;
}
