#include "framework/notify/XfUIPlug.h"

#include <mutex>
#include <utility>

#include "framework/notify/XfNotification.h"

XfUIPlug::XfUIPlug() = default;

XfUIPlug::~XfUIPlug() = default;

void XfUIPlug::SetHandlers(XfDispatchHandler dispatch, XfUpdateHandler update, void* context) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  dispatch_ = dispatch;
  update_ = update;
  context_ = context;
}

bool XfUIPlug::Dispatch(XpSharedPtr<XfNotification> notification) {
  XfDispatchHandler handler = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    handler = dispatch_;
    context = context_;
  }
  if (handler == nullptr) {
    return false;
  }
  return handler(std::move(notification), context);
}

void XfUIPlug::Notify() {
  XfUpdateHandler handler = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    handler = update_;
    context = context_;
  }
  if (handler != nullptr) {
    handler(context);
  }
}
