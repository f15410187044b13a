#include "platform/sync/XpRwLockEx.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "platform/thread/XpThread.h"

XpResult XpRwLockEx::LockUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return LockLocked(true, deadline);
}

XpResult XpRwLockEx::LockSharedTimeout(uint32_t seconds) {
  return LockSharedUntil(XpDeadline::AfterSeconds(seconds));
}

XpResult XpRwLockEx::LockSharedUntil(const XpDeadline& deadline) {
  std::lock_guard<XpCriticalSection> hold(guard_);
  return LockLocked(false, deadline);
}

XpResult XpRwLockEx::LockLocked(bool exclusive, const XpDeadline& deadline) {
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
  if (exclusive || asWriter) {
    ++writerCount_;
    writer_ = caller;
    return kXpOk;
  }
  auto reader = FindReader(caller);
  if (reader != readers_.end()) {
    ++reader->count;
    return kXpOk;
  }
  try {
    readers_.push_back(Reader{caller, 1});
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

XpResult XpRwLockEx::Unlock() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  if (writerCount_ > 0 && writer_ == caller) {
    if (--writerCount_ == 0) writer_ = 0;
  } else {
    auto reader = FindReader(caller);
    if (reader != readers_.end() && --reader->count == 0) readers_.erase(reader);
  }
  if (!(!readers_.empty() && writerCount_ != 0)) Signal();
  return kXpOk;
}

bool XpRwLockEx::IsBusy(bool exclusive) {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<XpCriticalSection> hold(guard_);
  bool asWriter = false;
  return IsBusyLocked(exclusive, caller, &asWriter);
}

bool XpRwLockEx::IsBusyLocked(bool exclusive, uint32_t caller, bool* asWriter) const {
  *asWriter = false;
  if (writerCount_ > 0 && writer_ != caller) return true;
  if (exclusive) {
    if (readers_.size() > 1) return true;
    return readers_.size() == 1 && readers_.front().thread != caller;
  }
  if (writerCount_ > 0) {
    *asWriter = true;
    return false;
  }
  return waitingWriters_ > 0;
}

std::vector<XpRwLockEx::Reader>::iterator XpRwLockEx::FindReader(uint32_t thread) {
  return std::find_if(readers_.begin(), readers_.end(),
                      [thread](const Reader& reader) { return reader.thread == thread; });
}
