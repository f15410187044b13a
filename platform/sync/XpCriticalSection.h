#pragma once

#include <mutex>

#include "platform/sync/XpSyncObject.h"

// A plain in-process lock, recursive for its owning thread.
class XpCriticalSection : public XpSyncObject {
 public:
  XpCriticalSection() = default;

  [[nodiscard]] XpResult Lock() override;
  [[nodiscard]] XpResult Unlock() override;
  // Not supported: always kXpErrNotSupported.
  [[nodiscard]] XpResult TryLock() override;

  // BasicLockable, for std::lock_guard and std::condition_variable_any.
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};
