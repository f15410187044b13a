#include "platform/sync/XpManualEvent.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(XpManualEvent, StaysSignalledForEveryWaiterUntilReset) {
  XpManualEvent event(false);
  EXPECT_EQ(event.LockTimeout(0), kXpErrTimeout);
  EXPECT_EQ(event.TryLock(), kXpErrTimeout);

  ASSERT_EQ(event.SetSignaled(true), kXpOk);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(event.LockTimeout(0), kXpOk);
    EXPECT_EQ(event.Lock(), kXpOk);
  }
  EXPECT_TRUE(event.IsSignaled());

  ASSERT_EQ(event.SetSignaled(false), kXpOk);
  EXPECT_EQ(event.LockTimeout(0), kXpErrTimeout);
}

TEST(XpManualEvent, UnlockFromAnotherThreadReleasesAWaiter) {
  XpManualEvent event(false);
  std::thread setter([&] { EXPECT_EQ(event.Unlock(), kXpOk); });
  EXPECT_EQ(event.Lock(), kXpOk);
  setter.join();
  EXPECT_TRUE(event.IsSignaled());
}

TEST(XpManualEvent, InitiallySignalledNeedsNoSet) {
  XpManualEvent event(true);
  EXPECT_EQ(event.TryLock(), kXpOk);
}

}  // namespace
