#include "framework/threadgroup/XfPriorityThreadGroup.h"

#include <algorithm>
#include <mutex>

XfPriorityThreadGroup::XfPriorityThreadGroup(int32_t priority) : priority_(priority) {}

XfPriorityThreadGroup::~XfPriorityThreadGroup() = default;

int32_t XfPriorityThreadGroup::GetPriority() const { return priority_; }

void XfPriorityThreadGroup::AddThread(XpThread* thread) {
  if (thread == nullptr) {
    return;
  }
  std::lock_guard<XpCriticalSection> hold(lock_);
  threads_.push_back(thread);
}

void XfPriorityThreadGroup::RemoveThread(XpThread* thread) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  const auto found = std::find(threads_.begin(), threads_.end(), thread);
  if (found != threads_.end()) {
    threads_.erase(found);
  }
}

size_t XfPriorityThreadGroup::GetThreadCount() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return threads_.size();
}

bool XfPriorityThreadGroup::IsActive() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return active_;
}

XpResult XfPriorityThreadGroup::SetActive(bool active) {
  const int32_t priority = GetPriority();
  std::lock_guard<XpCriticalSection> hold(lock_);
  if (active_ == active) {
    return kXpOk;
  }
  active_ = active;
  for (XpThread* thread : threads_) {
    const XpResult result = active ? thread->SetPriority(priority) : thread->LowerPriority();
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}
