#include "platform/sync/XpWaitClock.h"

#include <thread>

namespace {

class RealWaitClock : public XpWaitClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override {
    std::this_thread::sleep_for(duration);
  }
};

}  // namespace

XpWaitClock& XpWaitClock::Real() {
  static RealWaitClock clock;
  return clock;
}
