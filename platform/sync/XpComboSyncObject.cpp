#include "platform/sync/XpComboSyncObject.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "platform/sync/XpMultiLock.h"

XpResult XpComboSyncObject::Lock() { return LockTimeout(kXpWaitForever); }

XpResult XpComboSyncObject::TryLock() { return LockTimeout(kXpTryOnce); }

XpResult XpComboSyncObject::LockTimeout(uint32_t seconds) {
  return LockUntil(XpDeadline::AfterSeconds(seconds));
}

XpResult XpComboSyncObject::WaitUntil(const XpDeadline& deadline) {
  const uint64_t seen = generation_;
  while (generation_ == seen) {
    if (deadline.IsInfinite()) {
      changed_.wait(guard_);
      continue;
    }
    if (changed_.wait_until(guard_, deadline.When()) == std::cv_status::timeout) {
      return generation_ == seen ? kXpErrTimeout : kXpOk;
    }
  }
  return kXpOk;
}

XpResult XpComboSyncObject::Signal() {
  ++generation_;
  changed_.notify_all();
  NotifyWaiters();
  return kXpOk;
}

XpResult XpComboSyncObject::AddWaiter(XpMultiWaiterBase* waiter) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (std::find(waiters_.begin(), waiters_.end(), waiter) != waiters_.end()) return kXpOk;
  try {
    waiters_.push_back(waiter);
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

void XpComboSyncObject::RemoveWaiter(XpMultiWaiterBase* waiter) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  auto found = std::find(waiters_.begin(), waiters_.end(), waiter);
  if (found != waiters_.end()) waiters_.erase(found);
}

void XpComboSyncObject::NotifyWaiters() {
  for (XpMultiWaiterBase* waiter : waiters_) waiter->WakeUp();
}
