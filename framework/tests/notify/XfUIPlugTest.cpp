#include "framework/notify/XfUIPlug.h"

#include <gtest/gtest.h>

#include "framework/tests/notify/NotifyTestSupport.h"

namespace {

using framework_test::MakePlain;
using framework_test::NotificationPtr;

struct Seen {
  int dispatched = 0;
  int updated = 0;
  uint32_t lastCode = 0;
  bool answer = false;
};

bool Handle(NotificationPtr notification, void* context) {
  auto* seen = static_cast<Seen*>(context);
  ++seen->dispatched;
  seen->lastCode = notification->GetCode();
  return seen->answer;
}

void Update(void* context) { ++static_cast<Seen*>(context)->updated; }

TEST(XfUIPlug, WithoutHandlersNothingHappens) {
  XfUIPlug plug;
  EXPECT_FALSE(plug.Dispatch(MakePlain(1)));
  plug.Notify();
}

TEST(XfUIPlug, HandlersGetTheNotificationAndTheContext) {
  for (const bool answer : {false, true}) {
    Seen seen;
    seen.answer = answer;
    XfUIPlug plug;
    plug.SetHandlers(&Handle, &Update, &seen);

    EXPECT_EQ(plug.Dispatch(MakePlain(12)), answer);
    plug.Notify();

    EXPECT_EQ(seen.dispatched, 1);
    EXPECT_EQ(seen.lastCode, 12u);
    EXPECT_EQ(seen.updated, 1);
  }
}

TEST(XfUIPlug, ClearedHandlersAreNotCalled) {
  Seen seen;
  seen.answer = true;
  XfUIPlug plug;
  plug.SetHandlers(&Handle, &Update, &seen);
  plug.SetHandlers(nullptr, nullptr, nullptr);

  EXPECT_FALSE(plug.Dispatch(MakePlain(1)));
  plug.Notify();

  EXPECT_EQ(seen.dispatched, 0);
  EXPECT_EQ(seen.updated, 0);
}

}  // namespace
