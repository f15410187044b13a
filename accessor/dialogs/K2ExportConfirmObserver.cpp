#include "accessor/dialogs/K2ExportConfirmObserver.h"

#include "accessor/task/K2ExportInfoObj.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"

namespace {

constexpr uint32_t kAnswerDone = 1;
constexpr int kHalfBits = 32;

}  // namespace

K2ExportConfirmObserver::~K2ExportConfirmObserver() { StopObserving(); }

void K2ExportConfirmObserver::StartObserving() {
  XfNotificationManager* manager = XfGetNotificationManager();
  if (manager == nullptr || observing_.exchange(true)) {
    return;
  }
  manager->AddObserver(this);
}

void K2ExportConfirmObserver::StopObserving() {
  if (!observing_.exchange(false)) {
    return;
  }
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->RemoveObserver(this);
  }
}

void K2ExportConfirmObserver::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (!notification || notification->GetKind() != kXfKindInternal ||
      notification->GetCode() != kCodePrepared) {
    return;
  }
  const XpSharedPtr<XfObject> payload = notification->GetObject();
  const auto* info = dynamic_cast<const K2ExportInfoObj*>(payload.Get());
  if (info == nullptr) {
    return;
  }
  const uint64_t total = info->GetTotalBytes();
  SetRequiredBytes(static_cast<uint32_t>(total), static_cast<uint32_t>(total >> kHalfBits));
  notification->SetResult(kAnswerDone);
}
