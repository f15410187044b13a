#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "accessor/task/K2PollWait.h"
#include "accessor/tests/task/TaskTestSupport.h"

namespace {

// Far longer than any pause that ends as it should; a pause that ran out
// would take this long.
constexpr auto kLongInterval = std::chrono::milliseconds(60000);

using Clock = std::chrono::steady_clock;

TEST(K2PollWait, AWakeBeforeThePauseEndsItAtOnceAndOnlyOnce) {
  K2PollWait wait(XpWaitClock::Real());
  wait.Wake();
  const Clock::time_point start = Clock::now();
  wait.Pause(kLongInterval);
  EXPECT_LT(Clock::now() - start, kLongInterval / 2);
  // The wake is used up: a short pause now runs its whole interval.
  const Clock::time_point again = Clock::now();
  wait.Pause(std::chrono::milliseconds(20));
  EXPECT_GE(Clock::now() - again, std::chrono::milliseconds(20));
}

TEST(K2PollWait, AWakeFromAnotherThreadEndsARunningPause) {
  K2PollWait wait(XpWaitClock::Real());
  std::atomic<bool> pausing{false};
  std::atomic<bool> ended{false};
  const Clock::time_point start = Clock::now();
  std::thread waiter([&] {
    pausing = true;
    wait.Pause(kLongInterval);
    ended = true;
  });
  while (!pausing.load()) {
    std::this_thread::yield();
  }
  // Wakes until the pause has ended: one wake may come before the pause
  // began, which ends the pause all the same.
  while (!ended.load()) {
    wait.Wake();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  waiter.join();
  EXPECT_LT(Clock::now() - start, kLongInterval / 2);
}

TEST(K2PollWait, ATestClockPacesEveryPauseAndIsNeverCutShort) {
  task_test::QuickClock clock;
  K2PollWait wait(clock);
  wait.Wake();
  wait.Pause(kLongInterval);
  wait.Pause(kLongInterval);
  EXPECT_EQ(clock.Sleeps(), 2);
}

}  // namespace
