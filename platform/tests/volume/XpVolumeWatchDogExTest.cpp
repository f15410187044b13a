#include "platform/volume/XpVolumeWatchDogEx.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/testsupport/FakeMountTableSource.h"
#include "platform/tests/volume/VolumeEventRecorder.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/testsupport/LoopMount.h"
#include "platform/thread/XpThread.h"

namespace {

using testsupport::FakeMount;
using testsupport::FakeMountTableControl;
using testsupport::FakeMountTableSource;
using volumetest::VolumeEvent;
using volumetest::VolumeEventRecorder;

constexpr uint32_t kQuietMs = 50;
// Long enough that two table changes made one after the other fall into one
// period even on a loaded machine.
constexpr uint32_t kLongQuietMs = 300;

class XpVolumeWatchDogExFixture : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    control_ = std::make_shared<FakeMountTableControl>();
    card_ = Root() / "media/card";
  }

  std::unique_ptr<::XpVolumeWatchDogEx> MakeWatchDog(bool smoothing, uint32_t quietMs = kQuietMs) {
    auto watchDog = std::make_unique<::XpVolumeWatchDogEx>(
        &recorder_, smoothing, std::make_unique<FakeMountTableSource>(control_));
    watchDog->SetQuietPeriodForTest(quietMs);
    watchDog->SetSettledHookForTest([this](const XpString& root) {
      std::lock_guard<std::mutex> lock(settledMutex_);
      settled_.push_back(root);
      settledChanged_.notify_all();
    });
    return watchDog;
  }

  // Waits until the notifier of root has processed its queue count times.
  bool WaitSettled(const XpString& root, size_t count = 1) {
    std::unique_lock<std::mutex> lock(settledMutex_);
    return settledChanged_.wait_for(lock, std::chrono::seconds(5), [&] {
      size_t seen = 0;
      for (const XpString& settled : settled_) seen += settled == root ? 1 : 0;
      return seen >= count;
    });
  }

  FakeMount CardMount(const std::string& options) {
    return {Dir("media/card").string(), "vfat", "/dev/sdb1", volumetest::kCardMajor,
            volumetest::kCardMinor, "/", options};
  }

  std::shared_ptr<FakeMountTableControl> control_;
  VolumeEventRecorder recorder_;
  std::filesystem::path card_;

 private:
  std::mutex settledMutex_;
  std::condition_variable settledChanged_;
  std::vector<XpString> settled_;
};
using XpVolumeWatchDogEx = XpVolumeWatchDogExFixture;

TEST_F(XpVolumeWatchDogEx, SmoothingDropsAVolumeThatCameAndWentWithinThePeriod) {
  auto watchDog = MakeWatchDog(true, kLongQuietMs);
  ASSERT_EQ(watchDog->Start(), kXpOk);
  const XpString root = RootOf(AddCard());
  ASSERT_TRUE(control_->Nudge());
  Fake().RemoveMount(card_.string());
  ASSERT_TRUE(control_->Nudge());
  ASSERT_TRUE(WaitSettled(root));
  EXPECT_EQ(watchDog->Stop(), kXpOk);
  EXPECT_TRUE(recorder_.Events().empty());
}

TEST_F(XpVolumeWatchDogEx, SmoothingReportsAVolumeThatStaysOnceAfterThePeriod) {
  auto watchDog = MakeWatchDog(true);
  ASSERT_EQ(watchDog->Start(), kXpOk);
  const auto before = std::chrono::steady_clock::now();
  const XpString root = RootOf(AddCard());
  ASSERT_TRUE(control_->Nudge());
  ASSERT_TRUE(recorder_.WaitForCount(1));
  ASSERT_TRUE(WaitSettled(root));
  const uint32_t watcherThread = watchDog->GetWatcherThreadId();
  EXPECT_EQ(watchDog->Stop(), kXpOk);

  const std::vector<VolumeEvent> events = recorder_.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].root, root);
  EXPECT_TRUE(events[0].arrived);
  EXPECT_GE(events[0].when - before, std::chrono::milliseconds(kQuietMs));
  // Reported by the volume's notifier, not by the watcher or the caller.
  EXPECT_NE(events[0].threadId, watcherThread);
  EXPECT_NE(events[0].threadId, XpThread::CurrentThreadId());
}

// A remount keeps the device at its mount point: nothing went, nothing came.
// Without smoothing a wrong report would show as such.
TEST_F(XpVolumeWatchDogEx, RemountIsNoChange) {
  for (const bool smoothing : {false, true}) {
    SCOPED_TRACE(smoothing ? "smoothing" : "at once");
    VolumeEventRecorder recorder;
    Fake().SetMounts({CardMount("ro,relatime")});
    auto watchDog = MakeWatchDog(smoothing);
    watchDog->RemoveCallback(&recorder_);
    ASSERT_EQ(watchDog->AddCallback(&recorder), kXpOk);
    ASSERT_EQ(watchDog->Start(), kXpOk);
    Fake().SetMounts({CardMount("rw,relatime")});
    ASSERT_TRUE(control_->Nudge());
    Fake().SetMounts({});
    ASSERT_TRUE(control_->Nudge());
    ASSERT_TRUE(recorder.WaitForCount(1));
    EXPECT_EQ(watchDog->Stop(), kXpOk);

    const std::vector<VolumeEvent> events = recorder.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].root, RootOf(card_));
    EXPECT_FALSE(events[0].arrived);
  }
}

TEST_F(XpVolumeWatchDogEx, WithoutSmoothingReportsAtOnceOnTheWatcherThread) {
  auto watchDog = MakeWatchDog(false);
  ASSERT_EQ(watchDog->Start(), kXpOk);
  const uint32_t watcherThread = watchDog->GetWatcherThreadId();
  const XpString root = RootOf(AddCard());
  ASSERT_TRUE(control_->Nudge());
  // The watcher is back waiting only after it has called the callbacks.
  ASSERT_EQ(recorder_.Events().size(), 1u);
  Fake().RemoveMount(card_.string());
  ASSERT_TRUE(control_->Nudge());
  EXPECT_EQ(watchDog->Stop(), kXpOk);

  const std::vector<VolumeEvent> events = recorder_.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].root, root);
  EXPECT_TRUE(events[0].arrived);
  EXPECT_EQ(events[1].root, root);
  EXPECT_FALSE(events[1].arrived);
  for (const VolumeEvent& event : events) {
    EXPECT_EQ(event.threadId, watcherThread);
    EXPECT_NE(event.threadId, XpThread::CurrentThreadId());
  }
}

TEST_F(XpVolumeWatchDogEx, StartStopStatesAndUnopenableTable) {
  auto watchDog = MakeWatchDog(true);
  EXPECT_EQ(watchDog->Stop(), kXpErrWrongState);
  ASSERT_EQ(watchDog->Start(), kXpOk);
  EXPECT_EQ(watchDog->Start(), kXpErrWrongState);
  EXPECT_EQ(watchDog->Stop(), kXpOk);
  EXPECT_EQ(watchDog->Stop(), kXpErrWrongState);

  control_->openResult = kXpErrSystem;
  EXPECT_EQ(watchDog->Start(), kXpErrSystem);
  EXPECT_EQ(watchDog->GetWatcherThreadId(), 0u);
}

TEST_F(XpVolumeWatchDogEx, KeepsFiltersAndRefusesBadOnes) {
  ::XpVolumeWatchDogEx watchDog(nullptr, false);
  EXPECT_EQ(watchDog.AddCallback(nullptr), kXpErrBadArgument);
  const uint32_t volumeFilter[] = {12, 2, 0};
  const uint32_t tooShort[] = {3};
  EXPECT_EQ(watchDog.AddFilter(nullptr), kXpErrBadArgument);
  EXPECT_EQ(watchDog.AddFilter(tooShort), kXpErrBadArgument);
  EXPECT_EQ(watchDog.AddFilter(volumeFilter), kXpOk);
  EXPECT_EQ(watchDog.GetFilterCount(), 1u);
}

TEST_F(XpVolumeWatchDogEx, ACallbackAddedTwiceHearsTwiceUntilRemoved) {
  ::XpVolumeWatchDogEx watchDog(nullptr, false, std::make_unique<FakeMountTableSource>(control_));
  VolumeEventRecorder recorder;
  ASSERT_EQ(watchDog.AddCallback(&recorder), kXpOk);
  ASSERT_EQ(watchDog.AddCallback(&recorder), kXpOk);
  ASSERT_EQ(watchDog.Start(), kXpOk);
  const XpString root = RootOf(AddCard());
  ASSERT_TRUE(control_->Nudge());
  // Without smoothing the watcher waits again only after the callbacks ran.
  ASSERT_EQ(recorder.Events().size(), 2u);

  watchDog.RemoveCallback(&recorder);
  Fake().RemoveMount(card_.string());
  ASSERT_TRUE(control_->Nudge());
  EXPECT_EQ(watchDog.Stop(), kXpOk);

  const std::vector<VolumeEvent> events = recorder.Events();
  ASSERT_EQ(events.size(), 2u);
  for (const VolumeEvent& event : events) {
    EXPECT_EQ(event.root, root);
    EXPECT_TRUE(event.arrived);
  }
}

// Root only: a real mount and unmount, seen through /proc/self/mountinfo.
TEST_F(XpVolumeWatchDogEx, SeesALoopMountComeAndGo) {
  SetEnv("KAVO_SYSROOT", "");
  VolumeEventRecorder recorder;
  ::XpVolumeWatchDogEx watchDog(&recorder, false);
  ASSERT_EQ(watchDog.Start(), kXpOk);
  testsupport::LoopMount loop;
  if (!loop.Mount(Dir("loop"))) GTEST_SKIP() << loop.Reason();
  const XpString root = RootOf(loop.MountPoint());
  EXPECT_TRUE(recorder.WaitFor(root, true, std::chrono::seconds(5)));
  ASSERT_TRUE(loop.Unmount());
  EXPECT_TRUE(recorder.WaitFor(root, false, std::chrono::seconds(5)));
  EXPECT_EQ(watchDog.Stop(), kXpOk);
}

}  // namespace
