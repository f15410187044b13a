#include "platform/volume/XpVolumeWatchDog.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/tests/volume/VolumeEventRecorder.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/thread/XpThread.h"

namespace {

using volumetest::VolumeEvent;
using volumetest::VolumeEventRecorder;

constexpr uint32_t kShortInterval = 50;

class XpVolumeWatchDogFixture : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    AddFixedDisk("mnt/data", "ext4", 1);
  }
};
using XpVolumeWatchDog = XpVolumeWatchDogFixture;

TEST_F(XpVolumeWatchDog, ReportsEachChangeBetweenPollsOnce) {
  ::XpVolumeWatchDog watchDog(false);
  EXPECT_EQ(watchDog.GetInterval(), ::XpVolumeWatchDog::kPollIntervalMs);
  watchDog.SetInterval(kShortInterval);
  VolumeEventRecorder recorder;
  ASSERT_EQ(watchDog.AddCallback(&recorder), kXpOk);
  ASSERT_EQ(watchDog.Start(), kXpOk);

  const XpString card = RootOf(AddCard());
  ASSERT_TRUE(recorder.WaitForCount(1));
  // Later polls have run once the next change is heard.
  const XpString second = RootOf(AddFixedDisk("mnt/second", "ext4", 2));
  ASSERT_TRUE(recorder.WaitForCount(2));
  Fake().RemoveMount(Root() / "media/card");
  ASSERT_TRUE(recorder.WaitForCount(3));
  EXPECT_EQ(watchDog.Stop(), kXpOk);

  const std::vector<VolumeEvent> events = recorder.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].root, card);
  EXPECT_TRUE(events[0].arrived);
  EXPECT_EQ(events[1].root, second);
  EXPECT_TRUE(events[1].arrived);
  EXPECT_EQ(events[2].root, card);
  EXPECT_FALSE(events[2].arrived);
  for (const VolumeEvent& event : events) EXPECT_NE(event.threadId, XpThread::CurrentThreadId());
}

TEST_F(XpVolumeWatchDog, StartTwiceAndStopTwiceAreWrongState) {
  ::XpVolumeWatchDog watchDog(true);
  EXPECT_EQ(watchDog.Stop(), kXpErrWrongState);
  ASSERT_EQ(watchDog.Start(), kXpOk);
  EXPECT_EQ(watchDog.Start(), kXpErrWrongState);
  EXPECT_EQ(watchDog.Stop(), kXpOk);
  EXPECT_EQ(watchDog.Stop(), kXpErrWrongState);
}

TEST_F(XpVolumeWatchDog, RemoveCallbackDropsEveryRegistration) {
  ::XpVolumeWatchDog watchDog(false);
  watchDog.SetInterval(kShortInterval);
  VolumeEventRecorder removed;
  VolumeEventRecorder kept;
  EXPECT_EQ(watchDog.AddCallback(nullptr), kXpErrBadArgument);
  ASSERT_EQ(watchDog.AddCallback(&removed), kXpOk);
  ASSERT_EQ(watchDog.AddCallback(&removed), kXpOk);
  ASSERT_EQ(watchDog.AddCallback(&kept), kXpOk);
  watchDog.RemoveCallback(&removed);
  ASSERT_EQ(watchDog.Start(), kXpOk);

  AddCard();
  // Callbacks are called in order, so the removed one would have heard first.
  ASSERT_TRUE(kept.WaitForCount(1));
  EXPECT_EQ(watchDog.Stop(), kXpOk);
  EXPECT_TRUE(removed.Events().empty());
  EXPECT_EQ(kept.Events().size(), 1u);
}

}  // namespace
