#pragma once

#include <cstdint>

#include "platform/sync/XpComboSyncObject.h"

// The reader-writer lock both XpRwLock and XpRwLockEx are made of: one
// writer, which may take the exclusive lock again, and waiting writers that
// hold back new readers. A subclass keeps the readers, counted or by thread,
// and says whether the writer may also read.
class XpRwLockBase : public XpComboSyncObject {
 public:
  // The exclusive lock.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;
  [[nodiscard]] XpResult LockExclusiveTimeout(uint32_t seconds) { return LockTimeout(seconds); }
  [[nodiscard]] XpResult LockSharedTimeout(uint32_t seconds);
  [[nodiscard]] XpResult LockSharedUntil(const XpDeadline& deadline);
  [[nodiscard]] XpResult TryLockShared() { return LockSharedTimeout(kXpTryOnce); }
  // Releases the writer level when the caller is the writer, else one
  // shared level as the subclass keeps them.
  [[nodiscard]] XpResult Unlock() override;

  // Whether a request of that kind from the caller would have to wait.
  bool IsBusy(bool exclusive);

 protected:
  XpRwLockBase() = default;

  // The reader hooks are called with guard_ held.
  virtual bool HasReaders() const = 0;
  virtual bool HasReadersBesides(uint32_t caller) const = 0;
  [[nodiscard]] virtual XpResult AddReader(uint32_t caller) = 0;
  virtual void RemoveReader(uint32_t caller) = 0;
  // Whether the writer's shared request takes another writer level instead
  // of waiting for itself.
  virtual bool WriterMayRead() const = 0;

 private:
  [[nodiscard]] XpResult LockLocked(bool exclusive, const XpDeadline& deadline);
  bool IsBusyLocked(bool exclusive, uint32_t caller, bool* asWriter) const;

  int32_t waitingWriters_ = 0;
  uint32_t writer_ = 0;
  int32_t writerCount_ = 0;
};
