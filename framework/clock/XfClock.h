#pragma once

#include <cstdint>

// The framework's wall clock in whole seconds since 1970. Everything in the
// framework that reads the time of day goes through it, so tests can move
// time by hand.
class XfClock {
 public:
  virtual ~XfClock();
  virtual int64_t Now() = 0;

  // The system's clock.
  static XfClock& System();
};

// Now, on the installed clock.
int64_t XfGetCurrentTime();

// For tests: installs a clock (not owned) for the whole process; null puts
// the system's clock back.
void XfSetClockForTest(XfClock* clock);
