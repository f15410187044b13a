#include "camerastore/xdb/XdbCommitHooks.h"

#include <chrono>
#include <thread>
#include <utility>

namespace XdbAccessor {

namespace {

XdbSleeper& Sleeper() {
  static XdbSleeper sleeper;
  return sleeper;
}

XdbStepObserver& Observer() {
  static XdbStepObserver observer;
  return observer;
}

}  // namespace

XdbSleeper XdbSetSleeper(XdbSleeper sleeper) { return std::exchange(Sleeper(), std::move(sleeper)); }

XdbStepObserver XdbSetStepObserver(XdbStepObserver observer) {
  return std::exchange(Observer(), std::move(observer));
}

void XdbSleep(uint32_t milliseconds) {
  if (Sleeper()) {
    Sleeper()(milliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void XdbObserveStep(const char* step) {
  if (Observer()) {
    Observer()(step);
  }
}

}  // namespace XdbAccessor
