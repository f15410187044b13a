#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/notify/XfObject.h"
#include "framework/transaction/XfTransactionObject.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpWaitClock.h"

class XfTransactionManager;

// A group of work items followed as one: it polls them, tells when all have
// ended, and posts a completion notification (about the transaction's
// object) when they ended without all succeeding. Every item loop runs
// under the transaction's lock, in insertion order.
class XfTransaction : public XfObject {
 public:
  // No completion notification.
  static constexpr uint32_t kNoCompletionCode = 0xFFFFFFFF;
  // Wait's limit that waits without end.
  static constexpr uint32_t kWaitWithoutLimit = 0xFFFFFFFF;
  // Wait sleeps this long between polls.
  static constexpr uint32_t kPollMilliseconds = 100;

  XfTransaction(XfTransactionManager* manager, XpSharedPtr<XfTransactionObject> object,
                uint32_t id);
  ~XfTransaction() override;

  uint32_t GetId() const { return id_; }
  XfTransactionManager* GetManager() const { return manager_; }
  XpSharedPtr<XfTransactionObject> GetObject() const { return object_; }
  size_t GetCount() const;
  // A copy; empty when index is not below the count.
  XpSharedPtr<XfTransactionObject> GetItem(size_t index) const;
  // Appends an item; kXpErrBadArgument for an empty one.
  [[nodiscard]] XpResult AddItem(XpSharedPtr<XfTransactionObject> item);
  void SetCompletionCode(uint32_t code);

  // Executes every item; stops at the first failure and returns it.
  [[nodiscard]] XpResult ExecuteAll();
  // Aborts every item not done; stops at the first failure and returns it.
  [[nodiscard]] XpResult AbortUndone();
  // True for no items.
  bool AreAllDone() const;
  bool AreAllEnded() const;
  // The share of items done or ended, 0 to 100 in whole percent; 100 for
  // no items.
  int32_t GetPercent() const;

  // Waits in whole seconds (kWaitWithoutLimit: no limit) until every item
  // has ended, running one framework message of the calling thread before
  // each poll: kXpOk, or kXpErrTimeout once the limit has passed.
  [[nodiscard]] XpResult Wait(uint32_t seconds);

  // False while an item is still running. Once all have ended: posts the
  // completion notification when a code is set, not every item is done and
  // it was not posted before; then true.
  bool CheckCompleted();

  // For tests: the sleep of Wait.
  void SetWaitClockForTest(XpWaitClock& clock) { clock_ = &clock; }

 private:
  void PostCompletionLocked();

  mutable XpCriticalSection lock_;
  std::vector<XpSharedPtr<XfTransactionObject>> items_;
  XfTransactionManager* const manager_;
  const uint32_t id_;
  const XpSharedPtr<XfTransactionObject> object_;
  uint32_t completionCode_ = kNoCompletionCode;
  bool completionPosted_ = false;
  XpWaitClock* clock_;
};
