#include "framework/notify/XfView.h"

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfData.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using framework_test::kEventLimitSeconds;
using framework_test::KindNotification;
using framework_test::MakeProgress;
using framework_test::NotificationPtr;
using framework_test::TestApplication;

constexpr uint32_t kCode = 3;

// What a view's handler saw, and what it answers.
struct Handler {
  bool answer = true;
  std::atomic<int> calls{0};
  // Runs inside the handler when set.
  void (*action)(Handler&) = nullptr;
  XfView* view = nullptr;
  TestApplication* application = nullptr;
  std::atomic<bool> applicationHadIt{false};
};

bool Handle(NotificationPtr /*notification*/, void* context) {
  auto& handler = *static_cast<Handler*>(context);
  ++handler.calls;
  if (handler.application != nullptr) {
    handler.applicationHadIt = !handler.application->Dispatched().empty();
  }
  if (handler.action != nullptr) handler.action(handler);
  return handler.answer;
}

class ViewTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    application_ = std::make_unique<TestApplication>();
    XfSetApplication(application_.get());
  }
  void TearDown() override {
    application_.reset();
    HermeticTest::TearDown();
  }

  TestApplication& Application() { return *application_; }
  XfNotificationManager& Manager() { return application_->GetNotificationManager(); }

 private:
  std::unique_ptr<TestApplication> application_;
};
using XfView = ViewTest;

// A view that reports its destruction.
class FlagView : public ::XfView {
 public:
  explicit FlagView(XpManualEvent* destroyed) : destroyed_(destroyed) {}
  ~FlagView() override { destroyed_->SetSignaled(true); }

 private:
  XpManualEvent* destroyed_;
};

XpSharedPtr<XfObject> NewObject() { return XpSharedPtr<XfObject>(new XfData<int32_t>(0)); }

TEST_F(XfView, HandsOnNotificationsAboutItsObjectOrNothing) {
  const XpSharedPtr<XfObject> own = NewObject();
  struct Case {
    const char* name;
    XpSharedPtr<XfObject> subject;
    bool answer;
    bool dispatched;
    bool handled;
  };
  const Case cases[] = {
      {"own object", own, true, true, true},
      {"no subject", XpSharedPtr<XfObject>(), true, true, true},
      {"handler declines", own, false, true, false},
      {"other object", NewObject(), true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Handler handler;
    handler.answer = c.answer;
    ::XfView view;
    view.SetObject(own);
    view.SetHandlers(&Handle, nullptr, &handler);
    const NotificationPtr notification(
        new KindNotification(kXfKindProgress, kCode, false, true, c.subject));

    view.OnNotification(notification);

    EXPECT_EQ(handler.calls.load(), c.dispatched ? 1 : 0);
    EXPECT_EQ(notification->IsHandled(), c.handled);
    EXPECT_EQ(view.GetObject().Get(), own.Get());
  }
}

TEST_F(XfView, RegistersWithTheApplicationForItsLifetime) {
  auto view = std::make_unique<::XfView>();
  IXfNotificationObserver* const observer = view.get();
  EXPECT_FALSE(Manager().IsObserverAbsent(observer));
  view.reset();
  EXPECT_TRUE(Manager().IsObserverAbsent(observer));
}

TEST_F(XfView, WithoutApplicationIsNotRegistered) {
  XfSetApplication(nullptr);
  Handler handler;
  ::XfView view;
  view.SetHandlers(&Handle, nullptr, &handler);
  EXPECT_TRUE(Manager().IsObserverAbsent(&view));
  view.OnNotification(MakeProgress(kCode));
  EXPECT_EQ(handler.calls.load(), 1);
}

TEST_F(XfView, HearsPostedNotificationsBeforeTheApplication) {
  Handler handler;
  handler.answer = false;
  handler.application = &Application();
  ::XfView view;
  view.SetHandlers(&Handle, nullptr, &handler);

  XfPostNotification(MakeProgress(kCode));

  ASSERT_TRUE(Application().WaitForDispatched(1));
  EXPECT_EQ(handler.calls.load(), 1);
  EXPECT_FALSE(handler.applicationHadIt);
}

TEST_F(XfView, ReleaseInsideItsCallbackDeletesTheViewAfterTheDelivery) {
  XpManualEvent destroyed(false);
  Handler handler;
  handler.answer = false;
  handler.action = [](Handler& h) { h.view->Release(); };
  auto* view = new FlagView(&destroyed);
  handler.view = view;
  view->SetHandlers(&Handle, nullptr, &handler);

  XfPostNotification(MakeProgress(kCode));

  ASSERT_TRUE(Application().WaitForDispatched(1));
  EXPECT_EQ(destroyed.LockTimeout(kEventLimitSeconds), kXpOk);
  EXPECT_EQ(handler.calls.load(), 1);
}

TEST_F(XfView, RemovingItselfInsideItsCallbackDoesNotDeadlock) {
  Handler handler;
  handler.answer = false;
  handler.action = [](Handler& h) { XfGetNotificationManager()->RemoveObserver(h.view); };
  ::XfView view;
  handler.view = &view;
  view.SetHandlers(&Handle, nullptr, &handler);

  XfPostNotification(MakeProgress(kCode));
  XfPostNotification(MakeProgress(kCode));

  ASSERT_TRUE(Application().WaitForDispatched(2));
  EXPECT_EQ(handler.calls.load(), 1);
  EXPECT_TRUE(Manager().IsObserverAbsent(&view));
}

}  // namespace
