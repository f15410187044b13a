#include "platform/sync/XpCriticalSection.h"

XpResult XpCriticalSection::Lock() {
  mutex_.lock();
  return kXpOk;
}

XpResult XpCriticalSection::Unlock() {
  mutex_.unlock();
  return kXpOk;
}

XpResult XpCriticalSection::TryLock() { return kXpErrNotSupported; }
