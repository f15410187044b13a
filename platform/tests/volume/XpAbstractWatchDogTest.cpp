#include "platform/volume/XpAbstractWatchDog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the intervals that passed.
class CountingWatchDog : public XpAbstractWatchDog {
 public:
  CountingWatchDog() : XpAbstractWatchDog(false) {}
  ~CountingWatchDog() override { (void)Stop(); }  // a destructor cannot report

  // Waits until count polls were made since start; false after 5 s.
  bool WaitForPolls(uint32_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return polled_.wait_for(lock, std::chrono::seconds(5), [&] { return polls_ >= count; });
  }

 protected:
  uint32_t Run() override {
    while (WaitInterval()) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++polls_;
      polled_.notify_all();
    }
    return kXpOk;
  }
  void OnStarting() override {
    std::lock_guard<std::mutex> lock(mutex_);
    polls_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable polled_;
  uint32_t polls_ = 0;
};

TEST(XpAbstractWatchDog, WaitIsWholeSecondsFromOneSecondElseMilliseconds) {
  struct Case {
    uint32_t interval;
    uint32_t wait;
  };
  const Case cases[] = {{5000, 5000}, {2500, 2000}, {1000, 1000}, {999, 999},
                        {10, 10},     {9, 10},      {0, 10}};
  CountingWatchDog watchDog;
  EXPECT_EQ(watchDog.GetInterval(), XpAbstractWatchDog::kDefaultIntervalMs);
  for (const Case& c : cases) {
    watchDog.SetInterval(c.interval);
    EXPECT_EQ(watchDog.GetInterval(), c.interval);
    EXPECT_EQ(watchDog.ComputeWaitMilliseconds(), c.wait) << c.interval;
  }
}

// An interval of 0 used to wait 0 s and spin.
TEST(XpAbstractWatchDog, ZeroIntervalWaitsBetweenPolls) {
  constexpr uint32_t kPolls = 3;
  CountingWatchDog watchDog;
  watchDog.SetInterval(0);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(watchDog.Start(), kXpOk);
  ASSERT_TRUE(watchDog.WaitForPolls(kPolls));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kPolls * XpAbstractWatchDog::kMinimumWaitMs));
  EXPECT_EQ(watchDog.Stop(), kXpOk);
}

TEST(XpAbstractWatchDog, StartAndStopOnlyFromTheRightState) {
  CountingWatchDog watchDog;
  watchDog.SetInterval(20);
  EXPECT_EQ(watchDog.Stop(), kXpErrWrongState);
  ASSERT_EQ(watchDog.Start(), kXpOk);
  EXPECT_TRUE(watchDog.IsRunning());
  EXPECT_EQ(watchDog.Start(), kXpErrWrongState);
  EXPECT_EQ(watchDog.Stop(), kXpOk);
  EXPECT_FALSE(watchDog.IsRunning());
  EXPECT_EQ(watchDog.Stop(), kXpErrWrongState);
  // A restart clears the stop request of the last Stop.
  ASSERT_EQ(watchDog.Start(), kXpOk);
  EXPECT_TRUE(watchDog.WaitForPolls(2));
  EXPECT_EQ(watchDog.Stop(), kXpOk);
}

TEST(XpAbstractWatchDog, StopEndsALongWait) {
  CountingWatchDog watchDog;
  watchDog.SetInterval(60000);
  ASSERT_EQ(watchDog.Start(), kXpOk);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(watchDog.Stop(), kXpOk);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
