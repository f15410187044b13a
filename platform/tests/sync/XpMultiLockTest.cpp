#include "platform/sync/XpMultiLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/sync/XpManualEvent.h"
#include "platform/sync/XpSemaphore.h"
#include "platform/tests/sync/Eventually.h"

namespace {

struct Semaphores {
  XpSemaphore first{0, XpSemaphore::kXpNoMaximum};
  XpSemaphore second{0, XpSemaphore::kXpNoMaximum};
  XpSemaphore wakeUp{0, XpSemaphore::kXpNoMaximum};
};

TEST(XpMultiLock, OneTimesOutWhenNothingIsReleased) {
  Semaphores s;
  const auto start = std::chrono::steady_clock::now();
  XpMultiLockOne lock(false, &s.first, &s.second, &s.wakeUp, 1);
  const double seconds = synctest::SecondsSince(start);
  EXPECT_EQ(lock.GetResult(), kXpErrTimeout);
  EXPECT_EQ(lock.GetLockedIndex(), -1);
  EXPECT_EQ(lock.GetLockedObject(), nullptr);
  EXPECT_GE(seconds, 0.95);
  EXPECT_LT(seconds, 1.5);
}

TEST(XpMultiLock, OneWakesForTheObjectReleasedLater) {
  Semaphores s;
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(s.second.Unlock(), kXpOk);
  });
  {
    XpMultiLockOne lock(true, &s.first, &s.second, &s.wakeUp, kXpWaitForever);
    EXPECT_EQ(lock.GetResult(), kXpOk);
    EXPECT_EQ(lock.GetLockedIndex(), 1);
    EXPECT_EQ(lock.GetLockedObject(), &s.second);
    EXPECT_EQ(s.second.GetCount(), 0);
  }
  releaser.join();
  EXPECT_EQ(s.second.GetCount(), 1);  // auto-unlock gave it back
  EXPECT_EQ(s.first.GetCount(), 0);
}

TEST(XpMultiLock, OneTakesTheFirstFreeObjectInListOrder) {
  XpSemaphore a(1, 1), b(1, 1), c(1, 1), wakeUp(0, 1);
  std::vector<XpComboSyncObject*> objects = {&a, &b, &c};
  ASSERT_EQ(a.TryLock(), kXpOk);
  XpMultiLockOne lock(false, objects, &wakeUp, 0);
  EXPECT_EQ(lock.GetResult(), kXpOk);
  EXPECT_EQ(lock.GetLockedIndex(), 1);
  EXPECT_EQ(c.GetCount(), 1);
}

TEST(XpMultiLock, RefusesNullObjectsEmptyListsAndItsWakeUpObjectInTheList) {
  XpSemaphore a(1, 1), wakeUp(0, 1);
  EXPECT_EQ(XpMultiLockOne(false, &a, nullptr, &wakeUp, 0).GetResult(), kXpErrInvalidHandle);
  EXPECT_EQ(XpMultiLockOne(false, &a, &a, nullptr, 0).GetResult(), kXpErrInvalidHandle);
  EXPECT_EQ(XpMultiLockAll(false, nullptr, &a, &wakeUp, 0).GetResult(), kXpErrInvalidHandle);
  EXPECT_EQ(XpMultiLockOne(false, {}, &wakeUp, 0).GetResult(), kXpErrBadArgument);
  EXPECT_EQ(XpMultiLockAll(false, &a, &wakeUp, &wakeUp, 0).GetResult(), kXpErrBadArgument);
  EXPECT_EQ(a.GetCount(), 1);
}

TEST(XpMultiLock, AllTakesFromTheLastToTheFirst) {
  XpSemaphore a(1, 1), b(1, 1), wakeUp(0, 1);
  {
    XpMultiLockAll lock(true, &a, &b, &wakeUp, 0);
    EXPECT_EQ(lock.GetResult(), kXpOk);
    EXPECT_EQ(lock.GetLockedIndexes(), (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(lock.GetLockedObjects(), (std::vector<XpComboSyncObject*>{&b, &a}));
    EXPECT_EQ(a.GetCount() + b.GetCount(), 0);
  }
  EXPECT_EQ(a.GetCount() + b.GetCount(), 2);
}

TEST(XpMultiLock, AllKeepsWhatItTookWhenItFails) {
  XpSemaphore a(1, 1), b(0, 1), wakeUp(0, 1);
  XpMultiLockAll lock(false, &a, &b, &wakeUp, 0);
  EXPECT_EQ(lock.GetResult(), kXpErrTimeout);
  EXPECT_EQ(lock.GetLockedIndexes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(a.GetCount(), 0);
}

TEST(XpMultiLock, AllWaitsForEveryObject) {
  XpManualEvent opened(false);
  XpSemaphore unit(0, 1), wakeUp(0, XpSemaphore::kXpNoMaximum);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(unit.Unlock(), kXpOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    opened.SetSignaled(true);
  });
  XpMultiLockAll lock(false, &opened, &unit, &wakeUp, kXpWaitForever);
  releaser.join();
  EXPECT_EQ(lock.GetResult(), kXpOk);
  EXPECT_EQ(lock.GetLockedIndexes(), (std::vector<int32_t>{1, 0}));
}

}  // namespace
