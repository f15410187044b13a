#include "setup/launch/VolumeWatcherControl.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"

namespace {

namespace fs = std::filesystem;

// Time that only moves when slept.
class FakeWaitClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    now_ += duration;
    slept += duration;
  }
  std::chrono::milliseconds slept{0};

 private:
  TimePoint now_{};
};

class VolumeWatcherFixture : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    SetEnv("WATCHER_RECORD", Record().string());
    const XpString key = XpString(kSetupProductKey) + u"\\VolumeWatcher";
    setuptest::SetMachineString(key, u"CurrentVersion", u"1.0");
    setuptest::SetMachineString(key + u"\\1.0", u"InstalledLocation",
                                XpString::FromUtf8((Root() / "T/w").string()));
    setuptest::SetMachineString(key + u"\\1.0", u"ExeName", u"QMVVolumnWatcher.exe");
  }

  fs::path Watcher() const { return Root() / "T/w/QMVVolumnWatcher"; }
  fs::path Record() const { return Root() / "watcher.record"; }
  fs::path Proc() const { return fs::path(std::getenv("KAVO_SYSROOT")) / "proc"; }

  // A recording watcher: one line of its arguments per run, then the exit
  // code $WATCHER_EXIT.
  void WriteWatcher(const fs::path& path) const {
    setuptest::WriteFile(path,
                         "#!/bin/sh\necho \"run${*:+ $*}\" >>\"$WATCHER_RECORD\"\n"
                         "exit \"${WATCHER_EXIT:-0}\"\n");
    fs::permissions(path, fs::perms::owner_all);
  }

  void AddProcess(const std::string& pid, const std::string& target, const std::string& commandLine) const {
    fs::create_directories(Proc() / pid);
    if (!target.empty()) fs::create_symlink(target, Proc() / pid / "exe");
    std::ofstream(Proc() / pid / "cmdline", std::ios::binary) << commandLine;
  }

  std::string Recorded() const {
    std::ifstream in(Record());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  FakeWaitClock clock_;
  testsupport::FaultInjection faults_;
};
using VolumeWatcherControl = VolumeWatcherFixture;

TEST_F(VolumeWatcherControl, LocateTakesTheFileOrTheNameWithoutExeAndNeverLooksOnPath) {
  ::VolumeWatcherControl watcher(clock_);
  // Neither file exists, though one is on PATH.
  WriteWatcher(Root() / "onpath/QMVVolumnWatcher");
  SetEnv("PATH", (Root() / "onpath").string() + ":/usr/bin:/bin");
  EXPECT_FALSE(watcher.Locate());
  EXPECT_EQ(watcher.Path(), u"");
  EXPECT_EQ(watcher.Name(), u"");

  WriteWatcher(Watcher());
  ASSERT_TRUE(watcher.Locate());
  EXPECT_EQ(watcher.Path(), XpString::FromUtf8(Watcher().string()));
  EXPECT_EQ(watcher.Name(), u"QMVVolumnWatcher");

  WriteWatcher(Root() / "T/w/QMVVolumnWatcher.exe");
  ASSERT_TRUE(watcher.Locate());
  EXPECT_EQ(watcher.Name(), u"QMVVolumnWatcher.exe");
}

TEST_F(VolumeWatcherControl, IsRunningComparesTheExecutableNameExactly) {
  WriteWatcher(Watcher());
  ::VolumeWatcherControl watcher(clock_);
  ASSERT_TRUE(watcher.Locate());
  EXPECT_FALSE(watcher.IsRunning());
  AddProcess("124", "/opt/x/qmvvolumnwatcher", "");
  EXPECT_FALSE(watcher.IsRunning());
  AddProcess("123", "/opt/x/QMVVolumnWatcher", "");
  EXPECT_TRUE(watcher.IsRunning());

  fs::remove_all(Proc() / "123");
  using namespace std::string_literals;
  AddProcess("125", "/opt/y/other", "QMVVolumnWatcher\0-x"s);
  faults_.Add(testsupport::Fault(testsupport::SysCall::kReadlink, (Proc() / "125").string()).Errno(EACCES));
  EXPECT_TRUE(watcher.IsRunning());
}

TEST_F(VolumeWatcherControl, StopAsksARunningWatcherToExitThenPauses) {
  WriteWatcher(Watcher());
  ::VolumeWatcherControl watcher(clock_);
  EXPECT_TRUE(watcher.Stop());
  EXPECT_EQ(Recorded(), "");
  EXPECT_EQ(clock_.slept.count(), 0);

  AddProcess("123", "/opt/x/QMVVolumnWatcher", "");
  SetEnv("WATCHER_EXIT", "3010");
  EXPECT_TRUE(watcher.Stop());
  EXPECT_EQ(Recorded(), "run /exitall\n");
  EXPECT_EQ(clock_.slept.count(), 5000);
  EXPECT_TRUE(watcher.IsRestartNeeded());

  SetEnv("WATCHER_EXIT", "4");
  EXPECT_FALSE(watcher.Stop());
}

TEST_F(VolumeWatcherControl, StartRunsAWatcherThatDoesNotRun) {
  WriteWatcher(Watcher());
  ::VolumeWatcherControl watcher(clock_);
  AddProcess("123", "/opt/x/QMVVolumnWatcher", "");
  watcher.Start();
  fs::remove_all(Proc() / "123");
  watcher.Start();
  // The started watcher is let go; its line appears once it has run.
  for (int i = 0; i < 200 && Recorded().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Recorded(), "run\n");
}

TEST_F(VolumeWatcherControl, RegisterRunsWhatTheRebootAndRegistrationChoose) {
  WriteWatcher(Watcher());
  struct Case {
    bool requireReboot;
    bool registration;
    const char* recorded;
  };
  const Case cases[] = {
      {true, true, "run /install /reboot\n"},
      {true, false, "run /reboot\n"},
      {false, true, "run /install\n"},
      {false, false, ""},
  };
  for (const Case& c : cases) {
    fs::remove(Record());
    ::VolumeWatcherControl watcher(clock_);
    EXPECT_TRUE(watcher.Register(c.registration, c.requireReboot));
    EXPECT_EQ(Recorded(), c.recorded);
    EXPECT_FALSE(watcher.IsRestartNeeded());
  }
  SetEnv("WATCHER_EXIT", "3010");
  ::VolumeWatcherControl restarting(clock_);
  EXPECT_TRUE(restarting.Register(true, false));
  EXPECT_TRUE(restarting.IsRestartNeeded());
  // Other codes fail silently.
  SetEnv("WATCHER_EXIT", "9");
  ::VolumeWatcherControl failing(clock_);
  EXPECT_FALSE(failing.Register(true, false));
  EXPECT_FALSE(failing.IsRestartNeeded());
}

}  // namespace
