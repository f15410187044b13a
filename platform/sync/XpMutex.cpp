#include "platform/sync/XpMutex.h"

#include <mutex>

#include "platform/thread/XpThread.h"

XpMutex::XpMutex(const XpString& name) : named_(!name.IsEmpty()) {
  if (named_) createResult_ = system_.CreateMutex(name, false);
}

XpResult XpMutex::LockTimeout(uint32_t seconds) {
  if (seconds != kXpTryOnce && seconds != kXpWaitForever) return kXpErrInvalidHandle;
  return XpComboSyncObject::LockTimeout(seconds);
}

XpResult XpMutex::LockUntil(const XpDeadline& deadline) {
  const uint32_t caller = XpThread::CurrentThreadId();
  bool first = false;
  {
    std::lock_guard<XpCriticalSection> hold(guard_);
    while (recursion_ >= 1 && owner_ != caller) {
      const XpResult waited = WaitUntil(deadline);
      if (waited != kXpOk) return waited;
    }
    ++recursion_;
    owner_ = caller;
    first = recursion_ == 1;
  }
  if (!first || !named_) return kXpOk;
  const XpResult named = LockNamed(deadline);
  if (named != kXpOk) UndoFirstLock();
  return named;
}

XpResult XpMutex::LockNamed(const XpDeadline& deadline) {
  if (createResult_ != kXpOk) return createResult_;
  return system_.WaitUntil(deadline);
}

// The in-process lock was counted before the wait on the named mutex; a
// failed wait must not leave it held.
void XpMutex::UndoFirstLock() {
  std::lock_guard<XpCriticalSection> hold(guard_);
  --recursion_;
  owner_ = 0;
  Signal();
}

XpResult XpMutex::Unlock() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (owner_ != caller || recursion_ <= 0) return kXpOk;
  if (--recursion_ > 0) return kXpOk;
  // This thread owns the system mutex here, so its release cannot fail.
  if (named_ && createResult_ == kXpOk) (void)system_.ReleaseMutex();
  owner_ = 0;
  Signal();
  return kXpOk;
}

bool XpMutex::IsLockedByOtherThread() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  return recursion_ >= 1 && owner_ != caller;
}
