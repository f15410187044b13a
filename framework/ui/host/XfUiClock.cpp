#include "framework/ui/host/XfUiClock.h"

#include <chrono>

#include "platform/sync/XpWaitClock.h"

int64_t XfUiSteadyClock::NowMs() const {
  const auto now = XpWaitClock::Real().Now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void XfUiVirtualClock::Set(int64_t ms) {
  if (ms > now_.load(std::memory_order_acquire)) {
    now_.store(ms, std::memory_order_release);
  }
}
