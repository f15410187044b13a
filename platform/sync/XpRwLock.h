#pragma once

#include <cstdint>

#include "platform/sync/XpComboSyncObject.h"

// A reader-writer lock that prefers writers: a waiting writer holds back new
// readers. The writing thread may take the exclusive lock again.
//
// Readers are not tracked by thread: Unlock() from a thread that is not the
// writer gives back one shared lock, whether that thread took one or not.
// A writer that asks for a shared lock waits for itself until its time-out;
// XpRwLockEx lets the writer read.
class XpRwLock : public XpComboSyncObject {
 public:
  XpRwLock() = default;

  // The exclusive lock.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;
  [[nodiscard]] XpResult LockExclusiveTimeout(uint32_t seconds) { return LockTimeout(seconds); }
  [[nodiscard]] XpResult LockSharedTimeout(uint32_t seconds);
  [[nodiscard]] XpResult LockSharedUntil(const XpDeadline& deadline);
  [[nodiscard]] XpResult TryLockShared() { return LockSharedTimeout(kXpTryOnce); }
  // Releases whichever kind the caller holds.
  [[nodiscard]] XpResult Unlock() override;

  // Whether a request of that kind from the caller would have to wait.
  bool IsBusy(bool exclusive);

 private:
  bool IsBusyLocked(bool exclusive, uint32_t caller) const;

  int32_t readers_ = 0;
  int32_t writerCount_ = 0;
  int32_t waitingWriters_ = 0;
  uint32_t writer_ = 0;
};
