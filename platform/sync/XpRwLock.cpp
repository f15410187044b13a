#include "platform/sync/XpRwLock.h"

#include <mutex>

#include "platform/thread/XpThread.h"

XpResult XpRwLock::LockUntil(const XpDeadline& deadline) {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  ++waitingWriters_;
  XpResult result = kXpOk;
  while (IsBusyLocked(true, caller)) {
    result = WaitUntil(deadline);
    if (result != kXpOk) break;
  }
  --waitingWriters_;
  if (result != kXpOk) {
    // Readers held back by this writer may go on now.
    Signal();
    return result;
  }
  ++writerCount_;
  writer_ = caller;
  return kXpOk;
}

XpResult XpRwLock::LockSharedTimeout(uint32_t seconds) {
  return LockSharedUntil(XpDeadline::AfterSeconds(seconds));
}

XpResult XpRwLock::LockSharedUntil(const XpDeadline& deadline) {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  while (IsBusyLocked(false, caller)) {
    const XpResult waited = WaitUntil(deadline);
    if (waited != kXpOk) return waited;
  }
  ++readers_;
  return kXpOk;
}

XpResult XpRwLock::Unlock() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (writerCount_ > 0 && writer_ == caller) {
    if (--writerCount_ == 0) writer_ = 0;
  } else if (readers_ >= 1) {
    --readers_;
  }
  if (!(readers_ > 0 && writerCount_ != 0)) Signal();
  return kXpOk;
}

bool XpRwLock::IsBusy(bool exclusive) {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  return IsBusyLocked(exclusive, caller);
}

bool XpRwLock::IsBusyLocked(bool exclusive, uint32_t caller) const {
  if (exclusive) return readers_ > 0 || (writerCount_ > 0 && writer_ != caller);
  return writerCount_ > 0 || waitingWriters_ > 0;
}
