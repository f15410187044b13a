#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/threadgroup/XfPriorityThreadGroup.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"

// Keeps thread groups (not owned) and raises one of them while lowering
// the others.
class XfPriorityThreadGroupManager {
 public:
  XfPriorityThreadGroupManager();
  XfPriorityThreadGroupManager(const XfPriorityThreadGroupManager&) = delete;
  XfPriorityThreadGroupManager& operator=(const XfPriorityThreadGroupManager&) = delete;
  virtual ~XfPriorityThreadGroupManager();

  // A null group is ignored.
  void AddGroup(XfPriorityThreadGroup* group);
  // Takes the first occurrence off the list.
  void RemoveGroup(XfPriorityThreadGroup* group);
  void Clear();
  size_t GetGroupCount() const;

  // Makes group active and every other group inactive. Every group is
  // visited; the first refused change is returned, else kXpOk.
  [[nodiscard]] XpResult ActivateGroup(const XfPriorityThreadGroup* group);
  // Makes the groups of that priority active and all others inactive (all
  // of them when no group has it); results as ActivateGroup.
  [[nodiscard]] XpResult ActivatePriority(int32_t priority);

 private:
  mutable XpCriticalSection lock_;
  std::vector<XfPriorityThreadGroup*> groups_;
};
