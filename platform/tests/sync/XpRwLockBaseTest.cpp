#include "platform/sync/XpRwLockBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync/XpRwLock.h"
#include "platform/sync/XpRwLockEx.h"
#include "platform/tests/sync/Eventually.h"

namespace {

constexpr auto kWriterPatience = std::chrono::milliseconds(200);
// Far longer than the writer waits, so only a reader left blocked runs out.
constexpr uint32_t kReaderPatienceSeconds = 5;

// What both reader-writer locks do alike, whichever way they keep readers.
template <typename Lock>
class XpRwLockBaseTest : public ::testing::Test {
 protected:
  // Takes and gives back the lock on another thread; the result of taking.
  [[nodiscard]] XpResult OnOtherThread(bool exclusive) {
    XpResult taken = kXpErrSync;
    XpResult released = kXpOk;
    std::thread([&] {
      taken = exclusive ? lock_.LockExclusiveTimeout(kXpTryOnce) : lock_.TryLockShared();
      if (taken == kXpOk) released = lock_.Unlock();
    }).join();
    EXPECT_EQ(released, kXpOk);
    return taken;
  }

  Lock lock_;
};

using Locks = ::testing::Types<XpRwLock, XpRwLockEx>;
TYPED_TEST_SUITE(XpRwLockBaseTest, Locks);

TYPED_TEST(XpRwLockBaseTest, WriterReentersAndExcludesOthersUntilItsLastUnlock) {
  ASSERT_EQ(this->lock_.LockExclusiveTimeout(kXpTryOnce), kXpOk);
  ASSERT_EQ(this->lock_.LockExclusiveTimeout(kXpTryOnce), kXpOk);
  EXPECT_FALSE(this->lock_.IsBusy(true));
  EXPECT_EQ(this->OnOtherThread(true), kXpErrTimeout);
  EXPECT_EQ(this->OnOtherThread(false), kXpErrTimeout);
  EXPECT_EQ(this->lock_.Unlock(), kXpOk);
  EXPECT_EQ(this->OnOtherThread(true), kXpErrTimeout);
  EXPECT_EQ(this->lock_.Unlock(), kXpOk);
  EXPECT_EQ(this->OnOtherThread(true), kXpOk);
  EXPECT_EQ(this->OnOtherThread(false), kXpOk);
}

TYPED_TEST(XpRwLockBaseTest, ReadersShareAndHoldOffAWriter) {
  ASSERT_EQ(this->lock_.LockSharedTimeout(kXpTryOnce), kXpOk);
  EXPECT_EQ(this->OnOtherThread(false), kXpOk);
  EXPECT_EQ(this->OnOtherThread(true), kXpErrTimeout);
  EXPECT_EQ(this->lock_.Unlock(), kXpOk);
  EXPECT_EQ(this->OnOtherThread(true), kXpOk);
}

// A writer that gives up must let the readers it held back go on.
TYPED_TEST(XpRwLockBaseTest, WriterThatTimesOutReleasesWaitingReaders) {
  ASSERT_EQ(this->lock_.LockSharedTimeout(kXpTryOnce), kXpOk);
  XpResult written = kXpOk;
  std::thread writer([&] {
    written =
        this->lock_.LockUntil(XpDeadline::At(std::chrono::steady_clock::now() + kWriterPatience));
  });
  ASSERT_TRUE(synctest::Eventually([&] { return this->lock_.IsBusy(false); }));
  std::atomic<bool> read{false};
  XpResult readerReleased = kXpErrSync;
  std::thread reader([&] {
    if (this->lock_.LockSharedTimeout(kReaderPatienceSeconds) != kXpOk) return;
    read = true;
    readerReleased = this->lock_.Unlock();
  });
  writer.join();
  EXPECT_EQ(written, kXpErrTimeout);
  reader.join();
  EXPECT_TRUE(read);
  EXPECT_EQ(readerReleased, kXpOk);
  EXPECT_EQ(this->lock_.Unlock(), kXpOk);
  EXPECT_FALSE(this->lock_.IsBusy(true));
}

}  // namespace
