#include "framework/notify/XfNotificationManager.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/sync/XpMultiLock.h"
#include "platform/sync/XpSyncObject.h"

namespace {

constexpr int32_t kReadyIndex = 1;

// The observer whose OnNotification the calling dispatch thread is in.
thread_local IXfNotificationObserver* tCallingObserver = nullptr;

void EraseFirst(std::vector<IXfNotificationObserver*>& list, IXfNotificationObserver* observer) {
  const auto found = std::find(list.begin(), list.end(), observer);
  if (found != list.end()) {
    list.erase(found);
  }
}

bool Contains(const std::vector<IXfNotificationObserver*>& list,
              IXfNotificationObserver* observer) {
  return std::find(list.begin(), list.end(), observer) != list.end();
}

}  // namespace

XfNotificationManager::DispatchQueue::DispatchQueue(XfNotificationManager* owner,
                                                    bool deliversToAll)
    : owner(owner), deliversToAll(deliversToAll) {}

XfNotificationManager::XfNotificationManager() {
  plain_.thread = XpThread::Create(&RunDispatcher, &plain_);
  reply_.thread = XpThread::Create(&RunDispatcher, &reply_);
}

XfNotificationManager::~XfNotificationManager() {
  plain_.stop.SetSignaled(true);
  reply_.stop.SetSignaled(true);
  if (stopHook_) {
    stopHook_();
  }
  if (reply_.thread != nullptr) {
    XpThread::Join(reply_.thread);
  }
  if (plain_.thread != nullptr) {
    XpThread::Join(plain_.thread);
  }
  FlushDeferred();
}

void XfNotificationManager::AddObserver(IXfNotificationObserver* observer) {
  if (observer == nullptr) {
    return;
  }
  {
    std::lock_guard<XpCriticalSection> hold(membersLock_);
    members_.push_back(observer);
  }
  std::lock_guard<XpCriticalSection> hold(deliveryLock_);
  delivery_.insert(delivery_.begin(), observer);
}

void XfNotificationManager::RemoveObserver(IXfNotificationObserver* observer) {
  Unlist(observer);
  WaitUntilOutside(observer);
}

void XfNotificationManager::RemoveAndDeleteObserver(IXfNotificationObserver* observer) {
  if (observer == nullptr) {
    return;
  }
  {
    std::lock_guard<XpCriticalSection> hold(deferredLock_);
    if (depth_.load(std::memory_order_acquire) != 0) {
      Unlist(observer);
      if (!Contains(deferred_, observer)) {
        deferred_.push_back(observer);
      }
      return;
    }
  }
  RemoveObserver(observer);
  delete observer;
}

bool XfNotificationManager::IsObserverAbsent(IXfNotificationObserver* observer) const {
  std::lock_guard<XpCriticalSection> hold(membersLock_);
  return !Contains(members_, observer);
}

void XfNotificationManager::Post(XpSharedPtr<XfNotification> notification) {
  DispatchQueue& queue = notification && notification->WaitsForReply() ? reply_ : plain_;
  {
    std::lock_guard<XpCriticalSection> hold(queue.lock);
    queue.items.push_back(std::move(notification));
  }
  // The semaphore has no maximum, so its release cannot fail.
  (void)queue.ready.Unlock();
}

uint32_t XfNotificationManager::RunDispatcher(void* queue) {
  DispatchQueue& own = *static_cast<DispatchQueue*>(queue);
  own.owner->Dispatch(own);
  return 0;
}

void XfNotificationManager::Dispatch(DispatchQueue& queue) {
  while (WaitForWork(queue)) {
    {
      const XpSharedPtr<XfNotification> notification = TakeHead(queue);
      if (notification) {
        Deliver(queue, notification);
      }
    }
    FlushDeferred();
    XpThread::Yield();
  }
  FlushDeferred();
}

bool XfNotificationManager::WaitForWork(DispatchQueue& queue) {
  // The stop event comes first, so a stop wins over queued notifications.
  const XpMultiLockOne wait(false, &queue.stop, &queue.ready, &queue.wakeUp, kXpWaitForever);
  return wait.GetLockedIndex() == kReadyIndex;
}

XpSharedPtr<XfNotification> XfNotificationManager::TakeHead(DispatchQueue& queue) {
  std::lock_guard<XpCriticalSection> hold(queue.lock);
  if (queue.items.empty()) {
    return XpSharedPtr<XfNotification>();
  }
  XpSharedPtr<XfNotification> head = std::move(queue.items.front());
  queue.items.pop_front();
  return head;
}

void XfNotificationManager::Deliver(DispatchQueue& queue,
                                    const XpSharedPtr<XfNotification>& notification) {
  ObserverList observers;
  {
    std::lock_guard<XpCriticalSection> hold(deliveryLock_);
    observers = delivery_;
  }
  depth_.fetch_add(1, std::memory_order_acq_rel);
  for (IXfNotificationObserver* observer : observers) {
    if (!BeginCall(queue, observer)) {
      continue;
    }
    observer->OnNotification(notification);
    EndCall(queue);
    if (!queue.deliversToAll && notification->IsHandled() && !notification->DeliverToAll()) {
      break;
    }
  }
  depth_.fetch_sub(1, std::memory_order_acq_rel);
}

bool XfNotificationManager::BeginCall(DispatchQueue& queue, IXfNotificationObserver* observer) {
  std::lock_guard<XpCriticalSection> hold(membersLock_);
  if (!Contains(members_, observer)) {
    return false;
  }
  queue.calling = observer;
  tCallingObserver = observer;
  return true;
}

void XfNotificationManager::EndCall(DispatchQueue& queue) {
  {
    std::lock_guard<XpCriticalSection> hold(membersLock_);
    queue.calling = nullptr;
    tCallingObserver = nullptr;
  }
  callEnded_.notify_all();
}

void XfNotificationManager::Unlist(IXfNotificationObserver* observer) {
  {
    std::lock_guard<XpCriticalSection> hold(membersLock_);
    EraseFirst(members_, observer);
  }
  std::lock_guard<XpCriticalSection> hold(deliveryLock_);
  EraseFirst(delivery_, observer);
}

void XfNotificationManager::WaitUntilOutside(IXfNotificationObserver* observer) {
  if (observer == nullptr || observer == tCallingObserver) {
    // From the observer's own callback: the delivery that holds it ends only
    // after this call returns.
    return;
  }
  std::unique_lock<XpCriticalSection> hold(membersLock_);
  callEnded_.wait(hold, [&] { return plain_.calling != observer && reply_.calling != observer; });
}

void XfNotificationManager::FlushDeferred() {
  ObserverList doomed;
  {
    std::lock_guard<XpCriticalSection> hold(deferredLock_);
    if (depth_.load(std::memory_order_acquire) != 0) {
      return;
    }
    doomed.swap(deferred_);
  }
  for (IXfNotificationObserver* observer : doomed) {
    WaitUntilOutside(observer);
    delete observer;
  }
}
