#include "platform/sync/XpSingleInstanceMutex.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/fs/XpSysCalls.h"
#include "platform/sync/XpNamedObjectPath.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

extern char** environ;

namespace {

class SingleInstanceFixture : public testsupport::HermeticTest {};
using XpSingleInstanceMutex = SingleInstanceFixture;

int HoldInstance(testsupport::ChildChannel& channel) {
  ::XpSingleInstanceMutex instance(true);
  if (!instance.IsFirstInstance()) return 1;
  channel.SignalReady();
  channel.WaitForGo();
  return 0;
}

TEST_F(XpSingleInstanceMutex, OnlyTheFirstObjectIsTheFirstInstance) {
  auto first = std::make_unique<::XpSingleInstanceMutex>(true);
  auto second = std::make_unique<::XpSingleInstanceMutex>(true);
  EXPECT_TRUE(first->IsFirstInstance());
  EXPECT_FALSE(second->IsFirstInstance());
  first.reset();
  second.reset();
  EXPECT_TRUE(::XpSingleInstanceMutex(true).IsFirstInstance());
}

TEST_F(XpSingleInstanceMutex, AnotherProcessIsTheFirstUntilItDiesAcrossProcesses) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start(HoldInstance));
  ASSERT_TRUE(child.WaitReady());
  EXPECT_FALSE(::XpSingleInstanceMutex(true).IsFirstInstance());
  child.Kill();
  child.Wait();
  EXPECT_TRUE(::XpSingleInstanceMutex(true).IsFirstInstance());
}

// A program started by the holder does not inherit the mutex. The holder's
// spawn returns while the program is still inside its exec, holding copies
// of the holder's descriptors until the exec closes the close-on-exec ones;
// the program carries the pid pipe's write end the same way, so the pipe's
// end of file tells that its exec is over.
TEST_F(XpSingleInstanceMutex, StartedProgramDoesNotKeepItAcrossProcesses) {
  int pidPipe[2];
  ASSERT_EQ(::pipe2(pidPipe, O_CLOEXEC), 0);
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([&pidPipe](testsupport::ChildChannel& channel) {
    ::XpSingleInstanceMutex instance(true);
    if (!instance.IsFirstInstance()) return 1;
    pid_t sleeper = -1;
    char program[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {program, seconds, nullptr};
    if (::posix_spawn(&sleeper, program, nullptr, nullptr, argv, environ) != 0) return 2;
    if (XpSysCalls::Posix().Write(pidPipe[1], &sleeper, sizeof sleeper) != sizeof sleeper) return 3;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ::close(pidPipe[1]);
  ASSERT_TRUE(child.WaitReady());
  pid_t sleeper = -1;
  ASSERT_EQ(::read(pidPipe[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  child.Kill();
  child.Wait();
  char more = 0;
  const ssize_t endOfFile = ::read(pidPipe[0], &more, sizeof more);
  ::close(pidPipe[0]);
  ASSERT_EQ(endOfFile, 0) << "the started program's exec is over";

  EXPECT_EQ(::kill(sleeper, 0), 0) << "the started program still runs";
  EXPECT_TRUE(::XpSingleInstanceMutex(true).IsFirstInstance());
  ::kill(sleeper, SIGKILL);
}

TEST_F(XpSingleInstanceMutex, NameFoldsAsciiCapitalsAndBackslashes) {
  EXPECT_EQ(::XpSingleInstanceMutex::BuildName(u"/Tools/App", false, 6),
            ::XpSingleInstanceMutex::BuildName(u"/tools/app", false, 6));
  EXPECT_EQ(::XpSingleInstanceMutex::BuildName(u"C:\\Tools\\App.EXE", false, 6),
            XpString(u"c:/tools/app.exe"));
  // Only ASCII letters fold.
  EXPECT_EQ(::XpSingleInstanceMutex::BuildName(u"/\u00c4pp/\u0394", false, 6),
            XpString(u"/\u00c4pp/\u0394"));
}

TEST_F(XpSingleInstanceMutex, GlobalPrefixNeedsGlobalAndVersionFiveOrLater) {
  struct Case {
    bool global;
    uint32_t major;
    const char16_t* name;
  };
  const Case cases[] = {
      {true, 6, u"Global\\/tools/app"},
      {true, 5, u"Global\\/tools/app"},
      {true, 4, u"/tools/app"},
      {false, 6, u"/tools/app"},
      {false, 4, u"/tools/app"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::XpSingleInstanceMutex::BuildName(u"/Tools/App", c.global, c.major),
              XpString(c.name))
        << c.global << " " << c.major;
  }
}

TEST_F(XpSingleInstanceMutex, UsesTheProgramsOwnPathAndTheReportedVersion) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(::XpSingleInstanceMutex::ProgramPath(), XpStringA(self.c_str()).ToWide());

  const std::string file = XpNamedObjectFileName(
      ::XpSingleInstanceMutex::BuildName(::XpSingleInstanceMutex::ProgramPath(), false, 6),
      XpNamedObjectKind::kMutex);
  struct Case {
    const char* osVersion;
    bool global;
    const char* folder;
  };
  const Case cases[] = {
      {nullptr, true, "ipc/global"},
      {nullptr, false, "ipc/session"},
      {"1.4.10", true, "ipc/session"},
      {"fail", true, "ipc/session"},
  };
  for (const Case& c : cases) {
    if (c.osVersion != nullptr) SetEnv("KAVO_OS_VERSION", c.osVersion);
    ::XpSingleInstanceMutex instance(c.global);
    EXPECT_TRUE(instance.IsFirstInstance());
    EXPECT_TRUE(std::filesystem::exists(Root() / c.folder / file))
        << (c.osVersion ? c.osVersion : "default") << " " << c.global;
    std::filesystem::remove(Root() / c.folder / file);
  }
}

}  // namespace
