#pragma once

#include <chrono>
#include <cstdint>

#include "platform/sync/XpSyncObject.h"
#include "platform/sync/XpWaitClock.h"

// The end of a wait, fixed once when the wait starts, so that every round of
// a waiting loop waits only for the time that remains.
class XpDeadline {
 public:
  using TimePoint = XpWaitClock::TimePoint;

  static XpDeadline Infinite() { return XpDeadline(true, TimePoint()); }
  static XpDeadline At(TimePoint when) { return XpDeadline(false, when); }
  // kXpWaitForever gives no end; 0 ends at once.
  static XpDeadline AfterSeconds(uint32_t seconds, XpWaitClock& clock = XpWaitClock::Real()) {
    if (seconds == kXpWaitForever) return Infinite();
    return At(clock.Now() + std::chrono::seconds(seconds));
  }

  bool IsInfinite() const { return infinite_; }
  TimePoint When() const { return when_; }
  bool HasPassed(XpWaitClock& clock = XpWaitClock::Real()) const {
    return !infinite_ && clock.Now() >= when_;
  }

 private:
  XpDeadline(bool infinite, TimePoint when) : infinite_(infinite), when_(when) {}

  bool infinite_;
  TimePoint when_;
};
