#include "framework/threadgroup/XfPriorityThreadGroupManager.h"

#include <algorithm>
#include <mutex>

XfPriorityThreadGroupManager::XfPriorityThreadGroupManager() = default;

XfPriorityThreadGroupManager::~XfPriorityThreadGroupManager() = default;

void XfPriorityThreadGroupManager::AddGroup(XfPriorityThreadGroup* group) {
  if (group == nullptr) {
    return;
  }
  std::lock_guard<XpCriticalSection> hold(lock_);
  groups_.push_back(group);
}

void XfPriorityThreadGroupManager::RemoveGroup(XfPriorityThreadGroup* group) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  const auto found = std::find(groups_.begin(), groups_.end(), group);
  if (found != groups_.end()) {
    groups_.erase(found);
  }
}

void XfPriorityThreadGroupManager::Clear() {
  std::lock_guard<XpCriticalSection> hold(lock_);
  groups_.clear();
}

size_t XfPriorityThreadGroupManager::GetGroupCount() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return groups_.size();
}

XpResult XfPriorityThreadGroupManager::ActivateGroup(const XfPriorityThreadGroup* group) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  XpResult first = kXpOk;
  for (XfPriorityThreadGroup* each : groups_) {
    const XpResult result = each->SetActive(each == group);
    if (first == kXpOk) {
      first = result;
    }
  }
  return first;
}

XpResult XfPriorityThreadGroupManager::ActivatePriority(int32_t priority) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  XpResult first = kXpOk;
  for (XfPriorityThreadGroup* each : groups_) {
    const XpResult result = each->SetActive(each->GetPriority() == priority);
    if (first == kXpOk) {
      first = result;
    }
  }
  return first;
}
