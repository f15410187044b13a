#include "platform/sync/XpSemaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/tests/sync/Eventually.h"

namespace {

TEST(XpSemaphore, CountNeverPassesItsMaximum) {
  XpSemaphore semaphore(0, 1);
  EXPECT_EQ(semaphore.TryLock(), kXpErrTimeout);
  EXPECT_EQ(semaphore.Unlock(), kXpOk);
  EXPECT_EQ(semaphore.TryLock(), kXpOk);
  EXPECT_EQ(semaphore.TryLock(), kXpErrTimeout);

  EXPECT_EQ(semaphore.Unlock(), kXpOk);
  EXPECT_EQ(semaphore.Unlock(), kXpOk);  // at the maximum: kept at 1
  EXPECT_EQ(semaphore.GetCount(), 1);
  EXPECT_EQ(semaphore.TryLock(), kXpOk);
  EXPECT_EQ(semaphore.TryLock(), kXpErrTimeout);
}

TEST(XpSemaphore, WithoutMaximumEveryUnlockCounts) {
  XpSemaphore semaphore(0, XpSemaphore::kXpNoMaximum);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(semaphore.Unlock(), kXpOk);
  EXPECT_EQ(semaphore.GetCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(semaphore.TryLock(), kXpOk);
  EXPECT_EQ(semaphore.TryLock(), kXpErrTimeout);
}

TEST(XpSemaphore, UnlockFromAnotherThreadReleasesAWaiter) {
  XpSemaphore semaphore(0, 1);
  std::thread releaser([&] { EXPECT_EQ(semaphore.Unlock(), kXpOk); });
  EXPECT_EQ(semaphore.Lock(), kXpOk);
  releaser.join();
  EXPECT_EQ(semaphore.GetCount(), 0);
}

// Signals its waiters without giving a unit, as a unit given and taken back
// at once does.
class PulsedSemaphore : public XpSemaphore {
 public:
  PulsedSemaphore() : XpSemaphore(0, kXpNoMaximum) {}
  void Pulse() {
    std::lock_guard<XpCriticalSection> hold(guard_);
    Signal();
  }
};

TEST(XpSemaphore, WakeUpsDoNotRestartTheTimeout) {
  PulsedSemaphore semaphore;
  std::atomic<bool> done{false};
  std::thread pulser([&] {
    // Pulses for at most 3 s, so that a wait that restarts its time-out
    // still ends, too late.
    for (int pulse = 0; pulse < 60 && !done; ++pulse) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      semaphore.Pulse();
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const XpResult result = semaphore.LockTimeout(1);
  const double seconds = synctest::SecondsSince(start);
  done = true;
  pulser.join();
  EXPECT_EQ(result, kXpErrTimeout);
  EXPECT_GE(seconds, 0.95);
  EXPECT_LT(seconds, 1.5);
}

}  // namespace
