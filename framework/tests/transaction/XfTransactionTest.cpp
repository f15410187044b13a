#include "framework/transaction/XfTransaction.h"

#include <chrono>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "framework/notify/XfPointer.h"
#include "framework/queue/XfMessageQueue.h"
#include "framework/tests/transaction/TransactionTestSupport.h"
#include "framework/transaction/XfTransactionManager.h"
#include "platform/sync/XpWaitClock.h"

namespace {

using framework_test::FakeItem;
using framework_test::NewItem;

constexpr uint32_t kCompletionCode = 77;

// Time that passes only when Wait sleeps; a hook runs after each sleep.
class SleepCounter : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    now_ += duration;
    ++sleeps;
    if (afterSleep) afterSleep(sleeps);
  }

  int sleeps = 0;
  std::function<void(int)> afterSleep;

 private:
  TimePoint now_{};
};

class TransactionFixture : public framework_test::TransactionTest {
 protected:
  // A transaction about an item of its own, made by the manager.
  XpSharedPtr<XfTransaction> Begin(std::vector<XpSharedPtr<FakeItem>> items) {
    XpSharedPtr<XfTransaction> transaction = manager_.Begin(NewItem(false, false));
    for (const XpSharedPtr<FakeItem>& item : items) {
      EXPECT_EQ(transaction->AddItem(item), kXpOk);
    }
    transaction->SetWaitClockForTest(clock_);
    return transaction;
  }
  // Queues a framework message on this thread that runs action.
  static void QueueMessage(std::function<void()> action) {
    ASSERT_TRUE(XfMessageQueue::ForCurrentThread()->Post(kXfFrameworkMessageFirst, action));
  }

  XfTransactionManager manager_;
  SleepCounter clock_;
};
using XfTransaction = TransactionFixture;

TEST_F(XfTransaction, WithoutItemsItIsCompleteAndPostsNothing) {
  const XpSharedPtr<::XfTransaction> transaction = Begin({});
  transaction->SetCompletionCode(kCompletionCode);

  EXPECT_TRUE(transaction->AreAllDone());
  EXPECT_TRUE(transaction->AreAllEnded());
  EXPECT_EQ(transaction->GetPercent(), 100);
  EXPECT_TRUE(transaction->CheckCompleted());
  EXPECT_EQ(transaction->Wait(0), kXpOk);
  EXPECT_EQ(clock_.sleeps, 0);
  EXPECT_TRUE(PostedWithCode(kCompletionCode).empty());
}

TEST_F(XfTransaction, CompletionIsPostedOnceWhenNotEveryItemSucceeded) {
  const XpSharedPtr<::XfTransaction> transaction =
      Begin({NewItem(true, true), NewItem(false, true), NewItem(true, true)});
  transaction->SetCompletionCode(kCompletionCode);

  EXPECT_TRUE(transaction->CheckCompleted());
  EXPECT_TRUE(transaction->CheckCompleted());

  const auto posted = PostedWithCode(kCompletionCode);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_TRUE(posted[0]->GetSubject() == XpSharedPtr<XfObject>(transaction->GetObject()));
  const XpSharedPtr<XfPointer> target(posted[0]->GetTarget());
  ASSERT_TRUE(target);
  EXPECT_EQ(target->As<::XfTransaction>(), transaction.Get());
  EXPECT_EQ(posted[0]->GetKind(), kXfKindInternal);
  EXPECT_TRUE(posted[0]->GetObject().IsNull());
  EXPECT_TRUE(posted[0]->DeliverToAll());
  EXPECT_FALSE(posted[0]->WaitsForReply());

  manager_.Sweep();
  EXPECT_TRUE(manager_.Find(transaction->GetId()).IsNull());
  EXPECT_EQ(PostedWithCode(kCompletionCode).size(), 1u);
}

TEST_F(XfTransaction, CompletionNeedsAllEndedACodeAndAFailure) {
  struct Case {
    const char* name;
    bool secondDone;
    bool secondEnded;
    uint32_t code;
    bool completed;
  };
  const Case cases[] = {
      {"one still running", false, false, kCompletionCode, false},
      {"all done", true, true, kCompletionCode, true},
      {"no completion code", false, true, ::XfTransaction::kNoCompletionCode, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const XpSharedPtr<::XfTransaction> transaction =
        Begin({NewItem(true, true), NewItem(c.secondDone, c.secondEnded)});
    transaction->SetCompletionCode(c.code);
    EXPECT_EQ(transaction->CheckCompleted(), c.completed);
  }
  EXPECT_TRUE(PostedWithCode(kCompletionCode).empty());
}

TEST_F(XfTransaction, LoopsStopAtTheFirstFailure) {
  const XpSharedPtr<FakeItem> first = NewItem(false, false);
  const XpSharedPtr<FakeItem> failing = NewItem(false, false);
  const XpSharedPtr<FakeItem> last = NewItem(false, false);
  failing->executeResult = kXpErrGeneric;
  const XpSharedPtr<::XfTransaction> transaction = Begin({first, failing, last});

  EXPECT_EQ(transaction->ExecuteAll(), kXpErrGeneric);
  EXPECT_EQ(first->executed, 1);
  EXPECT_EQ(failing->executed, 1);
  EXPECT_EQ(last->executed, 0);

  failing->executeResult = kXpOk;
  EXPECT_EQ(transaction->ExecuteAll(), kXpOk);
  EXPECT_EQ(last->executed, 1);

  const XpSharedPtr<FakeItem> done = NewItem(true, true);
  const XpSharedPtr<FakeItem> refusing = NewItem(false, true);
  const XpSharedPtr<FakeItem> after = NewItem(false, false);
  refusing->abortResult = kXpErrAccessDenied;
  const XpSharedPtr<::XfTransaction> aborting = Begin({done, refusing, after});

  EXPECT_EQ(aborting->AbortUndone(), kXpErrAccessDenied);
  EXPECT_EQ(done->aborted, 0);
  EXPECT_EQ(refusing->aborted, 1);
  EXPECT_EQ(after->aborted, 0);

  refusing->abortResult = kXpOk;
  EXPECT_EQ(aborting->AbortUndone(), kXpOk);
  EXPECT_EQ(done->aborted, 0);
  EXPECT_EQ(after->aborted, 1);
}

TEST_F(XfTransaction, PercentCountsItemsDoneOrEndedInWholeNumbers) {
  const XpSharedPtr<::XfTransaction> transaction =
      Begin({NewItem(true, false), NewItem(false, true), NewItem(false, false)});
  EXPECT_EQ(transaction->GetPercent(), 66);
  EXPECT_FALSE(transaction->AreAllDone());
  EXPECT_FALSE(transaction->AreAllEnded());
}

TEST_F(XfTransaction, ItemsAreKeptInOrder) {
  const XpSharedPtr<FakeItem> a = NewItem(false, false);
  const XpSharedPtr<FakeItem> b = NewItem(false, false);
  const XpSharedPtr<::XfTransaction> transaction = Begin({a, b});
  EXPECT_EQ(transaction->AddItem(XpSharedPtr<XfTransactionObject>()), kXpErrBadArgument);

  EXPECT_EQ(transaction->GetCount(), 2u);
  EXPECT_EQ(transaction->GetItem(0).Get(), a.Get());
  EXPECT_EQ(transaction->GetItem(1).Get(), b.Get());
  EXPECT_TRUE(transaction->GetItem(2).IsNull());
}

TEST_F(XfTransaction, WaitOfNoTimePumpsOnceAndSleepsOnce) {
  const XpSharedPtr<::XfTransaction> transaction = Begin({NewItem(false, false)});
  int ran = 0;
  QueueMessage([&ran] { ++ran; });
  QueueMessage([&ran] { ++ran; });

  EXPECT_EQ(transaction->Wait(0), kXpErrTimeout);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(clock_.sleeps, 1);
  EXPECT_TRUE(XfPumpMessage());
  EXPECT_EQ(ran, 2);
}

TEST_F(XfTransaction, WaitRunsUntilAMessageEndsTheLastItem) {
  const XpSharedPtr<FakeItem> item = NewItem(false, false);
  const XpSharedPtr<::XfTransaction> transaction = Begin({NewItem(true, true), item});
  QueueMessage([] {});
  QueueMessage([] {});
  QueueMessage([item] { item->ended = true; });

  EXPECT_EQ(transaction->Wait(::XfTransaction::kWaitWithoutLimit), kXpOk);
  EXPECT_EQ(clock_.sleeps, 2);
  EXPECT_FALSE(XfPumpMessage());
}

TEST_F(XfTransaction, WaitLimitsAreWholeSecondsWithoutOverflow) {
  struct Case {
    const char* name;
    uint32_t seconds;
    int endsAfterSleeps;  // 0: never
    XpResult expected;
    int sleeps;
  };
  const Case cases[] = {
      {"two seconds run out", 2, 0, kXpErrTimeout, 21},
      {"ends within the limit", 2, 20, kXpOk, 20},
      {"a limit past 32 bits of milliseconds", 4294968, 100, kXpOk, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SleepCounter clock;
    const XpSharedPtr<FakeItem> item = NewItem(false, false);
    const XpSharedPtr<::XfTransaction> transaction = Begin({item});
    transaction->SetWaitClockForTest(clock);
    clock.afterSleep = [&](int sleeps) {
      if (sleeps == c.endsAfterSleeps) item->ended = true;
    };
    EXPECT_EQ(transaction->Wait(c.seconds), c.expected);
    EXPECT_EQ(clock.sleeps, c.sleeps);
  }
}

TEST_F(XfTransaction, WaitReturnsAtOnceWhenAllHaveEnded) {
  const XpSharedPtr<::XfTransaction> transaction = Begin({NewItem(false, true)});
  int ran = 0;
  QueueMessage([&ran] { ++ran; });

  EXPECT_EQ(transaction->Wait(0), kXpOk);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(clock_.sleeps, 0);
  EXPECT_TRUE(XfPumpMessage());
}

}  // namespace
