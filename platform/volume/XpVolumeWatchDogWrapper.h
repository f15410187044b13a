#pragma once

#include <cstdint>
#include <memory>

#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/volume/IXpMountTableSource.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"
#include "platform/volume/XpVolumeWatchDog.h"
#include "platform/volume/XpVolumeWatchDogBase.h"
#include "platform/volume/XpVolumeWatchDogEx.h"

// Picks a volume watchdog by the system's version: the event-driven one on
// NT 5.1 and later, the polling one otherwise (or when the version cannot be
// told), and forwards to it.
class XpVolumeWatchDogWrapper {
 public:
  // callback (which may be null) is registered with the chosen watchdog.
  XpVolumeWatchDogWrapper(IXpVolumeWatchDogCallback* callback, bool smoothing);
  // As above; the event-driven watchdog watches the table that source gives
  // (null: /proc/self/mountinfo). The polling one does not use it.
  XpVolumeWatchDogWrapper(IXpVolumeWatchDogCallback* callback, bool smoothing,
                          std::unique_ptr<IXpMountTableSource> source);
  XpVolumeWatchDogWrapper(const XpVolumeWatchDogWrapper&) = delete;
  XpVolumeWatchDogWrapper& operator=(const XpVolumeWatchDogWrapper&) = delete;
  virtual ~XpVolumeWatchDogWrapper();

  // Each gives kXpErrWrongState when no watchdog could be made.
  [[nodiscard]] virtual XpResult AddCallback(IXpVolumeWatchDogCallback* callback);
  [[nodiscard]] virtual XpResult RemoveCallback(IXpVolumeWatchDogCallback* callback);
  [[nodiscard]] virtual XpResult Start();
  [[nodiscard]] virtual XpResult Stop();

  // The event-driven watchdog was chosen.
  bool IsEventDriven() const { return eventDriven_; }
  bool HasWatchDog() const;

  // For tests: a shorter quiet period of the event-driven watchdog.
  void SetQuietPeriodForTest(uint32_t milliseconds);

  // The version rule: NT (platform 2) 5.1 and later.
  static bool ChoosesEventDriven(uint32_t platformId, uint32_t major, uint32_t minor);

 private:
  // Whichever watchdog was made; null when none could be.
  XpVolumeWatchDogBase* Chosen() const;

  XpSharedPtr<XpVolumeWatchDogEx> watcher_;
  XpSharedPtr<XpVolumeWatchDog> polling_;
  bool eventDriven_ = false;
};
