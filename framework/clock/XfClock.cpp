#include "framework/clock/XfClock.h"

#include <atomic>

#include "platform/system/XpSystemInfo.h"

namespace {

class SystemClock : public XfClock {
 public:
  int64_t Now() override { return XpGetCurrentTime(); }
};

std::atomic<XfClock*> gInstalled{nullptr};

}  // namespace

XfClock::~XfClock() = default;

XfClock& XfClock::System() {
  static SystemClock clock;
  return clock;
}

int64_t XfGetCurrentTime() {
  XfClock* clock = gInstalled.load(std::memory_order_acquire);
  return clock != nullptr ? clock->Now() : XfClock::System().Now();
}

void XfSetClockForTest(XfClock* clock) { gInstalled.store(clock, std::memory_order_release); }
