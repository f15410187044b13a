#include "platform/process/XpSetThreadExecutionState.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/process/ProcessTestSupport.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;
using process_test::ProcessState;
using process_test::ReadText;
using process_test::WaitUntil;

constexpr uint32_t kKeepAwake = kXpEsContinuous | kXpEsSystemRequired;

class XpSetThreadExecutionState : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    ::XpSetThreadExecutionState(kXpEsContinuous);
    program_ = Dir("bin") / "inhibit";
    arguments_ = Dir("bin") / "arguments";
    // Records its arguments, one a line, and its process id, and ends at
    // the end of its input.
    pidFile_ = Dir("bin") / "pid";
    std::ofstream(program_) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << arguments_.string()
                            << ".part'\nmv '" << arguments_.string() << ".part' '"
                            << arguments_.string() << "'\necho $$ > '" << pidFile_.string()
                            << ".part'\nmv '" << pidFile_.string() << ".part' '" << pidFile_.string()
                            << "'\nexec cat > /dev/null\n";
    fs::permissions(program_, fs::perms::owner_all);
    XpSetExecutionStateProgramForTest(XpString::FromUtf8(program_.string()));
  }
  void TearDown() override {
    // The child is gone before its script's folder goes.
    const pid_t holder = XpExecutionStateHolderPid();
    ::XpSetThreadExecutionState(kXpEsContinuous);
    if (holder != 0) {
      EXPECT_TRUE(WaitUntil([&] { return ProcessState(holder) == 0; }));
    }
    XpSetExecutionStateProgramForTest(XpString());
    testsupport::HermeticTest::TearDown();
  }

  fs::path program_;
  fs::path arguments_;
  fs::path pidFile_;
};

TEST_F(XpSetThreadExecutionState, KeepingAwakeStartsOneChildWithTheInhibitArguments) {
  EXPECT_EQ(::XpSetThreadExecutionState(kKeepAwake), kXpEsContinuous);
  const pid_t holder = XpExecutionStateHolderPid();
  ASSERT_NE(holder, 0);
  EXPECT_EQ(::XpSetThreadExecutionState(kKeepAwake), kKeepAwake);
  EXPECT_EQ(XpExecutionStateHolderPid(), holder);

  ASSERT_TRUE(WaitUntil([&] { return fs::exists(arguments_); }));
  EXPECT_EQ(ReadText(arguments_),
            "--what=sleep:idle\n--mode=block\n--who=TLVK2Accessor\n"
            "--why=Writing to the camera\ncat\n");
  EXPECT_NE(ProcessState(holder), 0);
}

TEST_F(XpSetThreadExecutionState, RestoringTheStateEndsAndReapsTheChild) {
  const uint32_t saved = ::XpSetThreadExecutionState(kKeepAwake);
  const pid_t holder = XpExecutionStateHolderPid();
  ASSERT_NE(holder, 0);
  EXPECT_EQ(::XpSetThreadExecutionState(saved), kKeepAwake);
  EXPECT_EQ(XpExecutionStateHolderPid(), 0);
  EXPECT_TRUE(WaitUntil([&] { return ProcessState(holder) == 0; }))
      << "state " << ProcessState(holder);
}

TEST_F(XpSetThreadExecutionState, SystemRequiredAloneChangesNothing) {
  EXPECT_EQ(::XpSetThreadExecutionState(kXpEsSystemRequired), kXpEsContinuous);
  EXPECT_EQ(XpExecutionStateHolderPid(), 0);
  ASSERT_EQ(::XpSetThreadExecutionState(kKeepAwake), kXpEsContinuous);
  const pid_t holder = XpExecutionStateHolderPid();
  EXPECT_EQ(::XpSetThreadExecutionState(kXpEsSystemRequired), kKeepAwake);
  EXPECT_EQ(XpExecutionStateHolderPid(), holder);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(arguments_); }));
  EXPECT_EQ(::XpSetThreadExecutionState(kXpEsContinuous), kKeepAwake);
  EXPECT_TRUE(WaitUntil([&] { return ProcessState(holder) == 0; }));
}

TEST_F(XpSetThreadExecutionState, TheChildEndsWhenItsOwnerDies) {
  testsupport::ForkedChild owner;
  ASSERT_TRUE(owner.Start([](testsupport::ChildChannel& channel) {
    ::XpSetThreadExecutionState(kKeepAwake);
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(owner.WaitReady());
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(arguments_); }));
  // The script ran with the process id of the cat it became.
  pid_t holder = 0;
  ASSERT_TRUE(WaitUntil([&] {
    holder = static_cast<pid_t>(std::atoi(ReadText(pidFile_).c_str()));
    return holder != 0;
  }));
  EXPECT_NE(ProcessState(holder), 0);
  owner.Kill();
  EXPECT_EQ(owner.Wait(), -1);
  // Whoever inherits the orphan may leave it unreaped; it must have ended.
  EXPECT_TRUE(WaitUntil([&] {
    const char state = ProcessState(holder);
    return state == 0 || state == 'Z';
  })) << "state " << ProcessState(holder);
}

TEST_F(XpSetThreadExecutionState, AProgramThatCannotStartHoldsNothing) {
  const fs::path broken = Dir("bin") / "broken";
  std::ofstream(broken) << "#!/nonexistent/interpreter\n";
  fs::permissions(broken, fs::perms::owner_all);
  for (const fs::path& program : {Dir("bin") / "missing", broken}) {
    SCOPED_TRACE(program.string());
    XpSetExecutionStateProgramForTest(XpString::FromUtf8(program.string()));
    EXPECT_EQ(::XpSetThreadExecutionState(kKeepAwake), kXpEsContinuous);
    EXPECT_EQ(XpExecutionStateHolderPid(), 0);
    EXPECT_EQ(::XpSetThreadExecutionState(kXpEsContinuous), kKeepAwake);
  }
}

}  // namespace
