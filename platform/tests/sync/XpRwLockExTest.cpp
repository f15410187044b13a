#include "platform/sync/XpRwLockEx.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/tests/sync/Eventually.h"

namespace {

[[nodiscard]] XpResult OnOtherThread(XpRwLockEx& lock, bool exclusive) {
  XpResult result = kXpErrSync;
  std::thread([&] {
    result = exclusive ? lock.LockExclusiveTimeout(0) : lock.TryLockShared();
    if (result == kXpOk) {
      EXPECT_EQ(lock.Unlock(), kXpOk);
    }
  }).join();
  return result;
}

TEST(XpRwLockEx, SoleReaderBecomesTheWriterAtOnce) {
  XpRwLockEx lock;
  ASSERT_EQ(lock.LockSharedTimeout(0), kXpOk);
  EXPECT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, false), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);  // the writer level
  EXPECT_EQ(OnOtherThread(lock, false), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);  // the reader record
  EXPECT_EQ(OnOtherThread(lock, true), kXpOk);
}

TEST(XpRwLockEx, ReaderBesideAnotherReaderCannotWrite) {
  XpRwLockEx lock;
  ASSERT_EQ(lock.LockSharedTimeout(0), kXpOk);
  std::atomic<bool> release{false};
  std::atomic<bool> holding{false};
  std::thread other([&] {
    if (lock.TryLockShared() != kXpOk) return;
    holding = true;
    while (!release) std::this_thread::yield();
    EXPECT_EQ(lock.Unlock(), kXpOk);
  });
  ASSERT_TRUE(synctest::Eventually([&] { return holding.load(); }));
  EXPECT_EQ(lock.LockExclusiveTimeout(0), kXpErrTimeout);
  release = true;
  other.join();
  EXPECT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(lock.Unlock(), kXpOk);
}

TEST(XpRwLockEx, ReaderReentersAndWriterMayRead) {
  XpRwLockEx lock;
  ASSERT_EQ(lock.TryLockShared(), kXpOk);
  ASSERT_EQ(lock.TryLockShared(), kXpOk);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpOk);

  ASSERT_EQ(lock.LockExclusiveTimeout(0), kXpOk);
  EXPECT_EQ(lock.TryLockShared(), kXpOk);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, false), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, false), kXpOk);
}

TEST(XpRwLockEx, UnlockFromAThreadHoldingNothingChangesNothing) {
  XpRwLockEx lock;
  ASSERT_EQ(lock.TryLockShared(), kXpOk);
  // Answers kXpOk, as a mismatched unlock always has, and changes nothing.
  std::thread([&] { EXPECT_EQ(lock.Unlock(), kXpOk); }).join();
  EXPECT_EQ(OnOtherThread(lock, true), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  EXPECT_EQ(OnOtherThread(lock, true), kXpOk);
}

TEST(XpRwLockEx, WaitingWriterHoldsBackNewReaders) {
  XpRwLockEx lock;
  ASSERT_EQ(lock.TryLockShared(), kXpOk);
  std::thread writer([&] {
    EXPECT_EQ(lock.LockExclusiveTimeout(kXpWaitForever), kXpOk);
    EXPECT_EQ(lock.Unlock(), kXpOk);
  });
  ASSERT_TRUE(synctest::Eventually([&] { return lock.IsBusy(false); }));
  EXPECT_EQ(OnOtherThread(lock, false), kXpErrTimeout);
  EXPECT_EQ(lock.Unlock(), kXpOk);
  writer.join();
  EXPECT_EQ(OnOtherThread(lock, false), kXpOk);
}

}  // namespace
