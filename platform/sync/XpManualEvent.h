#pragma once

#include "platform/sync/XpComboSyncObject.h"

// An event that stays signalled until it is reset. Waiting for it never
// clears it.
class XpManualEvent : public XpComboSyncObject {
 public:
  explicit XpManualEvent(bool initiallySignaled);

  // Sets the event.
  [[nodiscard]] XpResult Unlock() override;
  // Waits until the event is set.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;

  // Always kXpOk.
  XpResult SetSignaled(bool signaled);
  bool IsSignaled();

 private:
  bool signaled_;
};
