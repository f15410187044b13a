#include "framework/ui/progress/SfProgressCtrl.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/ui/host/XfUiClock.h"
#include "framework/ui/host/XfUiTheme.h"
#include "framework/ui/host/XfUiTimers.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Bar = ::SfProgressCtrl;

constexpr XfUiSize kClient{100, 15};

// A bar on timers that run on a virtual clock. The environment is the
// test's own, so KAVO_OS_VERSION can fake an older system.
class ProgressFixture : public testsupport::HermeticTest {
 protected:
  // The position shown after each of count steps of ms.
  std::vector<int32_t> ShownEvery(Bar& bar, int64_t ms, int count) {
    std::vector<int32_t> shown;
    for (int i = 0; i < count; ++i) {
      timers_.Advance(clock_, ms);
      shown.push_back(bar.GetDisplayedPos());
    }
    return shown;
  }

  void AdvanceTo(int64_t ms) { timers_.Advance(clock_, ms - clock_.NowMs()); }

  XfUiVirtualClock clock_;
  XfUiTimers timers_{clock_};
};

using SfProgressCtrl = ProgressFixture;

TEST_F(SfProgressCtrl, GlidesWithTheDefaultsInFiveTicksOf40Ms) {
  Bar bar;
  bar.Create(&timers_);
  EXPECT_EQ(bar.SetPos(100), 0);
  EXPECT_EQ(bar.GetPos(), 100);
  EXPECT_EQ(bar.GetDisplayedPos(), 0);
  EXPECT_EQ(timers_.IntervalOf(&bar, kSfProgressTimerGlide), 40u);
  timers_.Advance(clock_, 39);
  EXPECT_EQ(bar.GetDisplayedPos(), 0);
  EXPECT_EQ(ShownEvery(bar, 1, 1), std::vector<int32_t>({20}));
  EXPECT_EQ(ShownEvery(bar, 40, 4), std::vector<int32_t>({40, 60, 80, 100}));
  EXPECT_EQ(bar.GlideTimerId(), 0u);
  EXPECT_FALSE(timers_.IsSet(&bar, kSfProgressTimerGlide));
}

TEST_F(SfProgressCtrl, GlideSteps) {
  struct Case {
    int32_t from;
    int32_t to;
    std::vector<int32_t> shown;
  };
  const Case cases[] = {
      {80, 10, {10}},       // downwards: the step is raised to 1 and lands at once
      {0, 3, {1, 2, 3}},    // a step below 1 is raised to 1
      {50, 60, {52, 54, 56, 58, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
    Bar bar;
    bar.Create(&timers_, false);
    bar.SetPos(c.from);
    bar.ShowWindow(kSfShow);
    bar.SetPos(c.to);
    EXPECT_EQ(ShownEvery(bar, 40, static_cast<int>(c.shown.size())), c.shown);
    EXPECT_FALSE(timers_.IsSet(&bar, kSfProgressTimerGlide));
  }
}

TEST_F(SfProgressCtrl, HiddenBarJumpsAndTheClampingFormKeepsTheRange) {
  Bar bar;
  bar.Create(&timers_, false);
  bar.SetPos(70);
  EXPECT_EQ(bar.GetDisplayedPos(), 70);
  EXPECT_EQ(timers_.Count(), 0u);

  Bar clamped;
  clamped.Create(&timers_, false);
  EXPECT_EQ(clamped.SetPosClamped(150), 0);
  EXPECT_EQ(clamped.GetPos(), 100);
  EXPECT_EQ(clamped.GetDisplayedPos(), 100);
}

TEST_F(SfProgressCtrl, SmoothingOffOrZeroDurationSetsAtOnce) {
  Bar off;
  off.Create(&timers_);
  off.SetSmoothing(false, 200, 5);
  off.SetPos(40);
  Bar zero;
  zero.Create(&timers_);
  zero.SetSmoothing(true, 0, 5);
  zero.SetPos(40);
  EXPECT_EQ(off.GetDisplayedPos(), 40);
  EXPECT_EQ(zero.GetDisplayedPos(), 40);
  EXPECT_EQ(timers_.Count(), 0u);
}

TEST_F(SfProgressCtrl, OwnMarqueeWalksFiveBlocks) {
  SetEnv("KAVO_OS_VERSION", "2.5.0");
  Bar bar;
  ASSERT_FALSE(bar.HasNativeMarquee());
  bar.Create(&timers_);
  bar.SetClientSize(kClient);
  EXPECT_EQ(Bar::MarqueeBlockWidth(15), 10);
  EXPECT_EQ(Bar::MarqueePositionCount(kClient), 10);

  bar.SetMarquee(true, 20);
  EXPECT_EQ(bar.MarqueeTimerId(), kSfProgressTimerMarquee);
  EXPECT_EQ(timers_.IntervalOf(&bar, kSfProgressTimerMarquee), 20u);
  EXPECT_EQ(bar.MarqueePosition(), -5);
  XfUiTheme theme;
  std::optional<Bar::MarqueePaint> paint = bar.PaintOwnMarquee(theme);
  ASSERT_TRUE(paint.has_value());
  EXPECT_TRUE(paint->blocks.empty());
  EXPECT_EQ(paint->blockColour, theme.GetSysColor(kXfColourHighlight));
  EXPECT_EQ(paint->faceColour, theme.GetSysColor(kXfColourButtonFace));

  timers_.Advance(clock_, 20);
  EXPECT_EQ(bar.PaintOwnMarquee(theme)->blocks, std::vector<XfUiRect>({{1, 1, 9, 14}}));

  const std::vector<XfUiRect> wrapped = {
      {81, 1, 89, 14}, {91, 1, 99, 14}, {1, 1, 9, 14}, {11, 1, 19, 14}, {21, 1, 29, 14}};
  EXPECT_EQ(Bar::MarqueeBlocks(8, kClient), wrapped);
  timers_.Advance(clock_, 20 * 12);
  EXPECT_EQ(bar.MarqueePosition(), 8);
  EXPECT_EQ(bar.PaintOwnMarquee(theme)->blocks, wrapped);
  timers_.Advance(clock_, 40);
  EXPECT_EQ(bar.MarqueePosition(), 0);

  bar.SetMarquee(false, 0);
  EXPECT_FALSE(timers_.IsSet(&bar, kSfProgressTimerMarquee));
  EXPECT_FALSE(bar.PaintOwnMarquee(theme).has_value());
}

TEST_F(SfProgressCtrl, NativeMarqueeOnlySetsTheStyle) {
  Bar bar;
  ASSERT_TRUE(bar.HasNativeMarquee());
  bar.Create(&timers_);
  bar.SetMarquee(true, 20);
  EXPECT_TRUE(bar.IsMarqueeStyle());
  EXPECT_EQ(bar.MarqueeIntervalMs(), 20u);
  EXPECT_EQ(bar.MarqueeTimerId(), kSfProgressTimerMarquee);
  EXPECT_EQ(timers_.Count(), 0u);
  EXPECT_FALSE(bar.PaintOwnMarquee(XfUiTheme()).has_value());
  bar.SetMarquee(false, 20);
  EXPECT_FALSE(bar.IsMarqueeStyle());
  EXPECT_EQ(bar.MarqueeTimerId(), 0u);
}

TEST_F(SfProgressCtrl, NativeMarqueeFlagFollowsTheSystemVersion) {
  struct Case {
    const char* version;
    bool native;
  };
  const Case cases[] = {{"2.5.1", true}, {"2.6.0", true}, {"2.5.0", false}, {"2.4.9", false}, {"1.5.1", false},
                        {"fail", false}};
  for (const Case& c : cases) {
    SetEnv("KAVO_OS_VERSION", c.version);
    EXPECT_EQ(Bar().HasNativeMarquee(), c.native) << c.version;
  }
}

TEST_F(SfProgressCtrl, DelayedHideAndShowCancelEachOther) {
  Bar bar;
  bar.Create(&timers_);
  bar.SetShowHideDelays(0, 500);
  bar.ShowWindow(kSfShowHide);
  AdvanceTo(499);
  EXPECT_TRUE(bar.IsWindowVisible());
  AdvanceTo(500);
  EXPECT_FALSE(bar.IsWindowVisible());
  EXPECT_EQ(bar.ShowHideTimerId(), 0u);

  bar.ShowWindow(kSfShow);
  EXPECT_TRUE(bar.IsWindowVisible());
  bar.ShowWindow(kSfShowHide);
  AdvanceTo(700);
  bar.ShowWindow(kSfShow);
  EXPECT_FALSE(timers_.IsSet(&bar, kSfProgressTimerHide));
  AdvanceTo(1500);
  EXPECT_TRUE(bar.IsWindowVisible());
}

TEST_F(SfProgressCtrl, DelayedShowBehavesAlike) {
  Bar bar;
  bar.Create(&timers_, false);
  bar.SetShowHideDelays(500, 0);
  bar.ShowWindow(kSfShow);
  EXPECT_EQ(bar.ShowHideTimerId(), kSfProgressTimerShow);
  AdvanceTo(499);
  EXPECT_FALSE(bar.IsWindowVisible());
  AdvanceTo(500);
  EXPECT_TRUE(bar.IsWindowVisible());

  bar.ShowWindow(kSfShowHide);
  EXPECT_FALSE(bar.IsWindowVisible());
  bar.ShowWindow(kSfShow);
  AdvanceTo(700);
  bar.ShowWindow(kSfShowHide);
  EXPECT_FALSE(timers_.IsSet(&bar, kSfProgressTimerShow));
  AdvanceTo(1500);
  EXPECT_FALSE(bar.IsWindowVisible());
}

TEST_F(SfProgressCtrl, DestroyKillsTheThreeTimers) {
  SetEnv("KAVO_OS_VERSION", "2.5.0");
  Bar bar;
  bar.Create(&timers_);
  bar.SetShowHideDelays(0, 500);
  bar.SetPos(50);
  bar.SetMarquee(true, 20);
  bar.ShowWindow(kSfShowHide);
  ASSERT_EQ(timers_.Count(), 3u);
  bar.Destroy();
  EXPECT_EQ(timers_.Count(), 0u);
}

TEST_F(SfProgressCtrl, GetPosReadsTheShownPositionOnce) {
  Bar bar;
  bar.Create(&timers_);
  bar.SetRange(0, 200);
  EXPECT_EQ(bar.GetPos(), 0);
  bar.SetPos(100);
  EXPECT_EQ(bar.SetPos(150), 100);
  EXPECT_EQ(bar.SetPos(150), 150);
  EXPECT_EQ(bar.GetDisplayedPos(), 0);
}

}  // namespace
