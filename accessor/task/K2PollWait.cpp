#include "accessor/task/K2PollWait.h"

K2PollWait::K2PollWait(XpWaitClock& clock)
    : clock_(clock), wakeable_(&clock == &XpWaitClock::Real()) {}

void K2PollWait::Pause(std::chrono::milliseconds interval) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!wakeable_) {
    wakePending_ = false;
    hold.unlock();
    clock_.SleepFor(interval);
    return;
  }
  (void)woken_.wait_for(hold, interval, [this] { return wakePending_; });
  wakePending_ = false;
}

void K2PollWait::Wake() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    wakePending_ = true;
  }
  woken_.notify_all();
}
