#pragma once

#include <chrono>

// The clock and sleep that polling waits use. Tests pass a fake one so that
// waits of whole seconds take no real time.
class XpWaitClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~XpWaitClock() = default;
  virtual TimePoint Now() = 0;
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;

  // The steady clock and a real sleep.
  static XpWaitClock& Real();
};
