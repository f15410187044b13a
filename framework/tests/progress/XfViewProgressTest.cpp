#include "framework/progress/XfViewProgress.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfData.h"
#include "framework/notify/XfPointer.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/clock/TestClock.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using framework_test::KindNotification;
using framework_test::NotificationPtr;
using framework_test::ScopedTestClock;
using framework_test::TestApplication;

constexpr int64_t kT0 = 1700000000;
constexpr uint32_t kP1 = 101;
constexpr uint32_t kE1 = 102;
constexpr uint32_t kP2 = 201;
constexpr uint32_t kE2 = 202;
constexpr uint32_t kWatched = 500;
// Posted after the notifications of a test step; once the application has
// it, every notification posted before has reached the view.
constexpr uint32_t kMarker = 999;
constexpr XfProgressStep kTwoSteps[] = {{kP1, kE1, 1.0}, {kP2, kE2, 3.0}};

XpSharedPtr<XfObject> None() { return XpSharedPtr<XfObject>(); }

XpSharedPtr<XfObject> NewObject() { return XpSharedPtr<XfObject>(new XfData<int32_t>(0)); }

NotificationPtr Internal(uint32_t code, XpSharedPtr<XfObject> subject) {
  return NotificationPtr(
      new XfNotificationInternal(subject, None(), code, None(), false, true));
}

NotificationPtr Progress(uint32_t code, XpSharedPtr<XfObject> subject, uint32_t value) {
  auto* progress = new XfNotificationProgress(subject, None(), code, None());
  progress->SetValue(value);
  return NotificationPtr(progress);
}

NotificationPtr OfKind(XfNotificationKind kind, uint32_t code, XpSharedPtr<XfObject> subject) {
  return NotificationPtr(new KindNotification(kind, code, false, false, subject));
}

// The view's dispatch handler: keeps what it was handed.
class Recorder {
 public:
  static bool Handle(NotificationPtr notification, void* context) {
    auto* self = static_cast<Recorder*>(context);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->seen_.push_back(notification);
    return true;
  }

  std::vector<NotificationPtr> Seen() const {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_;
  }
  std::vector<uint32_t> Codes() const {
    std::vector<uint32_t> codes;
    for (const NotificationPtr& n : Seen()) codes.push_back(n->GetCode());
    return codes;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    seen_.clear();
  }

 private:
  mutable std::mutex lock_;
  std::vector<NotificationPtr> seen_;
};

std::atomic<int> UpdateCalls{0};
void CountUpdate(void* /*context*/) { ++UpdateCalls; }

class ViewProgressTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    application_ = std::make_unique<TestApplication>();
    XfSetApplication(application_.get());
    view_ = std::make_unique<XfViewProgress>();
    view_->SetHandlers(&Recorder::Handle, &CountUpdate, &recorder_);
    view_->SetObject(object_);
    UpdateCalls = 0;
  }
  void TearDown() override {
    view_.reset();
    application_.reset();
    HermeticTest::TearDown();
  }

  XfViewProgress& View() { return *view_; }
  void Describe(const XfProgressStep* steps, size_t count, int32_t passes) {
    view_->SetSteps(steps, count);
    view_->SetPassCount(passes);
  }
  void Send(const NotificationPtr& n) { view_->OnNotification(n); }

  // Posts the notifications through the application's manager and returns
  // once the view has seen them all.
  void PostAll(const std::vector<NotificationPtr>& notifications) {
    for (const NotificationPtr& n : notifications) XfPostNotification(n);
    const NotificationPtr marker = Internal(kMarker, None());
    XfPostNotification(marker);
    for (;;) {
      const std::vector<NotificationPtr> seen = application_->Dispatched();
      for (const NotificationPtr& n : seen) {
        if (n.Get() == marker.Get()) return;
      }
      ASSERT_TRUE(application_->WaitForDispatched(seen.size() + 1)) << "marker never arrived";
    }
  }
  // Codes the application's handler received, the markers left out.
  std::vector<NotificationPtr> PostedByView() {
    PostAll({});
    std::vector<NotificationPtr> posted;
    for (const NotificationPtr& n : application_->Dispatched()) {
      const XpSharedPtr<XfPointer> target(n->GetTarget());
      if (target && target->As<XfViewProgress>() == view_.get()) posted.push_back(n);
    }
    return posted;
  }

  XpSharedPtr<XfObject> object_ = NewObject();
  Recorder recorder_;
  ScopedTestClock clock_{kT0};

 private:
  std::unique_ptr<TestApplication> application_;
  std::unique_ptr<XfViewProgress> view_;
};
using XfViewProgress = ViewProgressTest;

TEST_F(XfViewProgress, FollowsStepsAndPassesThroughTheManager) {
  Describe(kTwoSteps, 2, 2);
  View().Start(false);

  PostAll({Internal(kE1, object_), Progress(kP2, object_, 50)});
  EXPECT_DOUBLE_EQ(View().GetPercent(), 31.25);
  EXPECT_EQ(recorder_.Codes(), std::vector<uint32_t>{::XfViewProgress::kCodeStepEnded});
  EXPECT_EQ(UpdateCalls, 1);
  EXPECT_EQ(View().WaitFinished(kXpTryOnce), kXpErrTimeout);

  recorder_.Clear();
  PostAll({Internal(kE2, object_)});
  EXPECT_EQ(recorder_.Codes(), std::vector<uint32_t>{::XfViewProgress::kCodePassEnded});
  EXPECT_DOUBLE_EQ(View().GetPercent(), 50.0);
  EXPECT_EQ(View().GetPassIndex(), 1);
  EXPECT_EQ(View().GetStepIndex(), 0);

  recorder_.Clear();
  PostAll({Internal(kE1, object_), Internal(kE2, object_)});
  EXPECT_EQ(recorder_.Codes(), (std::vector<uint32_t>{::XfViewProgress::kCodeStepEnded,
                                                      ::XfViewProgress::kCodeAllPassesEnded}));
  EXPECT_EQ(View().WaitFinished(kXpTryOnce), kXpOk);
  EXPECT_DOUBLE_EQ(View().GetPercent(), 100.0);

  // The task's view of the work is over: a late end code changes nothing.
  recorder_.Clear();
  PostAll({Internal(kE2, object_), Internal(kE1, object_)});
  EXPECT_TRUE(recorder_.Codes().empty());
  EXPECT_DOUBLE_EQ(View().GetPercent(), 100.0);
  EXPECT_EQ(View().GetPassIndex(), 2);
}

TEST_F(XfViewProgress, OwnReportsAreAboutItsObjectAndFromIt) {
  Describe(kTwoSteps, 2, 1);
  Send(Internal(kE1, object_));
  Send(Internal(kE2, object_));

  const std::vector<NotificationPtr> seen = recorder_.Seen();
  ASSERT_EQ(seen.size(), 2u);
  for (const NotificationPtr& n : seen) {
    EXPECT_EQ(n->GetKind(), kXfKindInternal);
    EXPECT_TRUE(n->GetSubject() == object_);
    const XpSharedPtr<XfPointer> target(n->GetTarget());
    ASSERT_TRUE(target);
    EXPECT_EQ(target->As<::XfViewProgress>(), &View());
    EXPECT_FALSE(target->Owns());
    EXPECT_TRUE(n->DeliverToAll());
    EXPECT_FALSE(n->WaitsForReply());
    EXPECT_TRUE(n->GetObject().IsNull());
  }
}

TEST_F(XfViewProgress, LastStepEndCodeEndsThePassFromAnyStep) {
  const XfProgressStep steps[] = {{kP1, kE1, 1.0}, {kP2, kE2, 1.0}, {301, 302, 2.0}};
  Describe(steps, 3, 2);
  ASSERT_EQ(View().GetStepIndex(), 0);

  const NotificationPtr end = Internal(302, object_);
  Send(end);
  EXPECT_TRUE(end->IsHandled());
  EXPECT_EQ(recorder_.Codes(), std::vector<uint32_t>{::XfViewProgress::kCodePassEnded});
  EXPECT_EQ(View().GetPassIndex(), 1);
  EXPECT_EQ(View().GetStepIndex(), 0);
  EXPECT_DOUBLE_EQ(View().GetPercent(), 50.0);
}

TEST_F(XfViewProgress, DegenerateDescriptionsGiveNumbers) {
  const XfProgressStep one[] = {{kP1, kE1, 1.0}};
  Describe(one, 1, 0);
  EXPECT_EQ(View().GetPassCount(), 1);
  View().Start(false);
  Send(Progress(kP1, object_, 50));
  EXPECT_DOUBLE_EQ(View().GetPercent(), 50.0);

  const XfProgressStep weightless[] = {{kP1, kE1, 0.0}, {kP2, kE2, 0.0}};
  ::XfViewProgress other;
  other.SetObject(object_);
  other.SetSteps(weightless, 2);
  other.SetPassCount(2);
  other.Start(false);
  other.OnNotification(Progress(kP1, object_, 50));
  EXPECT_DOUBLE_EQ(other.GetPercent(), 0.0);
  other.OnNotification(Internal(kE1, object_));
  other.OnNotification(Internal(kE2, object_));
  EXPECT_DOUBLE_EQ(other.GetPercent(), 50.0);
  EXPECT_FALSE(std::isnan(other.GetPercent()));
}

TEST_F(XfViewProgress, ProgressOnlyMovesTheCurrentStepWhileRunning) {
  Describe(kTwoSteps, 2, 2);
  struct Case {
    const char* name;
    bool running;
    uint32_t code;
    uint32_t value;
    double expected;
  };
  const Case cases[] = {
      {"idle view", false, kP1, 50, 0.0},
      {"other step's code", true, kP2, 50, 0.0},
      {"current step", true, kP1, 40, 5.0},
      {"beyond 100 stays in the step", true, kP1, 400, 12.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.running) View().Start(false);
    const NotificationPtr n = Progress(c.code, object_, c.value);
    Send(n);
    EXPECT_DOUBLE_EQ(View().GetPercent(), c.expected);
    EXPECT_TRUE(n->IsHandled());
    EXPECT_FALSE(n->IsConsumed());
  }
  const NotificationPtr aboutOther = Progress(kP1, NewObject(), 90);
  Send(aboutOther);
  EXPECT_FALSE(aboutOther->IsHandled());
  EXPECT_DOUBLE_EQ(View().GetPercent(), 12.5);
}

TEST_F(XfViewProgress, StartAndFinishPostOnlyWhatTheyShould) {
  View().SetResultCode(kWatched);
  View().Start(false);
  EXPECT_TRUE(PostedByView().empty());

  View().Start(true);
  std::vector<NotificationPtr> posted = PostedByView();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0]->GetCode(), ::XfViewProgress::kCodeStarted);
  EXPECT_TRUE(posted[0]->GetSubject().IsNull());

  View().Finish();
  View().Finish();
  EXPECT_TRUE(View().IsFinished());
  posted = PostedByView();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[1]->GetCode(), ::XfViewProgress::kCodeFinished);
  EXPECT_TRUE(posted[1]->GetSubject() == object_);
  const XpSharedPtr<XfData<int32_t>> payload(posted[1]->GetObject());
  ASSERT_TRUE(payload);
  EXPECT_EQ(payload->Get(), static_cast<int32_t>(kWatched));

  const NotificationPtr late = Progress(kP1, object_, 10);
  Send(late);
  EXPECT_TRUE(late->IsConsumed());
  EXPECT_TRUE(late->IsHandled());
}

TEST_F(XfViewProgress, WatchedCodeReportsErrorsAndNoticesUnhandled) {
  View().SetResultCode(kWatched);
  struct Case {
    const char* name;
    XfNotificationKind kind;
    uint32_t code;
    std::vector<uint32_t> reported;
    bool errorSeen;
  };
  const Case cases[] = {
      {"other kind", kXfKindInternal, kWatched, {}, false},
      {"error with another code", kXfKindError, kWatched + 1, {}, false},
      {"notice", ::XfViewProgress::kNoticeKind, kWatched, {::XfViewProgress::kCodeWatchedNotice},
       false},
      {"error", kXfKindError, kWatched, {::XfViewProgress::kCodeWatchedError}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder_.Clear();
    const NotificationPtr n = OfKind(c.kind, c.code, object_);
    Send(n);
    EXPECT_EQ(recorder_.Codes(), c.reported);
    EXPECT_EQ(View().IsErrorSeen(), c.errorSeen);
    EXPECT_FALSE(n->IsHandled());
    if (!c.reported.empty()) {
      EXPECT_EQ(recorder_.Seen()[0]->GetObject().Get(), n.Get());
    }
  }
}

TEST_F(XfViewProgress, ForwardsCodesByTheirSubject) {
  struct Case {
    const char* name;
    uint32_t code;
    bool ownObject;
    bool dispatched;
    bool handled;
  };
  const Case cases[] = {
      {"20028 about the object", ::XfViewProgress::kCodeAboutObject, true, true, true},
      {"20028 about another", ::XfViewProgress::kCodeAboutObject, false, false, false},
      {"20031 about another", ::XfViewProgress::kCodeAboutAny, false, true, true},
      {"20033 about another", ::XfViewProgress::kCodeStopped, false, true, false},
      {"unknown code", 7, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder_.Clear();
    const NotificationPtr n = Internal(c.code, c.ownObject ? object_ : NewObject());
    Send(n);
    const std::vector<NotificationPtr> seen = recorder_.Seen();
    EXPECT_EQ(seen.size() == 1 && seen[0].Get() == n.Get(), c.dispatched);
    EXPECT_EQ(n->IsHandled(), c.handled);
  }
}

TEST_F(XfViewProgress, NotifyFlagBindsAndEndsPassesUntilStopped) {
  Describe(kTwoSteps, 2, 3);
  const XpSharedPtr<XfObject> task = NewObject();

  View().Start(false);
  Send(Internal(::XfViewProgress::kCodeBind, task));
  EXPECT_TRUE(View().GetObject() == object_);

  View().Start(true);
  Send(Internal(::XfViewProgress::kCodeBind, task));
  EXPECT_TRUE(View().GetObject() == task);
  Send(Internal(::XfViewProgress::kCodeEndPass, NewObject()));
  EXPECT_EQ(View().GetPassIndex(), 1);
  EXPECT_EQ(recorder_.Codes(), (std::vector<uint32_t>{::XfViewProgress::kCodeBind,
                                                      ::XfViewProgress::kCodePassEnded}));

  Send(Internal(::XfViewProgress::kCodeStopped, NewObject()));
  Send(Internal(::XfViewProgress::kCodeEndPass, task));
  EXPECT_EQ(View().GetPassIndex(), 1);
  Send(Progress(kP1, task, 50));
  EXPECT_DOUBLE_EQ(View().GetPercent(), 100.0 / 3.0);
}

TEST_F(XfViewProgress, StepCodesAreReadByIndex) {
  Describe(kTwoSteps, 2, 1);
  EXPECT_EQ(View().GetStepCode(0), kP1);
  EXPECT_EQ(View().GetStepCode(1), kP2);
  EXPECT_EQ(View().GetStepCode(2), ::XfViewProgress::kNoCode);
  EXPECT_EQ(View().GetStepCode(-1), ::XfViewProgress::kNoCode);
  View().SetSteps(nullptr, 3);
  EXPECT_EQ(View().GetStepCode(0), ::XfViewProgress::kNoCode);
}

TEST_F(XfViewProgress, EstimatesFollowThePaceSinceStart) {
  const XfProgressStep whole[] = {{kP1, kE1, 1.0}};
  struct Case {
    uint32_t percent;
    int64_t elapsed;
    int64_t seconds;
    int64_t minutes;
  };
  const Case cases[] = {
      {0, 10, -1, -1}, {50, 61, 61, 2}, {25, 60, 180, 3}, {80, 10, 2, 1}, {100, 500, 1, 1},
      {75, 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    clock_.Set(kT0);
    ::XfViewProgress view;
    view.SetObject(object_);
    view.SetSteps(whole, 1);
    view.Start(false);
    view.OnNotification(Progress(kP1, object_, c.percent));
    ASSERT_DOUBLE_EQ(view.GetPercent(), c.percent);
    clock_.Set(kT0 + c.elapsed);
    EXPECT_EQ(view.EstimateRemainingSeconds(), c.seconds);
    EXPECT_EQ(view.EstimateRemainingMinutes(), c.minutes);
  }
}

TEST_F(XfViewProgress, EstimateOfATinyShareSaturates) {
  const XfProgressStep steps[] = {{kP1, kE1, 1e-300}, {kP2, kE2, 1.0}};
  Describe(steps, 2, 1);
  View().Start(false);
  Send(Progress(kP1, object_, 1));
  ASSERT_GT(View().GetPercent(), 0.0);
  clock_.Set(kT0 + 100);
  EXPECT_EQ(View().EstimateRemainingSeconds(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(View().EstimateRemainingMinutes(), std::numeric_limits<int64_t>::max() / 60 + 1);
}

TEST_F(XfViewProgress, ProgressNotificationReadsTheFrameworkClock) {
  XfNotificationProgress progress(None(), None(), kP1, None());
  clock_.Set(kT0 + 40);
  EXPECT_EQ(progress.GetElapsedSeconds(), 40);
  EXPECT_EQ(progress.EstimateRemainingSeconds(), -1);
  progress.SetValue(20);
  EXPECT_EQ(progress.EstimateRemainingSeconds(), 160);
  progress.SetValue(100);
  EXPECT_EQ(progress.EstimateRemainingSeconds(), 0);
}

}  // namespace
