#include "framework/queue/XfMessageQueue.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using ::testing::ElementsAre;

constexpr uint32_t kOtherMessage = 0x9400;

class MessageQueueTest : public testsupport::HermeticTest {};
using XfMessageQueue = MessageQueueTest;
using Queue = ::XfMessageQueue;
using QueuePtr = XpSharedPtr<Queue>;

// Runs body on a thread of its own, so each test starts without a queue.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST_F(XfMessageQueue, PumpMessageRunsOnlyFrameworkItems) {
  OnFreshThread([] {
    std::vector<std::string> ran;
    const QueuePtr queue = Queue::ForCurrentThread();
    ASSERT_TRUE(queue);
    queue->Post(kOtherMessage, [&] { ran.push_back("other"); });
    queue->Post(kXfFrameworkMessageFirst, [&] { ran.push_back("framework"); });

    EXPECT_TRUE(XfPumpMessage());
    EXPECT_FALSE(XfPumpMessage());

    EXPECT_THAT(ran, ElementsAre("framework"));
    EXPECT_TRUE(queue->HasItem(kOtherMessage, kOtherMessage));
  });
}

TEST_F(XfMessageQueue, ThreadWithoutAQueueHasNothingToPump) {
  OnFreshThread([] {
    EXPECT_FALSE(Queue::ExistingForCurrentThread());
    EXPECT_FALSE(XfPumpMessage());
    EXPECT_FALSE(Queue::ExistingForCurrentThread());
  });
}

TEST_F(XfMessageQueue, RunsTheOldestItemInRangeFirst) {
  OnFreshThread([] {
    std::vector<uint32_t> ran;
    const QueuePtr queue = Queue::ForCurrentThread();
    for (const uint32_t number : {kXfFrameworkMessageLast, kOtherMessage, kXfFrameworkMessageFirst,
                                  kXfFrameworkMessageLast + 1}) {
      queue->Post(number, [&ran, number] { ran.push_back(number); });
    }

    while (XfPumpMessage()) {
    }

    EXPECT_THAT(ran, ElementsAre(kXfFrameworkMessageLast, kXfFrameworkMessageFirst));
    EXPECT_TRUE(queue->PumpOne(0, 0xFFFFFFFF));
    EXPECT_TRUE(queue->PumpOne(0, 0xFFFFFFFF));
    EXPECT_FALSE(queue->PumpOne(0, 0xFFFFFFFF));
    EXPECT_THAT(ran, ElementsAre(kXfFrameworkMessageLast, kXfFrameworkMessageFirst, kOtherMessage,
                                 kXfFrameworkMessageLast + 1));
  });
}

TEST_F(XfMessageQueue, OnlyTheOwningThreadRunsItems) {
  QueuePtr queue;
  std::atomic<int> runs{0};
  OnFreshThread([&] {
    queue = Queue::ForCurrentThread();
    EXPECT_TRUE(Queue::ForCurrentThread() == queue);
    queue->Post(kXfFrameworkMessageFirst, [&] { ++runs; });
    // The owner is still alive: another thread may post but not run.
    std::thread other([&] {
      EXPECT_TRUE(queue->Post(kXfFrameworkMessageFirst, [&] { ++runs; }));
      EXPECT_FALSE(queue->PumpOne(kXfFrameworkMessageFirst, kXfFrameworkMessageLast));
    });
    other.join();
    EXPECT_EQ(runs.load(), 0);
    EXPECT_TRUE(XfPumpMessage());
    EXPECT_TRUE(XfPumpMessage());
    EXPECT_EQ(runs.load(), 2);
  });
}

TEST_F(XfMessageQueue, EndedThreadDropsItsItemsAndRefusesPosts) {
  QueuePtr queue;
  auto token = std::make_shared<int>(0);
  OnFreshThread([&] {
    queue = Queue::ForCurrentThread();
    queue->Post(kXfFrameworkMessageFirst, [token] {});
  });

  EXPECT_TRUE(queue->IsClosed());
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_FALSE(queue->Post(kXfFrameworkMessageFirst, [token] {}));
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_FALSE(queue->HasItem(0, 0xFFFFFFFF));
}

TEST_F(XfMessageQueue, PostsFromManyThreadsAllArriveInEachPostersOrder) {
  constexpr int kPosters = 4;
  constexpr int kPerPoster = 50;
  const QueuePtr queue = Queue::ForCurrentThread();
  while (queue->PumpOne(0, 0xFFFFFFFF)) {
  }
  std::vector<std::vector<int>> seen(kPosters);
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&, p] {
      for (int i = 0; i < kPerPoster; ++i) {
        queue->Post(kXfFrameworkMessageFirst + static_cast<uint32_t>(p),
                    [&seen, p, i] { seen[p].push_back(i); });
      }
    });
  }
  for (std::thread& poster : posters) poster.join();

  int ran = 0;
  while (XfPumpMessage()) ++ran;

  EXPECT_EQ(ran, kPosters * kPerPoster);
  for (const std::vector<int>& fromOne : seen) {
    ASSERT_EQ(fromOne.size(), static_cast<size_t>(kPerPoster));
    for (int i = 0; i < kPerPoster; ++i) EXPECT_EQ(fromOne[i], i);
  }
}

TEST_F(XfMessageQueue, WaitForItemWakesOnAPost) {
  const QueuePtr queue = Queue::ForCurrentThread();
  while (queue->PumpOne(0, 0xFFFFFFFF)) {
  }
  EXPECT_FALSE(queue->WaitForItem(XpDeadline::AfterSeconds(0)));

  std::thread poster([&] { queue->Post(kOtherMessage, nullptr); });
  EXPECT_TRUE(queue->WaitForItem(XpDeadline::Infinite()));
  poster.join();

  EXPECT_TRUE(queue->PumpOne(kOtherMessage, kOtherMessage));
  EXPECT_FALSE(queue->HasItem(0, 0xFFFFFFFF));
}

}  // namespace
