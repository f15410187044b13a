#include "platform/sync/XpManualEvent.h"

#include <mutex>

XpManualEvent::XpManualEvent(bool initiallySignaled) : signaled_(initiallySignaled) {}

XpResult XpManualEvent::Unlock() { return SetSignaled(true); }

XpResult XpManualEvent::LockUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  while (!signaled_) {
    const XpResult waited = WaitUntil(deadline);
    if (waited != kXpOk) return waited;
  }
  return kXpOk;
}

XpResult XpManualEvent::SetSignaled(bool signaled) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  signaled_ = signaled;
  if (signaled_) Signal();
  return kXpOk;
}

bool XpManualEvent::IsSignaled() {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return signaled_;
}
