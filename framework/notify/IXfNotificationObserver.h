#pragma once

#include "platform/memory/XpSharedPtr.h"

class XfNotification;

// Receives notifications from the notification manager's dispatch threads.
// The two dispatchers run in parallel, so OnNotification may be entered from
// two threads at once.
class IXfNotificationObserver {
 public:
  virtual ~IXfNotificationObserver();
  virtual void OnNotification(XpSharedPtr<XfNotification> notification) = 0;
};
