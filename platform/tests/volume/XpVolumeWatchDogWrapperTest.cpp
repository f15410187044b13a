#include "platform/volume/XpVolumeWatchDogWrapper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/testsupport/FakeMountTableSource.h"
#include "platform/tests/volume/VolumeEventRecorder.h"
#include "platform/tests/volume/VolumeTestTree.h"

namespace {

using volumetest::VolumeEventRecorder;
using XpVolumeWatchDogWrapper = volumetest::VolumeFixture;

TEST_F(XpVolumeWatchDogWrapper, EventDrivenFromNt51On) {
  struct Case {
    uint32_t platformId, major, minor;
    bool eventDriven;
  };
  const Case cases[] = {{2, 6, 1, true},  {2, 5, 1, true},  {2, 5, 0, false}, {2, 4, 10, false},
                        {1, 4, 10, false}, {1, 6, 1, false}, {0, 6, 1, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(::XpVolumeWatchDogWrapper::ChoosesEventDriven(c.platformId, c.major, c.minor),
              c.eventDriven)
        << c.platformId << "." << c.major << "." << c.minor;
  }
}

TEST_F(XpVolumeWatchDogWrapper, HoldsTheEventDrivenWatchDogByDefault) {
  VolumeEventRecorder recorder;
  ::XpVolumeWatchDogWrapper wrapper(&recorder, true);
  ASSERT_TRUE(wrapper.HasWatchDog());
  EXPECT_TRUE(wrapper.IsEventDriven());
  EXPECT_EQ(wrapper.AddCallback(nullptr), kXpErrBadArgument);
  EXPECT_EQ(wrapper.Stop(), kXpErrWrongState);
  ASSERT_EQ(wrapper.Start(), kXpOk);
  EXPECT_EQ(wrapper.Start(), kXpErrWrongState);
  EXPECT_EQ(wrapper.Stop(), kXpOk);
}

TEST_F(XpVolumeWatchDogWrapper, HoldsThePollingWatchDogOnAnOldSystem) {
  SetEnv("KAVO_OS_VERSION", "1.4.10");
  VolumeEventRecorder recorder;
  ::XpVolumeWatchDogWrapper wrapper(&recorder, true);
  ASSERT_TRUE(wrapper.HasWatchDog());
  EXPECT_FALSE(wrapper.IsEventDriven());
  EXPECT_EQ(wrapper.AddCallback(nullptr), kXpErrBadArgument);
  ASSERT_EQ(wrapper.Start(), kXpOk);
  EXPECT_EQ(wrapper.Start(), kXpErrWrongState);
  EXPECT_EQ(wrapper.Stop(), kXpOk);
  EXPECT_EQ(wrapper.Stop(), kXpErrWrongState);
}

TEST_F(XpVolumeWatchDogWrapper, StartFailsWhenTheMountTableCannotBeOpened) {
  SetEnv("KAVO_SYSROOT", Dir("empty").string());
  ::XpVolumeWatchDogWrapper wrapper(nullptr, false);
  ASSERT_TRUE(wrapper.IsEventDriven());
  EXPECT_EQ(wrapper.Start(), kXpErrSystem);
  EXPECT_EQ(wrapper.Stop(), kXpErrWrongState);
}

TEST_F(XpVolumeWatchDogWrapper, WatchesTheTableOfAGivenSource) {
  auto control = std::make_shared<testsupport::FakeMountTableControl>();
  VolumeEventRecorder recorder;
  ::XpVolumeWatchDogWrapper wrapper(
      &recorder, true, std::make_unique<testsupport::FakeMountTableSource>(control));
  ASSERT_TRUE(wrapper.IsEventDriven());
  wrapper.SetQuietPeriodForTest(1);
  ASSERT_EQ(wrapper.Start(), kXpOk);
  const XpString root = RootOf(AddCard());
  ASSERT_TRUE(control->Nudge());
  EXPECT_TRUE(recorder.WaitFor(root, true));
  EXPECT_EQ(wrapper.Stop(), kXpOk);
}

TEST_F(XpVolumeWatchDogWrapper, AFailingSourceFailsTheStart) {
  auto control = std::make_shared<testsupport::FakeMountTableControl>();
  control->openResult = kXpErrSystem;
  ::XpVolumeWatchDogWrapper wrapper(
      nullptr, false, std::make_unique<testsupport::FakeMountTableSource>(control));
  EXPECT_EQ(wrapper.Start(), kXpErrSystem);
}

TEST_F(XpVolumeWatchDogWrapper, ThePollingWatchDogIgnoresTheSourceAndTheQuietPeriod) {
  SetEnv("KAVO_OS_VERSION", "1.4.10");
  auto control = std::make_shared<testsupport::FakeMountTableControl>();
  control->openResult = kXpErrSystem;
  ::XpVolumeWatchDogWrapper wrapper(
      nullptr, true, std::make_unique<testsupport::FakeMountTableSource>(control));
  ASSERT_FALSE(wrapper.IsEventDriven());
  wrapper.SetQuietPeriodForTest(1);
  EXPECT_EQ(wrapper.Start(), kXpOk);
  EXPECT_EQ(wrapper.Stop(), kXpOk);
}

}  // namespace
