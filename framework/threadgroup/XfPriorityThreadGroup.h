#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/thread/XpThread.h"

// Worker threads (not owned) that share one priority: active, they run at
// the group's priority; made inactive, each is lowered one level. A group
// starts active.
class XfPriorityThreadGroup {
 public:
  explicit XfPriorityThreadGroup(int32_t priority = kXpThreadPriorityNormal);
  XfPriorityThreadGroup(const XfPriorityThreadGroup&) = delete;
  XfPriorityThreadGroup& operator=(const XfPriorityThreadGroup&) = delete;
  virtual ~XfPriorityThreadGroup();

  // The logical thread priority of the group (a kXpThreadPriority level).
  virtual int32_t GetPriority() const;

  // A null thread is ignored.
  void AddThread(XpThread* thread);
  // Takes the first occurrence off the group.
  void RemoveThread(XpThread* thread);
  size_t GetThreadCount() const;

  bool IsActive() const;
  // kXpOk at once when the flag has that value already. Otherwise stores it
  // and sets each thread's priority, in order: the group's when active, one
  // level lower when inactive. Stops at the first refused change and
  // returns it (kXpErrPriority).
  [[nodiscard]] XpResult SetActive(bool active);

 private:
  mutable XpCriticalSection lock_;
  std::vector<XpThread*> threads_;
  bool active_ = true;
  const int32_t priority_;
};
