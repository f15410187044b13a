#include "framework/threadgroup/XfPriorityThreadGroupManager.h"

#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

#include "framework/threadgroup/XfPriorityThreadGroup.h"
#include "platform/sync/XpManualEvent.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr int kNoSuchPriority = 99;
// The nice values behind the logical levels these tests reach. Each change
// here only lowers a thread, which the kernel allows without privileges.
constexpr int kNiceNormal = 0;
constexpr int kNiceBelowNormal = 5;
constexpr int kNiceLowest = 10;

uint32_t SleepUntilStopped(void* stop) {
  // A failed wait only ends the thread early, which the test then sees.
  (void)static_cast<XpManualEvent*>(stop)->LockTimeout(kXpWaitForever);
  return 0;
}

// The kernel's nice value of a thread.
int NiceOf(const XpThread* thread) {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread->GetThreadId()));
  return errno == 0 ? nice : -100;
}

std::atomic<int> gRefusedCalls{0};
int RefuseEveryChange(uint32_t /*threadId*/, int /*nice*/) {
  ++gRefusedCalls;
  return EPERM;
}

// Worker threads that sleep until the test ends.
class ThreadGroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    errno = 0;
    const int ownNice = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0 || ownNice != kNiceNormal) {
      GTEST_SKIP() << "needs a test process at nice 0";
    }
  }
  void TearDown() override {
    XpThread::SetNiceSetterForTest(nullptr);
    stop_.SetSignaled(true);
    for (XpThread* thread : threads_) XpThread::Join(thread);
  }

  XpThread* NewThread() {
    XpThread* thread = XpThread::Create(&SleepUntilStopped, &stop_);
    EXPECT_NE(thread, nullptr);
    if (thread != nullptr) threads_.push_back(thread);
    return thread;
  }

  // The logical level and the kernel's nice value match.
  static void ExpectLevel(XpThread* thread, int level, int nice) {
    EXPECT_EQ(thread->GetPriority(), level);
    EXPECT_EQ(NiceOf(thread), nice);
  }

  XfPriorityThreadGroupManager manager_;

 private:
  XpManualEvent stop_{false};
  std::vector<XpThread*> threads_;
};
using XfPriorityThreadGroupManager = ThreadGroupTest;

TEST_F(XfPriorityThreadGroupManager, UnknownPriorityLowersEveryGroup) {
  XfPriorityThreadGroup normal(kXpThreadPriorityNormal);
  XfPriorityThreadGroup lower(kXpThreadPriorityBelowNormal);
  XpThread* a = NewThread();
  XpThread* b = NewThread();
  XpThread* c = NewThread();
  ASSERT_FALSE(HasFailure());
  normal.AddThread(a);
  normal.AddThread(b);
  lower.AddThread(c);
  manager_.AddGroup(&normal);
  manager_.AddGroup(&lower);

  EXPECT_EQ(manager_.ActivatePriority(kNoSuchPriority), kXpOk);
  EXPECT_FALSE(normal.IsActive());
  EXPECT_FALSE(lower.IsActive());
  for (XpThread* thread : {a, b, c}) {
    ExpectLevel(thread, kXpThreadPriorityBelowNormal, kNiceBelowNormal);
  }
}

TEST_F(XfPriorityThreadGroupManager, ActivateGroupRaisesOnlyThatGroup) {
  XfPriorityThreadGroup normal(kXpThreadPriorityNormal);
  XfPriorityThreadGroup lowest(kXpThreadPriorityLowest);
  XpThread* a = NewThread();
  XpThread* b = NewThread();
  ASSERT_FALSE(HasFailure());
  normal.AddThread(a);
  lowest.AddThread(b);
  manager_.AddGroup(&normal);
  manager_.AddGroup(&lowest);

  EXPECT_EQ(manager_.ActivateGroup(&normal), kXpOk);
  EXPECT_TRUE(normal.IsActive());
  EXPECT_FALSE(lowest.IsActive());
  ExpectLevel(a, kXpThreadPriorityNormal, kNiceNormal);
  ExpectLevel(b, kXpThreadPriorityBelowNormal, kNiceBelowNormal);

  EXPECT_EQ(manager_.ActivateGroup(&lowest), kXpOk);
  EXPECT_FALSE(normal.IsActive());
  EXPECT_TRUE(lowest.IsActive());
  ExpectLevel(a, kXpThreadPriorityBelowNormal, kNiceBelowNormal);
  ExpectLevel(b, kXpThreadPriorityLowest, kNiceLowest);

  EXPECT_EQ(manager_.ActivatePriority(kXpThreadPriorityLowest), kXpOk);
  ExpectLevel(a, kXpThreadPriorityBelowNormal, kNiceBelowNormal);
  ExpectLevel(b, kXpThreadPriorityLowest, kNiceLowest);
}

TEST_F(XfPriorityThreadGroupManager, SetActiveToTheCurrentValueChangesNothing) {
  XfPriorityThreadGroup lowest(kXpThreadPriorityLowest);
  XpThread* a = NewThread();
  ASSERT_FALSE(HasFailure());
  lowest.AddThread(a);

  EXPECT_EQ(lowest.SetActive(true), kXpOk);
  ExpectLevel(a, kXpThreadPriorityNormal, kNiceNormal);

  EXPECT_EQ(lowest.SetActive(false), kXpOk);
  EXPECT_EQ(lowest.SetActive(false), kXpOk);
  ExpectLevel(a, kXpThreadPriorityBelowNormal, kNiceBelowNormal);
}

TEST_F(XfPriorityThreadGroupManager, RefusedChangesAreResultCodes) {
  XfPriorityThreadGroup first(kXpThreadPriorityNormal);
  XfPriorityThreadGroup second(kXpThreadPriorityNormal);
  XpThread* a = NewThread();
  XpThread* b = NewThread();
  XpThread* c = NewThread();
  ASSERT_FALSE(HasFailure());
  first.AddThread(a);
  first.AddThread(b);
  second.AddThread(c);
  manager_.AddGroup(&first);
  manager_.AddGroup(&second);
  gRefusedCalls = 0;
  XpThread::SetNiceSetterForTest(&RefuseEveryChange);

  EXPECT_EQ(manager_.ActivatePriority(kNoSuchPriority), kXpErrPriority);
  EXPECT_EQ(gRefusedCalls, 2) << "each group stops at its first refusal";
  EXPECT_FALSE(first.IsActive());
  EXPECT_FALSE(second.IsActive());
  for (XpThread* thread : {a, b, c}) {
    ExpectLevel(thread, kXpThreadPriorityNormal, kNiceNormal);
  }
}

TEST_F(XfPriorityThreadGroupManager, GroupsAndThreadsAreListedByPointer) {
  XfPriorityThreadGroup group;
  XpThread* a = NewThread();
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(group.GetPriority(), kXpThreadPriorityNormal);
  group.AddThread(a);
  group.AddThread(nullptr);
  EXPECT_EQ(group.GetThreadCount(), 1u);
  group.RemoveThread(a);
  EXPECT_EQ(group.GetThreadCount(), 0u);

  manager_.AddGroup(&group);
  manager_.AddGroup(&group);
  manager_.AddGroup(nullptr);
  EXPECT_EQ(manager_.GetGroupCount(), 2u);
  manager_.RemoveGroup(&group);
  EXPECT_EQ(manager_.GetGroupCount(), 1u);
  manager_.Clear();
  EXPECT_EQ(manager_.GetGroupCount(), 0u);
}

}  // namespace
