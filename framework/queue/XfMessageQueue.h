#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <thread>

#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpDeadline.h"

// The message numbers of the framework's own work items: XfPumpMessage runs
// only these.
inline constexpr uint32_t kXfFrameworkMessageFirst = 0x9388;
inline constexpr uint32_t kXfFrameworkMessageLast = 0x9392;

// A thread's queue of posted work items, each a message number and a
// closure. A thread gets its queue on its first request; any thread may hold
// a handle and post to it, but only the owning thread runs items. When the
// owning thread ends, the queue is closed: the items still queued are
// dropped unrun and later posts are refused.
class XfMessageQueue {
 public:
  using Closure = std::function<void()>;

  // The calling thread's queue, made on first request; empty only when
  // memory ran out.
  static XpSharedPtr<XfMessageQueue> ForCurrentThread();
  // The calling thread's queue, or an empty pointer when it has none yet.
  static XpSharedPtr<XfMessageQueue> ExistingForCurrentThread();

  XfMessageQueue(const XfMessageQueue&) = delete;
  XfMessageQueue& operator=(const XfMessageQueue&) = delete;
  ~XfMessageQueue();

  // Appends an item; false (the item dropped) once the queue is closed.
  // Callable from any thread.
  bool Post(uint32_t number, Closure closure);
  // Runs the oldest item whose number lies in [low, high] and returns true.
  // False when there is none, or when called off the owning thread.
  bool PumpOne(uint32_t low, uint32_t high);
  // Whether an item with a number in [low, high] is queued.
  bool HasItem(uint32_t low, uint32_t high) const;
  // Waits until any item is queued or the deadline passes; true when one is.
  bool WaitForItem(const XpDeadline& deadline);
  bool IsClosed() const;

 private:
  struct Item {
    uint32_t number;
    Closure closure;
  };
  friend struct XfMessageQueueHolder;

  XfMessageQueue();
  // Refuses further posts and drops the queued items.
  void Close();
  // Under lock_: the oldest item in range, or items_.end().
  std::deque<Item>::iterator FindItem(uint32_t low, uint32_t high);

  const std::thread::id owner_;
  mutable XpCriticalSection lock_;
  std::condition_variable_any posted_;
  std::deque<Item> items_;
  bool closed_ = false;
};

// Runs one framework work item (a number from kXfFrameworkMessageFirst to
// kXfFrameworkMessageLast) of the calling thread's queue. False when the
// thread has no queue or no such item; items of other numbers stay queued.
bool XfPumpMessage();
