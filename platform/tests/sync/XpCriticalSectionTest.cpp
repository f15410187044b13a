#include "platform/sync/XpCriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/tests/sync/Eventually.h"

namespace {

TEST(XpCriticalSection, OwnerReentersAndOthersWaitForTheLastUnlock) {
  XpCriticalSection section;
  ASSERT_EQ(section.Lock(), kXpOk);
  ASSERT_EQ(section.Lock(), kXpOk);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EXPECT_EQ(section.Lock(), kXpOk);
    entered = true;
    EXPECT_EQ(section.Unlock(), kXpOk);
  });
  EXPECT_EQ(section.Unlock(), kXpOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(entered) << "entered while the owner still held one level";
  EXPECT_EQ(section.Unlock(), kXpOk);
  EXPECT_TRUE(synctest::Eventually([&] { return entered.load(); }));
  other.join();
}

TEST(XpCriticalSection, TryLockIsNotSupported) {
  XpCriticalSection section;
  EXPECT_EQ(section.TryLock(), kXpErrNotSupported);
}

}  // namespace
