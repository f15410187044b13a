#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "framework/suite/SfContentAnalyzingEventWrapper.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Kind = XpNamedObjectKind;
using testsupport::ChildChannel;
using testsupport::ForkedChild;

constexpr const char16_t* kEvent = ::SfContentAnalyzingEventWrapper::kEventName;

using SfContentAnalyzingEventWrapper = testsupport::HermeticTest;

TEST_F(SfContentAnalyzingEventWrapper, StaysSetWhileAnyHolderKeepsItAcrossProcesses) {
  auto wrapper = std::make_unique<::SfContentAnalyzingEventWrapper>();
  ASSERT_TRUE(wrapper->IsHeld());

  ForkedChild child;
  ASSERT_TRUE(child.Start([](ChildChannel& channel) {
    ::XpNamedObject event;
    bool existed = false;
    if (event.CreateEvent(kEvent, false, &existed) != kXpOk || !existed) return 1;
    // Manual reset: waiting does not clear it.
    if (event.Wait(kXpTryOnce) != kXpOk || event.Wait(kXpTryOnce) != kXpOk) return 2;
    channel.SignalReady();
    channel.WaitForGo();
    // The wrapper has gone; this handle still sees the event set.
    return event.Wait(kXpTryOnce) == kXpOk ? 0 : 3;
  }));
  ASSERT_TRUE(child.WaitReady());
  wrapper.reset();
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);

  ::XpNamedObject probe;
  EXPECT_EQ(probe.Open(kEvent, Kind::kEvent), kXpErrFileNotFound);
}

TEST_F(SfContentAnalyzingEventWrapper, HoldsNothingWhenTheEventCannotBeMade) {
  const std::filesystem::path notAFolder = Root() / "ipc-file";
  std::ofstream(notAFolder) << "x";
  SetEnv("KAVO_IPC_DIR", notAFolder.string());
  ::SfContentAnalyzingEventWrapper wrapper;
  EXPECT_FALSE(wrapper.IsHeld());
}

}  // namespace
