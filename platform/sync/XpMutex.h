#pragma once

#include <cstdint>

#include "platform/sync/XpComboSyncObject.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpString.h"

// A recursive mutex. With a name it also holds the named mutex of that name,
// which it takes on the first lock and releases on the last unlock, so that
// it excludes other processes as well; an empty name makes no named object.
class XpMutex : public XpComboSyncObject {
 public:
  explicit XpMutex(const XpString& name = XpString());

  // Only kXpTryOnce and kXpWaitForever; kXpErrInvalidHandle otherwise.
  [[nodiscard]] XpResult LockTimeout(uint32_t seconds) override;
  // When the named mutex cannot be taken, the lock is not held and the
  // result of that wait is returned.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;
  // Only the owning thread unlocks; for others nothing changes. Always kXpOk.
  [[nodiscard]] XpResult Unlock() override;

  bool IsLockedByOtherThread();
  // kXpOk, or why the named mutex could not be created; locking then fails
  // with this result.
  [[nodiscard]] XpResult GetCreateResult() const { return createResult_; }

 private:
  [[nodiscard]] XpResult LockNamed(const XpDeadline& deadline);
  void UndoFirstLock();

  uint32_t owner_ = 0;
  int32_t recursion_ = 0;
  const bool named_;
  XpNamedObject system_;
  XpResult createResult_ = kXpOk;
};
