#pragma once

#include "framework/notify/IXfNotificationObserver.h"
#include "framework/notify/XfObject.h"
#include "framework/notify/XfUIPlug.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpCriticalSection.h"

// An observer bound to one object: it hands to its dispatch handler the
// notifications about that object and those about nothing in particular
// (null subject), and marks them handled when the handler says so.
//
// A view registers with the global application's notification manager when
// it is made and removes itself when it is destroyed; the removal waits for
// a delivery to this view that runs on another thread. A derived class that
// overrides OnNotification removes the view first thing in its own
// destructor for the same reason.
class XfView : public IXfNotificationObserver, public XfUIPlug {
 public:
  XfView();
  ~XfView() override;

  void SetObject(XpSharedPtr<XfObject> object);
  XpSharedPtr<XfObject> GetObject() const;

  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  // Clears the handlers and has the manager delete the view (made with new)
  // once no delivery runs; callable from the view's own callback.
  void Release();

 private:
  mutable XpCriticalSection objectLock_;
  XpSharedPtr<XfObject> object_;
};
