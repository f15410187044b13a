#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/sync/XpWaitClock.h"

// The pause between two looks at a polled condition. With the real clock the
// pause ends early when Wake is called, so a poll sees a change at once; the
// interval stays the longest pause. A test clock paces every pause itself
// and is never cut short.
class K2PollWait {
 public:
  explicit K2PollWait(XpWaitClock& clock);
  K2PollWait(const K2PollWait&) = delete;
  K2PollWait& operator=(const K2PollWait&) = delete;

  // Pauses for interval at most; returns at once when woken since the
  // last pause.
  void Pause(std::chrono::milliseconds interval);
  // Ends the current pause, or the next one when none runs.
  void Wake();
  XpWaitClock& GetClock() { return clock_; }

 private:
  XpWaitClock& clock_;
  const bool wakeable_;
  std::mutex lock_;
  std::condition_variable woken_;
  bool wakePending_ = false;
};
