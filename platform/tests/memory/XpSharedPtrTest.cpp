#include "platform/memory/XpSharedPtr.h"

#include <algorithm>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// What was deleted, in order: objects log their name, counters "counter".
std::mutex eventsMutex;
std::vector<std::string> events;

void LogEvent(const std::string& event) {
  std::lock_guard<std::mutex> lock(eventsMutex);
  events.push_back(event);
}

void LogCounterDeleted() { LogEvent("counter"); }

// Records deletions for the life of one test.
class DeletionLog {
 public:
  DeletionLog() {
    Clear();
    XpSharedPtrDetail::SetCounterDeletedHookForTest(&LogCounterDeleted);
  }
  ~DeletionLog() { XpSharedPtrDetail::SetCounterDeletedHookForTest(nullptr); }
  DeletionLog(const DeletionLog&) = delete;
  DeletionLog& operator=(const DeletionLog&) = delete;

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(eventsMutex);
    return events;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.clear();
  }
};

class Tracked {
 public:
  virtual ~Tracked() { LogEvent("object"); }
};

class Folder : public Tracked {
 public:
  ~Folder() override { LogEvent("folder"); }
};

class File : public Tracked {
 public:
  ~File() override { LogEvent("file"); }
};

// Without a virtual destructor: only deleting through the type it was
// created as runs both destructors.
struct Plain {
  ~Plain() { LogEvent("plain"); }
};

struct PlainDerived : Plain {
  ~PlainDerived() { LogEvent("plain derived"); }
};

TEST(XpSharedPtr, LastOfTwoCopiesDeletesTheObjectThenTheCounter) {
  DeletionLog log;
  {
    XpSharedPtr<Tracked> first(new Tracked);
    {
      XpSharedPtr<Tracked> second(first);
      EXPECT_EQ(first.UseCountForTest(), 2);
      EXPECT_TRUE(second.SharesCounterForTest(first));
    }
    EXPECT_THAT(log.Events(), IsEmpty());
    EXPECT_EQ(first.UseCountForTest(), 1);
    EXPECT_FALSE(first.IsNull());
  }
  EXPECT_THAT(log.Events(), ElementsAre("object", "counter"));
}

TEST(XpSharedPtr, AssignmentTakesTheNewObjectBeforeReleasingTheOld) {
  DeletionLog log;
  XpSharedPtr<Tracked> a(new Folder);
  XpSharedPtr<Tracked> b(new File);
  XpSharedPtr<Tracked> keep(b);
  a = b;
  EXPECT_THAT(log.Events(), ElementsAre("folder", "object", "counter"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(b.UseCountForTest(), 3);
}

TEST(XpSharedPtr, SelfAssignmentKeepsTheCounts) {
  DeletionLog log;
  XpSharedPtr<Tracked> only(new Tracked);
  const XpSharedPtr<Tracked>& alias = only;
  only = alias;
  EXPECT_EQ(only.UseCountForTest(), 1);
  EXPECT_FALSE(only.IsNull());

  XpSharedPtr<Tracked> copy(only);
  copy = only;
  only = alias;
  EXPECT_EQ(only.UseCountForTest(), 2);

  XpSharedPtr<Tracked>& same = only;
  only = std::move(same);
  EXPECT_EQ(only.UseCountForTest(), 2);
  EXPECT_FALSE(only.IsNull());
  EXPECT_THAT(log.Events(), IsEmpty());
}

TEST(XpSharedPtr, EmptyPointerCopiesAndDestroysOnlyItsCounter) {
  DeletionLog log;
  {
    XpSharedPtr<Tracked> empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_EQ(empty.UseCountForTest(), 1);
    XpSharedPtr<Tracked> copy(empty);
    XpSharedPtr<Tracked> assigned(new Tracked);
    assigned = empty;
    EXPECT_EQ(empty.UseCountForTest(), 3);
    EXPECT_TRUE(assigned.IsNull());
    log.Clear();
  }
  EXPECT_THAT(log.Events(), ElementsAre("counter"));
}

TEST(XpSharedPtr, FillingThreeCopiesRaisesTheUseCountByThree) {
  DeletionLog log;
  XpSharedPtr<Tracked> source(new Tracked);
  std::vector<XpSharedPtr<Tracked>> filled(3, source);
  EXPECT_EQ(source.UseCountForTest(), 4);
  for (const XpSharedPtr<Tracked>& copy : filled) {
    EXPECT_EQ(copy, source);
  }
  filled.resize(5, source);
  EXPECT_EQ(source.UseCountForTest(), 6);
  filled.clear();
  EXPECT_EQ(source.UseCountForTest(), 1);
  EXPECT_THAT(log.Events(), IsEmpty());
}

TEST(XpSharedPtr, ResetDropsTheObjectAndTakesAFreshCounter) {
  DeletionLog log;
  XpSharedPtr<Tracked> first(new Tracked);
  XpSharedPtr<Tracked> second(first);
  first.Reset();
  EXPECT_TRUE(first.IsNull());
  EXPECT_EQ(first.UseCountForTest(), 1);
  EXPECT_FALSE(first.SharesCounterForTest(second));
  EXPECT_EQ(second.UseCountForTest(), 1);
  EXPECT_THAT(log.Events(), IsEmpty());
  second.Reset();
  EXPECT_THAT(log.Events(), ElementsAre("object", "counter"));
}

TEST(XpSharedPtr, MoveHandsOverWithoutCounting) {
  DeletionLog log;
  XpSharedPtr<Tracked> source(new Tracked);
  Tracked* object = source.Get();
  XpSharedPtr<Tracked> moved(std::move(source));
  EXPECT_EQ(moved.Get(), object);
  EXPECT_EQ(moved.UseCountForTest(), 1);
  EXPECT_TRUE(source.IsNull());  // NOLINT(bugprone-use-after-move)

  XpSharedPtr<Tracked> target(new File);
  target = std::move(moved);
  EXPECT_THAT(log.Events(), ElementsAre("file", "object", "counter"));
  EXPECT_EQ(target.Get(), object);
  EXPECT_EQ(target.UseCountForTest(), 1);

  source = target;  // a moved-from pointer takes a new object
  EXPECT_EQ(target.UseCountForTest(), 2);
}

TEST(XpSharedPtr, CheckedDowncastOfAnotherClassIsNullWithItsOwnCounter) {
  DeletionLog log;
  XpSharedPtr<Tracked> file(new File);
  {
    XpSharedPtr<Folder> folder(file);
    EXPECT_TRUE(folder.IsNull());
    EXPECT_EQ(folder.UseCountForTest(), 1);
    EXPECT_EQ(file.UseCountForTest(), 1);
    XpSharedPtr<Folder> copy(folder);
    EXPECT_EQ(folder.UseCountForTest(), 2);
    EXPECT_EQ(file.UseCountForTest(), 1);
  }
  EXPECT_THAT(log.Events(), ElementsAre("counter"));
  EXPECT_FALSE(file.IsNull());
}

TEST(XpSharedPtr, CheckedDowncastOfTheRightClassSharesTheCounter) {
  DeletionLog log;
  XpSharedPtr<Folder> folder;
  {
    XpSharedPtr<Tracked> object(new Folder);
    folder = XpSharedPtr<Folder>(object);
    log.Clear();  // the empty pointer's own counter
    EXPECT_EQ(static_cast<Tracked*>(folder.Get()), object.Get());
    EXPECT_EQ(object.UseCountForTest(), 2);
    EXPECT_EQ(folder.UseCountForTest(), 2);
  }
  EXPECT_THAT(log.Events(), IsEmpty());
  folder.Reset();
  EXPECT_THAT(log.Events(), ElementsAre("folder", "object", "counter"));
}

TEST(XpSharedPtr, CheckedDowncastOfAnEmptyPointerIsEmpty) {
  XpSharedPtr<Tracked> empty;
  XpSharedPtr<Folder> folder(empty);
  EXPECT_TRUE(folder.IsNull());
  EXPECT_EQ(folder.UseCountForTest(), 1);
  EXPECT_EQ(empty.UseCountForTest(), 1);
}

TEST(XpSharedPtr, UpcastSharesTheCounterAndDeletesAsCreated) {
  DeletionLog log;
  {
    XpSharedPtr<Folder> folder(new Folder);
    XpSharedPtr<Tracked> object = folder;
    EXPECT_EQ(folder.UseCountForTest(), 2);
    XpSharedPtr<Tracked> assigned;
    assigned = folder;
    EXPECT_EQ(folder.UseCountForTest(), 3);
    log.Clear();
  }
  EXPECT_THAT(log.Events(), ElementsAre("folder", "object", "counter"));

  log.Clear();
  {
    XpSharedPtr<Plain> base;
    {
      XpSharedPtr<PlainDerived> derived(new PlainDerived);
      base = derived;
    }
    log.Clear();
  }
  EXPECT_THAT(log.Events(), ElementsAre("plain derived", "plain", "counter"));

  log.Clear();
  { XpSharedPtr<Plain> base(new PlainDerived); }
  EXPECT_THAT(log.Events(), ElementsAre("plain derived", "plain", "counter"));
}

TEST(XpSharedPtr, ComparesByObject) {
  XpSharedPtr<Tracked> a(new Tracked);
  XpSharedPtr<Tracked> copy(a);
  XpSharedPtr<Tracked> b(new Tracked);
  XpSharedPtr<Tracked> empty1;
  XpSharedPtr<Tracked> empty2;
  EXPECT_TRUE(a == copy);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(empty1 == empty2);
  EXPECT_TRUE(a != empty1);
}

TEST(XpSharedPtr, FailedCounterAllocationDeletesTheObject) {
  DeletionLog log;
  XpSharedPtrDetail::FailNextCounterAllocationForTest();
  XpSharedPtr<Tracked> broken(new Tracked);
  EXPECT_THAT(log.Events(), ElementsAre("object"));
  EXPECT_TRUE(broken.IsNull());
  EXPECT_EQ(broken.UseCountForTest(), 0);

  // Only the next allocation fails.
  XpSharedPtr<Tracked> good(new Tracked);
  EXPECT_EQ(good.UseCountForTest(), 1);
  log.Clear();

  // No counter is touched: copy, assignment both ways, reset, destruction.
  {
    XpSharedPtr<Tracked> copy(broken);
    EXPECT_TRUE(copy.IsNull());
    EXPECT_EQ(copy.UseCountForTest(), 0);
    XpSharedPtr<Tracked> target(broken);
    target = good;
    EXPECT_EQ(good.UseCountForTest(), 2);
    target = broken;
    EXPECT_EQ(good.UseCountForTest(), 1);
    XpSharedPtr<Folder> downcast(broken);
    EXPECT_TRUE(downcast.IsNull());
    copy.Reset();
    EXPECT_EQ(copy.UseCountForTest(), 1);
  }
  EXPECT_THAT(log.Events(), ElementsAre("counter", "counter"));
  EXPECT_EQ(good.UseCountForTest(), 1);
}

TEST(XpSharedPtr, FailedCounterAllocationOnResetLeavesAnEmptyPointer) {
  DeletionLog log;
  XpSharedPtr<Tracked> pointer(new Tracked);
  XpSharedPtrDetail::FailNextCounterAllocationForTest();
  pointer.Reset();
  EXPECT_THAT(log.Events(), ElementsAre("object", "counter"));
  EXPECT_TRUE(pointer.IsNull());
  EXPECT_EQ(pointer.UseCountForTest(), 0);
  XpSharedPtr<Tracked> copy(pointer);
  EXPECT_TRUE(copy.IsNull());
}

TEST(XpSharedPtr, ConcurrentCopiesDeleteTheObjectExactlyOnce) {
  constexpr int kThreads = 8;
  constexpr int kCopiesPerThread = 100000;
  DeletionLog log;
  std::latch start(kThreads + 1);
  std::vector<std::thread> threads;
  {
    XpSharedPtr<Tracked> shared(new Folder);
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&start, held = shared]() mutable {
        start.arrive_and_wait();
        XpSharedPtr<Tracked> kept;
        for (int n = 0; n < kCopiesPerThread; ++n) {
          XpSharedPtr<Tracked> copy(held);
          kept = copy;
        }
      });
    }
    EXPECT_EQ(shared.UseCountForTest(), kThreads + 1);
    log.Clear();
  }
  // The main thread let go first: the last worker deletes the object.
  start.arrive_and_wait();
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::vector<std::string> deleted = log.Events();
  EXPECT_EQ(std::count(deleted.begin(), deleted.end(), "folder"), 1);
  EXPECT_EQ(std::count(deleted.begin(), deleted.end(), "object"), 1);
  // The object's counter and each worker's own empty one.
  EXPECT_EQ(std::count(deleted.begin(), deleted.end(), "counter"), kThreads + 1);
}

}  // namespace
