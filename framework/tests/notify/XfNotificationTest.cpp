#include "framework/notify/XfNotification.h"

#include <chrono>
#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfData.h"
#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "framework/tests/strings/StringsFileFixture.h"
#include "platform/registry/XpRegistry.h"

namespace {

using framework_test::FakeClock;
using framework_test::MakePlain;
using framework_test::MakeProgress;
using framework_test::MakeQuestion;
using framework_test::NotificationPtr;
using framework_test::TestApplication;

constexpr const char16_t* kRegistryBase = u"Software\\Kavo Corporation\\QMV";
constexpr const char16_t* kRegistrySub = u"Accessor/K2\\1.0";
constexpr const char16_t* kCheckFlagsPath =
    u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0\\CheckFlags";

XpSharedPtr<XfObject> None() { return XpSharedPtr<XfObject>(); }

XpSharedPtr<XfNotificationError> MakeError() {
  return XpSharedPtr<XfNotificationError>(new XfNotificationError(None(), None(), 0, None()));
}

// A prompt that is not an error.
class Question : public XfNotificationWithPrompt {
 public:
  Question() : XfNotificationWithPrompt(None(), None(), 0, None()) {}
  XfNotificationKind GetKind() const override { return kXfKindInternal; }
};

class NotificationTest : public framework_test::StringsFileFixture {
 protected:
  void TearDown() override {
    application_.reset();
    StringsFileFixture::TearDown();
  }

  // An application with the accessor's registry root, made the global one.
  TestApplication& StartApplication() {
    application_ = std::make_unique<TestApplication>();
    XfSetApplication(application_.get());
    EXPECT_EQ(application_->SetRegistryRoot(kRegistryBase, kRegistrySub), kXpOk);
    return *application_;
  }

 private:
  std::unique_ptr<TestApplication> application_;
};
using XfNotification = NotificationTest;

TEST_F(XfNotification, FlagsAndResultStartClearAndAreSetOnce) {
  const NotificationPtr question = MakeQuestion(5);
  EXPECT_EQ(question->GetCode(), 5u);
  EXPECT_TRUE(question->WaitsForReply());
  EXPECT_FALSE(question->IsHandled());
  EXPECT_FALSE(question->IsConsumed());
  EXPECT_FALSE(question->IsAnswered());
  EXPECT_EQ(question->GetResult(), 0u);

  EXPECT_EQ(question->SetHandled(true), kXpOk);
  EXPECT_EQ(question->SetConsumed(), kXpOk);
  EXPECT_EQ(question->SetResult(42), kXpOk);

  EXPECT_TRUE(question->IsHandled());
  EXPECT_TRUE(question->IsConsumed());
  EXPECT_TRUE(question->IsAnswered());
  EXPECT_EQ(question->GetResult(), 42u);
  EXPECT_EQ(question->SetHandled(false), kXpOk);
  EXPECT_FALSE(question->IsHandled());
}

TEST_F(XfNotification, CarriesSubjectTargetAndPayload) {
  XpSharedPtr<XfObject> subject(new XfData<int32_t>(1));
  XpSharedPtr<XfObject> target(new XfData<int32_t>(1));
  XpSharedPtr<XfObject> payload(new XfData<int32_t>(1));
  XfNotificationInternal internal(subject, target, 3, payload, false, true);

  EXPECT_EQ(internal.GetSubject().Get(), subject.Get());
  EXPECT_EQ(internal.GetTarget().Get(), target.Get());
  EXPECT_EQ(internal.GetObject().Get(), payload.Get());
  EXPECT_EQ(internal.GetKind(), kXfKindInternal);
  EXPECT_FALSE(internal.WaitsForReply());
  EXPECT_TRUE(internal.DeliverToAll());
}

TEST_F(XfNotification, WaitForResultWithATimeOut) {
  struct Case {
    const char* name;
    NotificationPtr notification;
    bool answered;
    uint32_t seconds;
    XpResult expected;
    std::chrono::milliseconds fakeTimePassed;
  };
  const Case cases[] = {
      {"progress never waits", MakeProgress(1), false, 1, kXpErrSystem,
       std::chrono::milliseconds(0)},
      {"plain never waits", MakePlain(1), true, 1, kXpErrSystem, std::chrono::milliseconds(0)},
      {"unanswered question", MakeQuestion(1), false, 1, kXpErrTimeout,
       std::chrono::milliseconds(1000)},
      {"unanswered, no time", MakeQuestion(1), false, 0, kXpErrTimeout,
       std::chrono::milliseconds(0)},
      {"answered question", MakeQuestion(1), true, 1, kXpOk, std::chrono::milliseconds(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    c.notification->SetWaitClockForTest(clock);
    if (c.answered) c.notification->SetResult(3);

    EXPECT_EQ(c.notification->WaitForResult(c.seconds), c.expected);
    EXPECT_EQ(clock.Elapsed(), c.fakeTimePassed);
  }
}

TEST_F(XfNotification, EachAnswerReleasesOneWait) {
  const NotificationPtr question = MakeQuestion(1);
  FakeClock clock;
  question->SetWaitClockForTest(clock);
  question->SetResult(1);

  EXPECT_EQ(question->WaitForResult(::XfNotification::kWaitPumping), kXpOk);
  EXPECT_EQ(question->WaitForResult(0), kXpErrTimeout);
}

TEST_F(XfNotification, RemainingSecondsFollowThePaceSoFar) {
  struct Case {
    int64_t elapsed;
    uint32_t value;
    int64_t expected;
  };
  const Case cases[] = {
      {10, 0, -1}, {10, 100, 0}, {10, 50, 10}, {10, 25, 30}, {7, 3, 226},
      {10, 200, -5}, {10, 0xFFFFFFFF, -1010},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XfNotificationProgress::EstimateRemaining(c.elapsed, c.value), c.expected)
        << c.elapsed << " s at " << c.value;
  }
  XfNotificationProgress progress(None(), None(), 1, None());
  EXPECT_EQ(progress.EstimateRemainingSeconds(), -1);
  progress.SetValue(100);
  EXPECT_EQ(progress.GetValue(), 100u);
  EXPECT_EQ(progress.EstimateRemainingSeconds(), 0);
  EXPECT_GE(progress.GetElapsedSeconds(), 0);
  EXPECT_TRUE(progress.DeliverToAll());
  EXPECT_FALSE(progress.WaitsForReply());
}

TEST_F(XfNotification, PromptStyleKeepsItsHighBits) {
  struct Case {
    const char* name;
    XpSharedPtr<XfNotificationWithPrompt> prompt;
    uint32_t initial;
    uint32_t set;
    uint32_t expected;
  };
  const Case cases[] = {
      {"error", MakeError(), 0x3001, 0x0002, 0x3002},
      {"error, high bits asked", MakeError(), 0x3001, 0xC024, 0x3024},
      {"question", XpSharedPtr<XfNotificationWithPrompt>(new Question()), 0x0001, 0x5002,
       0x0002},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.prompt->GetPromptStyle(), c.initial);
    c.prompt->SetPromptStyle(c.set);
    EXPECT_EQ(c.prompt->GetPromptStyle(), c.expected);
    EXPECT_TRUE(c.prompt->WaitsForReply());
  }
  EXPECT_EQ(MakeError()->GetKind(), kXfKindError);
}

TEST_F(XfNotification, PromptTextsAndItems) {
  const XpSharedPtr<XfNotificationError> error = MakeError();
  error->SetMessage(u"Disk full");
  error->SetDetail(u"E:\\");
  error->SetCaption(u"Export");
  error->SetItem(u"Button1", u"Retry");
  error->SetItem(u"Button1", u"Again");
  error->SetItem(u"Button2", u"Cancel");

  EXPECT_TRUE(error->GetMessage() == u"Disk full");
  EXPECT_TRUE(error->GetDetail() == u"E:\\");
  EXPECT_TRUE(error->GetCaption() == u"Export");
  EXPECT_TRUE(error->GetItem(u"Button1") == u"Again");
  EXPECT_TRUE(error->GetItem(u"Button2") == u"Cancel");
  EXPECT_TRUE(error->GetItem(u"Button3").IsEmpty());
}

TEST_F(XfNotification, ErrorWithoutApplicationHasAnEmptyCaption) {
  ASSERT_EQ(XfGetApplication(), nullptr);
  const XpSharedPtr<XfNotificationError> error = MakeError();
  EXPECT_TRUE(error->GetCaption().IsEmpty());
  EXPECT_EQ(error->GetPromptStyle(), 0x3001u);
  EXPECT_FALSE(error->GetCheckFlag());
  error->SetCheckFlagName(u"AskAgain");
  EXPECT_FALSE(error->GetCheckFlag());
  EXPECT_EQ(error->SetCheckFlag(true), kXpErrGeneric);
}

TEST_F(XfNotification, CheckFlagIsStoredUnderCheckFlags) {
  StartApplication();
  const XpSharedPtr<XfNotificationError> error = MakeError();
  error->SetCheckFlagName(u"AskAgain");
  EXPECT_FALSE(error->GetCheckFlag());

  EXPECT_EQ(error->SetCheckFlag(true), kXpOk);

  XpRegistry stored;
  ASSERT_EQ(stored.Open(kCheckFlagsPath, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead),
            kXpOk);
  EXPECT_EQ(stored.QueryDword(u"AskAgain", 7), 1u);
  EXPECT_TRUE(error->GetCheckFlag());

  EXPECT_EQ(error->SetCheckFlag(false), kXpOk);
  EXPECT_EQ(stored.QueryDword(u"AskAgain", 7), 0u);
  EXPECT_FALSE(error->GetCheckFlag());
}

TEST_F(XfNotification, CheckFlagWithoutANameWritesNothing) {
  StartApplication();
  const XpSharedPtr<XfNotificationError> error = MakeError();

  EXPECT_EQ(error->SetCheckFlag(true), kXpOk);

  EXPECT_FALSE(error->GetCheckFlag());
  XpRegistry stored;
  EXPECT_NE(stored.Open(kCheckFlagsPath, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead),
            kXpOk);
}

}  // namespace
