#pragma once

#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpCriticalSection.h"

class XfNotification;

// Shows a notification; true when it handled it.
using XfDispatchHandler = bool (*)(XpSharedPtr<XfNotification> notification, void* context);
// Refreshes what is shown.
using XfUpdateHandler = void (*)(void* context);

// The hand-off point to a user interface: a dispatch handler, an update
// handler and their context, set and read under a lock. The handlers run
// outside the lock and must not reach this object after they return when
// they destroy it.
class XfUIPlug {
 public:
  XfUIPlug();
  XfUIPlug(const XfUIPlug&) = delete;
  XfUIPlug& operator=(const XfUIPlug&) = delete;
  virtual ~XfUIPlug();

  // Replaces both handlers and the context; null clears a handler.
  void SetHandlers(XfDispatchHandler dispatch, XfUpdateHandler update, void* context);
  // The dispatch handler's answer; false without one.
  bool Dispatch(XpSharedPtr<XfNotification> notification);
  // Calls the update handler when there is one.
  void Notify();

 private:
  XpCriticalSection lock_;
  XfDispatchHandler dispatch_ = nullptr;
  XfUpdateHandler update_ = nullptr;
  void* context_ = nullptr;
};
