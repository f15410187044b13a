#pragma once

#include <atomic>
#include <cstdint>

#include "framework/notify/IXfNotificationObserver.h"
#include "platform/memory/XpSharedPtr.h"

class XfNotification;

// Hands the byte total of an export's preparation to the confirmation
// dialog. It watches the application's notification manager from
// StartObserving, which the owner calls once the whole object is built,
// until StopObserving or its destruction; a derived class calls
// StopObserving first thing in its own destructor, so that no dispatch
// thread reaches it half built or half destroyed.
class K2ExportConfirmObserver : public IXfNotificationObserver {
 public:
  // The internal notification that ends the preparation.
  static constexpr uint32_t kCodePrepared = 261;

  K2ExportConfirmObserver() = default;
  K2ExportConfirmObserver(const K2ExportConfirmObserver&) = delete;
  K2ExportConfirmObserver& operator=(const K2ExportConfirmObserver&) = delete;
  ~K2ExportConfirmObserver() override;

  // Takes only an internal 261 whose payload is a K2ExportInfoObj: the total
  // goes to SetRequiredBytes and the notification is answered with 1.
  // Everything else is left alone and not answered.
  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  // Joins the application's notification manager, when there is one.
  // Idempotent.
  void StartObserving();
  // Leaves the notification manager; waits for a delivery that runs on
  // another thread. Idempotent.
  void StopObserving();

 protected:
  // The bytes the export needs, as two 32-bit halves.
  virtual void SetRequiredBytes(uint32_t low, uint32_t high) = 0;

 private:
  std::atomic<bool> observing_{false};
};
