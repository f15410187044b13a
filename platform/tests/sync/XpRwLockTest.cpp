#include "platform/sync/XpRwLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/tests/sync/Eventually.h"

namespace {

[[nodiscard]] XpResult OnOtherThread(XpRwLock& lock, bool exclusive) {
  XpResult result = kXpErrSync;
  std::thread([&] {
    result = exclusive ? lock.LockExclusiveTimeout(0) : lock.TryLockShared();
    if (result == kXpOk) {
      EXPECT_EQ(lock.Unlock(), kXpOk);
    }
  }).join();
  return result;
}

TEST(XpRwLock, WaitingWriterHoldsBackNewReaders) {
  XpRwLock lock;
  ASSERT_EQ(lock.LockSharedTimeout(0), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, false), kXpOk);

  std::atomic<bool> written{false};
  std::thread writer([&] {
    if (lock.LockExclusiveTimeout(kXpWaitForever) != kXpOk) return;
    written = true;
    EXPECT_EQ(lock.Unlock(), kXpOk);
  });
  ASSERT_TRUE(synctest::Eventually([&] { return lock.IsBusy(false); }));
  EXPECT_EQ(OnOtherThread(lock, false), kXpErrTimeout);
  EXPECT_FALSE(written);

  EXPECT_EQ(lock.Unlock(), kXpOk);
  writer.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(OnOtherThread(lock, false), kXpOk);
}

TEST(XpRwLock, WriterReentersAndExcludesOthersUntilItsLastUnlock) {
  XpRwLock lock;
  ASSERT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  ASSERT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  EXPECT_FALSE(lock.IsBusy(true));
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpOk);
}

TEST(XpRwLock, WriterAskingToReadWaitsForItself) {
  XpRwLock lock;
  ASSERT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  EXPECT_EQ(lock.TryLockShared(), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(lock.TryLockShared(), kXpOk);
  EXPECT_EQ(lock.Unlock(), kXpOk);
}

TEST(XpRwLock, UnlockFromAThreadHoldingNothingGivesBackAReader) {
  XpRwLock lock;
  ASSERT_EQ(lock.LockSharedTimeout(0), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  std::thread([&] { EXPECT_EQ(lock.Unlock(), kXpOk); }).join();
  EXPECT_FALSE(lock.IsBusy(true));
  EXPECT_EQ(OnOtherThread(lock, true), kXpOk);
}

// A writer that gives up must let the readers it held back go on.
TEST(XpRwLock, WriterThatTimesOutReleasesWaitingReaders) {
  XpRwLock lock;
  ASSERT_EQ(lock.LockSharedTimeout(0), kXpOk);
  std::thread writer([&] {
    EXPECT_EQ(lock.LockUntil(XpDeadline::At(std::chrono::steady_clock::now() +
                                            std::chrono::milliseconds(200))),
              kXpErrTimeout);
  });
  ASSERT_TRUE(synctest::Eventually([&] { return lock.IsBusy(false); }));
  std::atomic<bool> read{false};
  std::thread reader([&] {
    if (lock.LockSharedTimeout(kXpWaitForever) == kXpOk) read = true;
  });
  writer.join();
  EXPECT_TRUE(synctest::Eventually([&] { return read.load(); }));
  EXPECT_EQ(lock.Unlock(), kXpOk);  // releases the reader in any case
  reader.join();
}

}  // namespace
