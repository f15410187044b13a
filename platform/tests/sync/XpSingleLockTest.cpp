#include "platform/sync/XpSingleLock.h"

#include <gtest/gtest.h>

#include "platform/sync/XpSemaphore.h"

namespace {

TEST(XpSingleLock, NullObjectIsNoLock) {
  {
    XpSingleLock lock(static_cast<XpSyncObject*>(nullptr));
    EXPECT_EQ(lock.GetResult(), kXpOk);
    EXPECT_FALSE(lock.IsLocked());
  }
  XpSingleLock timed(static_cast<XpComboSyncObject*>(nullptr), 0);
  EXPECT_EQ(timed.GetResult(), kXpOk);
  EXPECT_FALSE(timed.IsLocked());
}

TEST(XpSingleLock, GivesBackOnlyWhatItTook) {
  XpSemaphore semaphore(1, XpSemaphore::kXpNoMaximum);
  {
    XpSingleLock first(&semaphore);
    EXPECT_EQ(first.GetResult(), kXpOk);
    EXPECT_EQ(semaphore.GetCount(), 0);
    XpSingleLock second(&semaphore, 0);
    EXPECT_EQ(second.GetResult(), kXpErrTimeout);
    EXPECT_FALSE(second.IsLocked());
  }
  // One unit back from the first lock, none from the failed second.
  EXPECT_EQ(semaphore.GetCount(), 1);
}

}  // namespace
