#include "platform/testsupport/ForkedChild.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

TEST(ForkedChild, ReportsReadyWaitsForGoAndReturnsItsExitCode) {
  ForkedChild child;
  ASSERT_TRUE(child.Start([](ChildChannel& channel) {
    channel.SignalReady();
    channel.WaitForGo();
    return 7;
  }));
  EXPECT_TRUE(child.WaitReady());
  child.LetGo();
  EXPECT_EQ(child.Wait(), 7);
}

TEST(ForkedChild, WaitReadyTimesOutWhenTheChildNeverSignals) {
  ForkedChild child;
  ASSERT_TRUE(child.Start([](ChildChannel& channel) {
    channel.WaitForGo();
    return 0;
  }));
  EXPECT_FALSE(child.WaitReady(std::chrono::milliseconds(50)));
  child.Kill();
  EXPECT_EQ(child.Wait(), -1);
}

}  // namespace
}  // namespace testsupport
