#pragma once

#include <condition_variable>
#include <cstdint>
#include <vector>

#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpDeadline.h"
#include "platform/sync/XpSyncObject.h"

class XpMultiWaiterBase;

// The base of every waitable object: a monitor made of a guard, a condition
// variable and a generation counter, on which a subclass keeps its own state
// and waits for it to change. Multi-locks register with it to be woken when
// its state changes.
class XpComboSyncObject : public XpSyncObject {
 public:
  [[nodiscard]] XpResult Lock() override;
  [[nodiscard]] XpResult TryLock() override;
  // kXpTryOnce tries once (kXpErrTimeout when that fails); kXpWaitForever
  // waits without limit.
  [[nodiscard]] virtual XpResult LockTimeout(uint32_t seconds);
  // The same wait, ending at a deadline the caller fixed.
  [[nodiscard]] virtual XpResult LockUntil(const XpDeadline& deadline) = 0;

 protected:
  XpComboSyncObject() = default;

  // Called with guard_ held once (not recursively): sleeps until the next
  // Signal() or the deadline; kXpOk or kXpErrTimeout. The caller re-tests
  // its condition either way.
  [[nodiscard]] XpResult WaitUntil(const XpDeadline& deadline);
  // Called with guard_ held: wakes every waiter and every registered
  // multi-lock. Always kXpOk.
  XpResult Signal();

  // Guards every field of this object and of its subclasses.
  XpCriticalSection guard_;

 private:
  friend class XpMultiWaiterBase;

  [[nodiscard]] XpResult AddWaiter(XpMultiWaiterBase* waiter);
  void RemoveWaiter(XpMultiWaiterBase* waiter);
  void NotifyWaiters();

  std::condition_variable_any changed_;
  uint64_t generation_ = 0;
  std::vector<XpMultiWaiterBase*> waiters_;
};
