#include "platform/thread/XpThread.h"

#include <pthread.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cfenv>
#include <cstdint>
#include <vector>

#include "platform/tests/sync/Eventually.h"

namespace {

uint32_t ReturnSeven(void*) { return 7; }

// How far below the top of its stack a thread function's frame sits.
uintptr_t DepthOfThisFrame() {
  pthread_attr_t attributes;
  if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) return 0;
  void* base = nullptr;
  size_t size = 0;
  ::pthread_attr_getstack(&attributes, &base, &size);
  ::pthread_attr_destroy(&attributes);
  volatile char here = 0;
  return reinterpret_cast<uintptr_t>(base) + size - reinterpret_cast<uintptr_t>(&here);
}

uint32_t RecordDepth(void* out) {
  *static_cast<uintptr_t*>(out) = DepthOfThisFrame();
  return 0;
}

struct Start {
  uint32_t counter;
  uint32_t offset;
};
std::vector<Start> gStarts;

void RecordStart(uint32_t counter, uint32_t offset) { gStarts.push_back({counter, offset}); }

TEST(XpThread, EachStartMovesTheStackByTheNextSlot) {
  gStarts.clear();
  XpThread::ResetStartCounterForTest();
  XpThread::SetStartHookForTest(&RecordStart);
  std::vector<uintptr_t> depths(9);
  for (uintptr_t& depth : depths) {
    XpThread* thread = XpThread::Create(&RecordDepth, &depth);
    ASSERT_NE(thread, nullptr);
    XpThread::Join(thread);
  }
  XpThread::SetStartHookForTest(nullptr);

  ASSERT_EQ(gStarts.size(), 9u);
  const uint32_t offsets[] = {2048, 4096, 6144, 8192, 10240, 12288, 14336, 0, 2048};
  for (uint32_t i = 0; i < 9; ++i) {
    EXPECT_EQ(gStarts[i].counter, i + 1);
    EXPECT_EQ(gStarts[i].offset, offsets[i]);
    // The eighth thread ran without offset; the others sit that much deeper.
    EXPECT_GE(depths[i] - depths[7], offsets[i]) << i;
    EXPECT_LT(depths[i] - depths[7], offsets[i] + 256) << i;
  }
}

TEST(XpThread, JoinReturnsTheExitCode) {
  XpThread* thread = XpThread::Create(&ReturnSeven, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(thread->GetThreadId(), 0u);
  EXPECT_FALSE(thread->IsCurrentThread());
  EXPECT_TRUE(thread->IsSameThread(*thread));
  EXPECT_EQ(XpThread::Join(thread), 7u);
}

TEST(XpThread, JoinRefusesNullAndTheThreadItself) {
  EXPECT_EQ(XpThread::Join(nullptr), kXpErrInvalidHandle);
  EXPECT_EQ(XpThread::Create(nullptr, nullptr), nullptr);

  struct Shared {
    std::atomic<XpThread*> self{nullptr};
    uint32_t selfJoin = 0;
    uint32_t seenId = 0;
    bool isCurrent = false;
  } shared;
  XpThread* thread = XpThread::Create(
      [](void* raw) -> uint32_t {
        auto* s = static_cast<Shared*>(raw);
        XpThread* self = nullptr;
        while ((self = s->self.load()) == nullptr) XpThread::Yield();
        s->selfJoin = XpThread::Join(self);
        s->isCurrent = self->IsCurrentThread();
        s->seenId = XpThread::CurrentThreadId();
        return 7;
      },
      &shared);
  ASSERT_NE(thread, nullptr);
  shared.self = thread;
  EXPECT_EQ(XpThread::Join(thread), 7u);  // the object stayed valid
  EXPECT_EQ(shared.selfJoin, kXpErrJoinSelf);
  EXPECT_TRUE(shared.isCurrent);
  EXPECT_NE(shared.seenId, XpThread::CurrentThreadId());
}

TEST(XpThread, DeletedWithoutJoinTheThreadRunsOn) {
  static std::atomic<bool> go{false};
  static std::atomic<bool> finished{false};
  go = false;
  finished = false;
  XpThread* thread = XpThread::Create(
      [](void*) -> uint32_t {
        while (!go) XpThread::Yield();
        finished = true;
        return 0;
      },
      nullptr);
  ASSERT_NE(thread, nullptr);
  delete thread;
  go = true;
  EXPECT_TRUE(synctest::Eventually([] { return finished.load(); }));
}

TEST(XpThread, NewThreadsTruncateCastsAndRoundToNearest) {
  struct Seen {
    int positive = 0;
    int negative = 0;
    int mode = -1;
  } seen;
  XpThread* thread = XpThread::Create(
      [](void* raw) -> uint32_t {
        auto* s = static_cast<Seen*>(raw);
        volatile double positive = 2.7;
        volatile double negative = -2.7;
        s->positive = static_cast<int>(positive);
        s->negative = static_cast<int>(negative);
        s->mode = std::fegetround();
        return 0;
      },
      &seen);
  ASSERT_NE(thread, nullptr);
  XpThread::Join(thread);
  EXPECT_EQ(seen.positive, 2);
  EXPECT_EQ(seen.negative, -2);
  EXPECT_EQ(seen.mode, FE_TONEAREST);
}

// A thread that waits until it is told to end.
class Parked {
 public:
  Parked() : thread_(XpThread::Create(&Run, this)) {}
  ~Parked() {
    stop_ = true;
    XpThread::Join(thread_);
  }
  XpThread& Thread() { return *thread_; }

 private:
  static uint32_t Run(void* raw) {
    auto* self = static_cast<Parked*>(raw);
    while (!self->stop_) XpThread::Sleep(1);
    return 0;
  }
  std::atomic<bool> stop_{false};
  XpThread* thread_;
};

struct NiceCall {
  uint32_t thread;
  int nice;
};
std::vector<NiceCall> gNiceCalls;
int gNiceError = 0;

int RecordNice(uint32_t thread, int nice) {
  gNiceCalls.push_back({thread, nice});
  return gNiceError;
}

class FakeNice {
 public:
  FakeNice() {
    gNiceCalls.clear();
    gNiceError = 0;
    XpThread::SetNiceSetterForTest(&RecordNice);
  }
  ~FakeNice() { XpThread::SetNiceSetterForTest(nullptr); }
};

TEST(XpThread, PrioritiesMapToNiceValuesOfTheThread) {
  Parked parked;
  FakeNice fake;
  struct Level {
    int priority;
    int nice;
  };
  const Level levels[] = {{-15, 19}, {-2, 10}, {-1, 5}, {0, 0}, {1, -5}, {2, -10}, {15, -20}};
  for (const Level& level : levels) {
    EXPECT_EQ(parked.Thread().SetPriority(level.priority), kXpOk) << level.priority;
    EXPECT_EQ(parked.Thread().GetPriority(), level.priority);
    ASSERT_FALSE(gNiceCalls.empty());
    EXPECT_EQ(gNiceCalls.back().thread, parked.Thread().GetThreadId());
    EXPECT_EQ(gNiceCalls.back().nice, level.nice) << level.priority;
  }
}

TEST(XpThread, PriorityChangesOutsideTheLevelsOrRefusedFail) {
  Parked parked;
  FakeNice fake;
  XpThread& thread = parked.Thread();
  for (int outside : {3, -3, 14, 16, -16, 100}) {
    EXPECT_EQ(thread.SetPriority(outside), kXpErrPriority) << outside;
  }
  EXPECT_TRUE(gNiceCalls.empty());

  struct Step {
    int from;
    bool raise;
    XpResult result;
    int after;
  };
  const Step steps[] = {
      {15, true, kXpErrPriority, 15},  {2, true, kXpErrPriority, 2},
      {-2, false, kXpErrPriority, -2}, {-15, false, kXpErrPriority, -15},
      {15, false, kXpErrPriority, 15}, {-15, true, kXpErrPriority, -15},
      {0, true, kXpOk, 1},             {1, true, kXpOk, 2},
      {-1, false, kXpOk, -2},          {-2, true, kXpOk, -1},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(thread.SetPriority(step.from), kXpOk);
    EXPECT_EQ(step.raise ? thread.RaisePriority() : thread.LowerPriority(), step.result)
        << step.from << (step.raise ? " up" : " down");
    EXPECT_EQ(thread.GetPriority(), step.after);
  }

  ASSERT_EQ(thread.SetPriority(0), kXpOk);
  gNiceError = EPERM;
  EXPECT_EQ(thread.SetPriority(2), kXpErrPriority);
  EXPECT_EQ(thread.RaisePriority(), kXpErrPriority);
  EXPECT_EQ(thread.GetPriority(), 0);
}

TEST(XpThread, PriorityReachesTheKernel) {
  Parked parked;
  ASSERT_EQ(parked.Thread().SetPriority(kXpThreadPriorityIdle), kXpOk);
  errno = 0;
  EXPECT_EQ(::getpriority(PRIO_PROCESS, parked.Thread().GetThreadId()), 19);
  EXPECT_EQ(errno, 0);
}

}  // namespace
