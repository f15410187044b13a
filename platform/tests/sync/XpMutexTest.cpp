#include "platform/sync/XpMutex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/sync/XpSingleLock.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class MutexFixture : public testsupport::HermeticTest {};
using XpMutex = MutexFixture;

// Tries once from a new thread, which gives back what it took.
[[nodiscard]] XpResult TryFromOtherThread(::XpMutex& mutex) {
  XpResult result = kXpErrSync;
  std::thread([&] {
    result = mutex.LockTimeout(0);
    if (result == kXpOk) {
      EXPECT_EQ(mutex.Unlock(), kXpOk);
    }
  }).join();
  return result;
}

bool IsLockedForOtherThread(::XpMutex& mutex) {
  bool locked = false;
  std::thread([&] { locked = mutex.IsLockedByOtherThread(); }).join();
  return locked;
}

TEST_F(XpMutex, TakenTwiceNeedsTwoUnlocks) {
  ::XpMutex mutex;
  ASSERT_EQ(mutex.Lock(), kXpOk);
  ASSERT_EQ(mutex.LockTimeout(0), kXpOk);
  EXPECT_FALSE(mutex.IsLockedByOtherThread());
  EXPECT_TRUE(IsLockedForOtherThread(mutex));
  EXPECT_EQ(TryFromOtherThread(mutex), kXpErrTimeout);

  EXPECT_EQ(mutex.Unlock(), kXpOk);
  EXPECT_EQ(TryFromOtherThread(mutex), kXpErrTimeout);
  EXPECT_EQ(mutex.Unlock(), kXpOk);
  EXPECT_EQ(TryFromOtherThread(mutex), kXpOk);
}

TEST_F(XpMutex, AcceptsOnlyTryOnceAndWaitForever) {
  ::XpMutex mutex;
  for (uint32_t seconds : {1u, 5u, 0xFFFFFFFEu}) {
    EXPECT_EQ(mutex.LockTimeout(seconds), kXpErrInvalidHandle) << seconds;
  }
  EXPECT_FALSE(IsLockedForOtherThread(mutex));
  EXPECT_EQ(mutex.LockTimeout(kXpWaitForever), kXpOk);
  EXPECT_EQ(mutex.Unlock(), kXpOk);
}

TEST_F(XpMutex, UnlockByAnotherThreadChangesNothing) {
  ::XpMutex mutex;
  ASSERT_EQ(mutex.Lock(), kXpOk);
  XpResult unlocked = kXpErrSync;
  std::thread([&] { unlocked = mutex.Unlock(); }).join();
  EXPECT_EQ(unlocked, kXpOk);
  EXPECT_TRUE(IsLockedForOtherThread(mutex));
  EXPECT_EQ(mutex.Unlock(), kXpOk);
  EXPECT_FALSE(IsLockedForOtherThread(mutex));
}

TEST_F(XpMutex, OnlyANamedMutexMakesALockFile) {
  {
    ::XpMutex unnamed;
    ASSERT_EQ(unnamed.Lock(), kXpOk);
    EXPECT_EQ(unnamed.Unlock(), kXpOk);
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Root())) {
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }
  ::XpMutex named(u"KavoNamed");
  EXPECT_EQ(named.GetCreateResult(), kXpOk);
  EXPECT_TRUE(std::filesystem::is_regular_file(Root() / "ipc/session/KavoNamed.mutex"));
}

// Two mutexes of one name share the named part: what one thread holds
// through the first, another cannot take through the second, and the failed
// attempt leaves nothing held.
TEST_F(XpMutex, FailedNamedWaitLeavesTheMutexFree) {
  ::XpMutex first(u"KavoShared");
  ::XpMutex second(u"KavoShared");
  ASSERT_EQ(first.Lock(), kXpOk);
  EXPECT_EQ(TryFromOtherThread(second), kXpErrTimeout);
  EXPECT_FALSE(second.IsLockedByOtherThread());
  EXPECT_FALSE(IsLockedForOtherThread(second));
  EXPECT_EQ(first.Unlock(), kXpOk);
  {
    XpSingleLock lock(&second, kXpTryOnce);
    EXPECT_EQ(lock.GetResult(), kXpOk);
  }
  EXPECT_FALSE(IsLockedForOtherThread(second));
}

TEST_F(XpMutex, HeldAcrossProcessesUntilTheHolderDies) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    ::XpMutex mutex(u"Global\\KavoTestMutex");
    if (mutex.Lock() != kXpOk) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());

  ::XpMutex mutex(u"Global\\KavoTestMutex");
  EXPECT_EQ(TryFromOtherThread(mutex), kXpErrTimeout);
  EXPECT_EQ(TryFromOtherThread(mutex), kXpErrTimeout);
  EXPECT_FALSE(mutex.IsLockedByOtherThread());

  child.Kill();
  EXPECT_EQ(child.Wait(), -1);
  EXPECT_EQ(mutex.LockTimeout(0), kXpOk);
  EXPECT_EQ(mutex.Unlock(), kXpOk);
}

}  // namespace
