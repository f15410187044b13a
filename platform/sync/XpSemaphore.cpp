#include "platform/sync/XpSemaphore.h"

#include <mutex>

XpSemaphore::XpSemaphore(int64_t initialCount, uint32_t maximum)
    : count_(initialCount), maximum_(maximum) {}

XpResult XpSemaphore::Unlock() {
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (maximum_ == kXpNoMaximum || count_ < static_cast<int64_t>(maximum_)) ++count_;
  if (count_ != 0) Signal();
  return kXpOk;
}

XpResult XpSemaphore::LockUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  while (count_ <= 0) {
    const XpResult waited = WaitUntil(deadline);
    if (waited != kXpOk) return waited;
  }
  --count_;
  return kXpOk;
}

int64_t XpSemaphore::GetCount() {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return count_;
}
