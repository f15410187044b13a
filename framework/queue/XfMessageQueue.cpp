#include "framework/queue/XfMessageQueue.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

// Keeps a thread's queue and closes it when the thread ends.
struct XfMessageQueueHolder {
  XfMessageQueueHolder() = default;
  XfMessageQueueHolder(const XfMessageQueueHolder&) = delete;
  XfMessageQueueHolder& operator=(const XfMessageQueueHolder&) = delete;
  ~XfMessageQueueHolder() {
    if (queue) {
      queue->Close();
    }
  }

  XpSharedPtr<XfMessageQueue> queue;
};

namespace {

thread_local XfMessageQueueHolder tQueueHolder;

}  // namespace

XpSharedPtr<XfMessageQueue> XfMessageQueue::ForCurrentThread() {
  if (!tQueueHolder.queue) {
    tQueueHolder.queue = XpSharedPtr<XfMessageQueue>(new (std::nothrow) XfMessageQueue());
  }
  return tQueueHolder.queue;
}

XpSharedPtr<XfMessageQueue> XfMessageQueue::ExistingForCurrentThread() {
  return tQueueHolder.queue;
}

XfMessageQueue::XfMessageQueue() : owner_(std::this_thread::get_id()) {}

XfMessageQueue::~XfMessageQueue() = default;

bool XfMessageQueue::Post(uint32_t number, Closure closure) {
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    if (closed_) {
      return false;
    }
    items_.push_back(Item{number, std::move(closure)});
  }
  posted_.notify_all();
  return true;
}

bool XfMessageQueue::PumpOne(uint32_t low, uint32_t high) {
  if (std::this_thread::get_id() != owner_) {
    return false;
  }
  Closure closure;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    auto found = FindItem(low, high);
    if (found == items_.end()) {
      return false;
    }
    closure = std::move(found->closure);
    items_.erase(found);
  }
  if (closure) {
    closure();
  }
  return true;
}

bool XfMessageQueue::HasItem(uint32_t low, uint32_t high) const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return std::any_of(items_.begin(), items_.end(), [&](const Item& item) {
    return item.number >= low && item.number <= high;
  });
}

bool XfMessageQueue::WaitForItem(const XpDeadline& deadline) {
  std::unique_lock<XpCriticalSection> hold(lock_);
  const auto ready = [this] { return !items_.empty() || closed_; };
  if (deadline.IsInfinite()) {
    posted_.wait(hold, ready);
  } else {
    posted_.wait_until(hold, deadline.When(), ready);
  }
  return !items_.empty();
}

bool XfMessageQueue::IsClosed() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return closed_;
}

void XfMessageQueue::Close() {
  std::deque<Item> dropped;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    closed_ = true;
    dropped.swap(items_);
  }
  posted_.notify_all();
  // The closures are destroyed here, outside the lock.
}

std::deque<XfMessageQueue::Item>::iterator XfMessageQueue::FindItem(uint32_t low, uint32_t high) {
  return std::find_if(items_.begin(), items_.end(), [&](const Item& item) {
    return item.number >= low && item.number <= high;
  });
}

bool XfPumpMessage() {
  const XpSharedPtr<XfMessageQueue> queue = XfMessageQueue::ExistingForCurrentThread();
  return queue && queue->PumpOne(kXfFrameworkMessageFirst, kXfFrameworkMessageLast);
}
