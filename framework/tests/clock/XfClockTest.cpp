#include "framework/clock/XfClock.h"

#include <ctime>

#include <gtest/gtest.h>

#include "framework/tests/clock/TestClock.h"

namespace {

using framework_test::ScopedTestClock;

// How far apart two reads of the real time may be.
constexpr int64_t kReadSlackSeconds = 2;

TEST(XfClock, ReadsTheSystemTimeUntilATestClockIsInstalled) {
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const int64_t now = XfGetCurrentTime();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + kReadSlackSeconds);
  {
    ScopedTestClock clock(1000);
    EXPECT_EQ(XfGetCurrentTime(), 1000);
    clock.Set(4000000000LL);
    EXPECT_EQ(XfGetCurrentTime(), 4000000000LL);
  }
  EXPECT_GE(XfGetCurrentTime(), before);
  EXPECT_LE(XfGetCurrentTime(), before + kReadSlackSeconds);
}

}  // namespace
