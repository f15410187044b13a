#include "platform/sync/XpRwLockBase.h"

#include <mutex>

#include "platform/thread/XpThread.h"

XpResult XpRwLockBase::LockUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return LockLocked(true, deadline);
}

XpResult XpRwLockBase::LockSharedTimeout(uint32_t seconds) {
  return LockSharedUntil(XpDeadline::AfterSeconds(seconds));
}

XpResult XpRwLockBase::LockSharedUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return LockLocked(false, deadline);
}

XpResult XpRwLockBase::LockLocked(bool exclusive, const XpDeadline& deadline) {
  const uint32_t caller = XpThread::CurrentThreadId();
  if (exclusive) ++waitingWriters_;
  bool asWriter = false;
  XpResult result = kXpOk;
  while (IsBusyLocked(exclusive, caller, &asWriter)) {
    result = WaitUntil(deadline);
    if (result != kXpOk) break;
  }
  if (exclusive) --waitingWriters_;
  if (result != kXpOk) {
    // Readers held back by this writer may go on now.
    if (exclusive) Signal();
    return result;
  }
  if (!exclusive && !asWriter) return AddReader(caller);
  ++writerCount_;
  writer_ = caller;
  return kXpOk;
}

XpResult XpRwLockBase::Unlock() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (writerCount_ > 0 && writer_ == caller) {
    if (--writerCount_ == 0) writer_ = 0;
  } else {
    RemoveReader(caller);
  }
  if (!(HasReaders() && writerCount_ != 0)) Signal();
  return kXpOk;
}

bool XpRwLockBase::IsBusy(bool exclusive) {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  bool asWriter = false;
  return IsBusyLocked(exclusive, caller, &asWriter);
}

bool XpRwLockBase::IsBusyLocked(bool exclusive, uint32_t caller, bool* asWriter) const {
  *asWriter = false;
  if (writerCount_ > 0 && writer_ != caller) return true;
  if (exclusive) return HasReadersBesides(caller);
  if (writerCount_ > 0) {
    // The caller is the writer.
    *asWriter = WriterMayRead();
    return !*asWriter;
  }
  return waitingWriters_ > 0;
}
