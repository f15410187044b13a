#include "framework/notify/XfView.h"

#include <mutex>
#include <utility>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"

XfView::XfView() {
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->AddObserver(this);
  }
}

XfView::~XfView() {
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->RemoveObserver(this);
  }
}

void XfView::SetObject(XpSharedPtr<XfObject> object) {
  std::lock_guard<XpCriticalSection> hold(objectLock_);
  object_ = std::move(object);
}

XpSharedPtr<XfObject> XfView::GetObject() const {
  std::lock_guard<XpCriticalSection> hold(objectLock_);
  return object_;
}

void XfView::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (!notification) {
    return;
  }
  const XpSharedPtr<XfObject> subject = notification->GetSubject();
  if (subject && !(subject == GetObject())) {
    return;
  }
  if (Dispatch(notification)) {
    notification->SetHandled(true);
  }
}

void XfView::Release() {
  SetHandlers(nullptr, nullptr, nullptr);
  XfNotificationManager* manager = XfGetNotificationManager();
  if (manager == nullptr) {
    delete this;
    return;
  }
  manager->RemoveAndDeleteObserver(this);
}
