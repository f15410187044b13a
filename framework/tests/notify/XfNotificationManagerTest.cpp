#include "framework/notify/XfNotificationManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/queue/XfMessageQueue.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using framework_test::CallLog;
using framework_test::kEventLimitSeconds;
using framework_test::MakePlain;
using framework_test::MakeProgress;
using framework_test::MakeQuestion;
using framework_test::NotificationPtr;
using framework_test::Probe;
using ::testing::ElementsAre;

using Manager = ::XfNotificationManager;

constexpr uint32_t kFenceCode = 99;

class NotificationManagerTest : public testsupport::HermeticTest {};
using XfNotificationManager = NotificationManagerTest;

// Waits until a state another thread reaches soon holds; bounded.
bool Eventually(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kEventLimitSeconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void MarkHandled(const NotificationPtr& notification) { notification->SetHandled(true); }

// A registered before B; B handles everything. A fence on the plain queue
// follows each notification, so once A has seen the fence, the plain
// queue's earlier delivery has ended.
TEST_F(XfNotificationManager, DeliversNewestFirstAndStopsOnlyOnThePlainQueue) {
  struct Case {
    const char* name;
    std::function<NotificationPtr()> make;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"plain, handled by B", [] { return MakePlain(1); }, {"B"}},
      {"progress reaches all", [] { return MakeProgress(1); }, {"B", "A"}},
      {"question reaches all", [] { return MakeQuestion(1); }, {"B", "A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallLog log;
    Probe a("A", &log);
    Probe b("B", &log);
    b.SetAction(MarkHandled);
    Manager manager;
    manager.AddObserver(&a);
    manager.AddObserver(&b);

    manager.Post(c.make());
    manager.Post(MakeProgress(kFenceCode));

    // A hears each notification last: once it has had its calls, both
    // deliveries have ended.
    const auto aCalls = std::count(c.expected.begin(), c.expected.end(), "A") + 1;
    ASSERT_TRUE(a.WaitCalls(static_cast<int>(aCalls)));
    EXPECT_EQ(log.NamesFor(1), c.expected);
    EXPECT_THAT(log.NamesFor(kFenceCode), ElementsAre("B", "A"));
  }
}

TEST_F(XfNotificationManager, PlainQueueKeepsPostingOrder) {
  CallLog log;
  Probe a("A", &log);
  Manager manager;
  manager.AddObserver(&a);

  for (uint32_t code = 1; code <= 5; ++code) manager.Post(MakePlain(code));

  ASSERT_TRUE(a.WaitCalls(5));
  EXPECT_THAT(log.Entries(), ElementsAre("A:1", "A:2", "A:3", "A:4", "A:5"));
}

TEST_F(XfNotificationManager, ObserverRemovedDuringDeliveryIsNotCalled) {
  CallLog log;
  Probe a("A", &log);
  Probe b("B", &log);
  Manager manager;
  b.SetAction([&](const NotificationPtr& n) {
    if (n->GetCode() == 1) manager.RemoveObserver(&a);
  });
  manager.AddObserver(&a);
  manager.AddObserver(&b);

  manager.Post(MakeProgress(1));
  manager.Post(MakeProgress(kFenceCode));

  ASSERT_TRUE(b.WaitCalls(2));
  EXPECT_THAT(log.Entries(), ElementsAre("B:1", "B:99"));
  EXPECT_EQ(a.CallCount(), 0);
  EXPECT_TRUE(manager.IsObserverAbsent(&a));
  EXPECT_FALSE(manager.IsObserverAbsent(&b));
}

TEST_F(XfNotificationManager, RemoveAndDeleteFromOwnCallbackDeletesAfterTheDelivery) {
  CallLog log;
  Probe a("A", &log);
  XpManualEvent bDestroyed(false);
  std::atomic<bool> destroyedWhenCallbackEnded{true};
  std::atomic<bool> destroyedWhenOlderObserverRan{true};
  Manager manager;
  auto* b = new Probe("B", &log);
  b->destroyed = &bDestroyed;
  b->SetAction([&](const NotificationPtr&) {
    manager.RemoveAndDeleteObserver(b);
    destroyedWhenCallbackEnded = bDestroyed.IsSignaled();
  });
  a.SetAction([&](const NotificationPtr&) {
    destroyedWhenOlderObserverRan = bDestroyed.IsSignaled();
  });
  manager.AddObserver(&a);
  manager.AddObserver(b);

  manager.Post(MakeProgress(1));

  ASSERT_TRUE(a.WaitCalls());
  EXPECT_EQ(bDestroyed.LockTimeout(kEventLimitSeconds), kXpOk);
  EXPECT_FALSE(destroyedWhenCallbackEnded);
  EXPECT_FALSE(destroyedWhenOlderObserverRan);
  EXPECT_THAT(log.Entries(), ElementsAre("B:1", "A:1"));
}

TEST_F(XfNotificationManager, RemoveAndDeleteOutsideADeliveryDeletesAtOnce) {
  XpManualEvent destroyed(false);
  Manager manager;
  auto* probe = new Probe("P", nullptr);
  probe->destroyed = &destroyed;
  manager.AddObserver(probe);

  manager.RemoveAndDeleteObserver(probe);

  EXPECT_TRUE(destroyed.IsSignaled());
  EXPECT_TRUE(manager.IsObserverAbsent(probe));
  manager.RemoveAndDeleteObserver(nullptr);
}

// RemoveObserver from another thread waits while the observer's callback
// runs; the remover deletes the observer as soon as it returns.
TEST_F(XfNotificationManager, RemoveObserverWaitsForARunningCallback) {
  XpManualEvent entered(false);
  XpManualEvent latch(false);
  std::atomic<bool> removerReturned{false};
  std::atomic<bool> returnedDuringCallback{true};
  Manager manager;
  auto* a = new Probe("A", nullptr);
  a->SetAction([&](const NotificationPtr&) {
    entered.SetSignaled(true);
    EXPECT_EQ(latch.LockTimeout(kEventLimitSeconds), kXpOk);
    returnedDuringCallback = removerReturned.load();
  });
  manager.AddObserver(a);
  manager.Post(MakePlain(1));
  ASSERT_EQ(entered.LockTimeout(kEventLimitSeconds), kXpOk);

  std::thread remover([&] {
    manager.RemoveObserver(a);
    removerReturned = true;
    delete a;
  });
  ASSERT_TRUE(Eventually([&] { return manager.IsObserverAbsent(a); }));
  EXPECT_FALSE(removerReturned);
  latch.SetSignaled(true);
  remover.join();

  EXPECT_TRUE(removerReturned);
  EXPECT_FALSE(returnedDuringCallback);
}

TEST_F(XfNotificationManager, ObserverRemovingItselfInItsCallbackDoesNotWait) {
  CallLog log;
  Probe a("A", &log);
  Probe fence("F", &log);
  Manager manager;
  a.SetAction([&](const NotificationPtr&) { manager.RemoveObserver(&a); });
  manager.AddObserver(&a);
  manager.AddObserver(&fence);

  manager.Post(MakePlain(1));
  manager.Post(MakePlain(2));
  manager.Post(MakePlain(kFenceCode));

  ASSERT_TRUE(fence.WaitCalls(3));
  EXPECT_TRUE(manager.IsObserverAbsent(&a));
  EXPECT_THAT(log.Entries(), ElementsAre("F:1", "A:1", "F:2", "F:99"));
}

// The plain dispatcher is held inside an observer while a question goes
// through the reply dispatcher and is answered.
TEST_F(XfNotificationManager, DispatchersRunInParallel) {
  XpManualEvent latch(false);
  XpManualEvent plainEntered(false);
  Probe a("A", nullptr);
  a.SetAction([&](const NotificationPtr& n) {
    if (n->WaitsForReply()) {
      n->SetResult(7);
      return;
    }
    plainEntered.SetSignaled(true);
    EXPECT_EQ(latch.LockTimeout(kEventLimitSeconds), kXpOk);
  });
  Manager manager;
  manager.AddObserver(&a);
  manager.Post(MakePlain(1));
  ASSERT_EQ(plainEntered.LockTimeout(kEventLimitSeconds), kXpOk);

  const NotificationPtr question = MakeQuestion(2);
  manager.Post(question);

  EXPECT_EQ(question->WaitForResult(kEventLimitSeconds), kXpOk);
  EXPECT_EQ(question->GetResult(), 7u);
  latch.SetSignaled(true);
}

// The test's thread plays the user-interface thread: it waits for the
// answer while an observer on the reply dispatcher has the answer given by
// a closure posted to that thread's queue.
TEST_F(XfNotificationManager, PumpedWaitRunsTheAnswerOnTheWaitingThread) {
  const XpSharedPtr<XfMessageQueue> uiQueue = XfMessageQueue::ForCurrentThread();
  ASSERT_TRUE(uiQueue);
  std::atomic<bool> answeredOnUiThread{false};
  const std::thread::id uiThread = std::this_thread::get_id();
  Probe a("A", nullptr);
  a.SetAction([&](const NotificationPtr& n) {
    uiQueue->Post(kXfFrameworkMessageFirst, [&, n] {
      answeredOnUiThread = std::this_thread::get_id() == uiThread;
      n->SetResult(6);
    });
  });
  Manager manager;
  manager.AddObserver(&a);
  const NotificationPtr question = MakeQuestion(1);

  manager.Post(question);

  EXPECT_EQ(question->WaitForResult(XfNotification::kWaitPumping), kXpOk);
  EXPECT_EQ(question->GetResult(), 6u);
  EXPECT_TRUE(answeredOnUiThread);
}

TEST_F(XfNotificationManager, DestructionDropsQueuedNotificationsUnread) {
  CallLog log;
  XpManualEvent latch(false);
  XpManualEvent entered(false);
  Probe a("A", &log);
  a.SetAction([&](const NotificationPtr&) {
    entered.SetSignaled(true);
    EXPECT_EQ(latch.LockTimeout(kEventLimitSeconds), kXpOk);
  });
  auto manager = std::make_unique<Manager>();
  manager->AddObserver(&a);
  manager->Post(MakePlain(1));
  ASSERT_EQ(entered.LockTimeout(kEventLimitSeconds), kXpOk);
  std::vector<NotificationPtr> queued = {MakePlain(2), MakePlain(3), MakePlain(4)};
  for (const NotificationPtr& n : queued) manager->Post(n);
  manager->SetStopHookForTest([&] { latch.SetSignaled(true); });

  manager.reset();

  EXPECT_THAT(log.Entries(), ElementsAre("A:1"));
  for (const NotificationPtr& n : queued) EXPECT_EQ(n.UseCountForTest(), 1);
}

TEST_F(XfNotificationManager, NullNotificationIsSkipped) {
  CallLog log;
  Probe a("A", &log);
  Manager manager;
  manager.AddObserver(&a);

  manager.Post(NotificationPtr());
  manager.Post(MakePlain(1));

  ASSERT_TRUE(a.WaitCalls());
  EXPECT_THAT(log.Entries(), ElementsAre("A:1"));
}

TEST_F(XfNotificationManager, MembershipFollowsAddAndRemove) {
  Probe a("A", nullptr);
  Manager manager;
  EXPECT_TRUE(manager.IsObserverAbsent(&a));
  manager.AddObserver(&a);
  EXPECT_FALSE(manager.IsObserverAbsent(&a));
  manager.RemoveObserver(&a);
  EXPECT_TRUE(manager.IsObserverAbsent(&a));
  manager.RemoveObserver(&a);
  manager.AddObserver(nullptr);
  EXPECT_TRUE(manager.IsObserverAbsent(nullptr));
}

}  // namespace
