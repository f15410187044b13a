#pragma once

#include <cstdint>

#include "platform/sync/XpComboSyncObject.h"

// A counting semaphore. A maximum of kXpNoMaximum leaves the count
// unbounded.
class XpSemaphore : public XpComboSyncObject {
 public:
  static constexpr uint32_t kXpNoMaximum = 0xFFFFFFFF;

  XpSemaphore(int64_t initialCount, uint32_t maximum);

  // Gives one unit back. At the maximum the count stays as it is; the call
  // still succeeds.
  [[nodiscard]] XpResult Unlock() override;
  // Takes one unit.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;

  int64_t GetCount();

 private:
  int64_t count_;
  uint32_t maximum_;
};
