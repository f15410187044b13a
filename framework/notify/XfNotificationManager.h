#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "framework/notify/IXfNotificationObserver.h"
#include "framework/notify/XfNotification.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpManualEvent.h"
#include "platform/sync/XpSemaphore.h"
#include "platform/thread/XpThread.h"

// Delivers posted notifications to the registered observers on two dispatch
// threads that live as long as the manager: one for notifications that wait
// for a reply, one for the others. Within a queue notifications are
// delivered in posting order; the two queues run in parallel.
//
// Each notification goes to the observers from the most recently added to
// the oldest. On the plain queue delivery stops once an observer has marked
// the notification handled, unless it is to be delivered to all; the reply
// queue always delivers to every observer. No lock is held while an
// observer runs.
//
// Observers are not owned. RemoveObserver returns only once no dispatch
// thread is inside the observer's OnNotification, so the caller may delete
// it right after; called from within that observer's own callback it does
// not wait. An observer's callback must not wait for a thread that is
// removing it.
class XfNotificationManager {
 public:
  // Starts both dispatch threads.
  XfNotificationManager();
  XfNotificationManager(const XfNotificationManager&) = delete;
  XfNotificationManager& operator=(const XfNotificationManager&) = delete;
  // Stops and joins the dispatchers; notifications still queued are dropped
  // unread.
  virtual ~XfNotificationManager();

  void AddObserver(IXfNotificationObserver* observer);
  // An absent observer is ignored. A delivery in progress skips the observer
  // from its next observer on.
  void RemoveObserver(IXfNotificationObserver* observer);
  // Removes the observer and deletes it: at once when no delivery runs,
  // otherwise once the deliveries have ended. Callable from the observer's
  // own callback; null is allowed.
  void RemoveAndDeleteObserver(IXfNotificationObserver* observer);
  bool IsObserverAbsent(IXfNotificationObserver* observer) const;

  // Queues the notification; never fails.
  void Post(XpSharedPtr<XfNotification> notification);

  // For tests: runs in the destructor once both dispatchers have been told
  // to stop, before they are joined.
  void SetStopHookForTest(std::function<void()> hook) { stopHook_ = std::move(hook); }

 private:
  using ObserverList = std::vector<IXfNotificationObserver*>;

  struct DispatchQueue {
    explicit DispatchQueue(XfNotificationManager* owner, bool deliversToAll);

    XfNotificationManager* const owner;
    // The reply queue reaches every observer whatever the handled flag.
    const bool deliversToAll;
    XpCriticalSection lock;
    std::deque<XpSharedPtr<XfNotification>> items;
    XpSemaphore ready{0, XpSemaphore::kXpNoMaximum};
    XpManualEvent stop{false};
    // Wakes the dispatcher's wait on stop and ready.
    XpSemaphore wakeUp{0, XpSemaphore::kXpNoMaximum};
    XpThread* thread = nullptr;
    // Guarded by the manager's membersLock_: the observer being called.
    IXfNotificationObserver* calling = nullptr;
  };

  static uint32_t RunDispatcher(void* queue);
  void Dispatch(DispatchQueue& queue);
  static bool WaitForWork(DispatchQueue& queue);
  static XpSharedPtr<XfNotification> TakeHead(DispatchQueue& queue);
  void Deliver(DispatchQueue& queue, const XpSharedPtr<XfNotification>& notification);
  // Marks the call when the observer is still a member.
  bool BeginCall(DispatchQueue& queue, IXfNotificationObserver* observer);
  void EndCall(DispatchQueue& queue);
  // Takes the observer off both lists.
  void Unlist(IXfNotificationObserver* observer);
  // Returns once no dispatcher, other than the calling thread, is inside
  // the observer.
  void WaitUntilOutside(IXfNotificationObserver* observer);
  // Deletes the observers whose deletion was put off, when no delivery runs.
  void FlushDeferred();

  mutable XpCriticalSection deliveryLock_;
  ObserverList delivery_;
  mutable XpCriticalSection membersLock_;
  std::condition_variable_any callEnded_;
  ObserverList members_;
  XpCriticalSection deferredLock_;
  ObserverList deferred_;
  std::atomic<int32_t> depth_{0};
  DispatchQueue plain_{this, false};
  DispatchQueue reply_{this, true};
  std::function<void()> stopHook_;
};
