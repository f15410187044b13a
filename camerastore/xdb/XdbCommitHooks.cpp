#include "camerastore/xdb/XdbCommitHooks.h"

#include <atomic>
#include <chrono>
#include <utility>

namespace XdbAccessor {

namespace {

std::atomic<XpWaitClock*>& InstalledClock() {
  static std::atomic<XpWaitClock*> clock{nullptr};
  return clock;
}

XdbStepObserver& Observer() {
  static XdbStepObserver observer;
  return observer;
}

}  // namespace

XpWaitClock* XdbSetWaitClock(XpWaitClock* clock) { return InstalledClock().exchange(clock); }

XdbStepObserver XdbSetStepObserver(XdbStepObserver observer) {
  return std::exchange(Observer(), std::move(observer));
}

void XdbSleep(uint32_t milliseconds) {
  XpWaitClock* clock = InstalledClock().load();
  (clock != nullptr ? *clock : XpWaitClock::Real())
      .SleepFor(std::chrono::milliseconds(milliseconds));
}

void XdbObserveStep(const char* step) {
  if (Observer()) {
    Observer()(step);
  }
}

}  // namespace XdbAccessor
