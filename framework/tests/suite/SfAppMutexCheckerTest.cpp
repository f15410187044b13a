#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/suite/SfAppMutexChecker.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using Kind = XpNamedObjectKind;
using testsupport::ChildChannel;
using testsupport::ForkedChild;

constexpr const char16_t* kAppMutex = ::SfAppMutexChecker::kApplicationMutexName;
constexpr const char16_t* kDriveMutex = ::SfAppMutexChecker::kDriveAccessMutexName;

// Whether anybody holds the named object: opening it does not make it.
bool Exists(const char16_t* name, Kind kind) {
  ::XpNamedObject probe;
  return probe.Open(name, kind) == kXpOk;
}

// A child that creates the mutex, owned or not, says ready and keeps it
// until let go; then it tries to take it and exits 0 when that worked.
ForkedChild::Body HoldMutex(const char16_t* name, bool owned) {
  return [name, owned](ChildChannel& channel) {
    ::XpNamedObject mutex;
    if (mutex.CreateMutex(name, owned) != kXpOk) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return mutex.Wait(kXpTryOnce) == kXpOk ? 0 : 2;
  };
}

// A child that opens the existing mutex and exits 0 when it can take it.
ForkedChild::Body TakeExisting(const char16_t* name) {
  return [name](ChildChannel&) {
    ::XpNamedObject mutex;
    bool existed = false;
    if (mutex.CreateMutex(name, false, &existed) != kXpOk || !existed) return 1;
    return mutex.Wait(kXpTryOnce) == kXpOk ? 0 : 2;
  };
}

// Runs body in a child and gives its exit code.
int RunChild(const ForkedChild::Body& body) {
  ForkedChild child;
  if (!child.Start(body)) return -1;
  return child.Wait();
}

// Sends standard error (file descriptor 2) to a file while it lives.
class StderrCapture {
 public:
  explicit StderrCapture(fs::path file) : file_(std::move(file)) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int fd = XpSysCalls::Posix().Open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~StderrCapture() { Stop(); }

  // Restores standard error and returns what reached it.
  std::string Stop() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
    std::ifstream in(file_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  fs::path file_;
  int saved_ = -1;
};

using SfAppMutexChecker = testsupport::HermeticTest;

enum class ChildEnd { kLetGo, kKilledWhileHeldHere };

struct MutexCase {
  const char* name;
  const char16_t* mutex;
  bool (::SfAppMutexChecker::*check)();
  bool childOwns;
  ChildEnd end;
  bool expected;
};

TEST_F(SfAppMutexChecker, ChecksTheViewerMutexesAcrossProcesses) {
  const MutexCase cases[] = {
      {"owned application mutex", kAppMutex, &::SfAppMutexChecker::CheckApplicationMutex, true,
       ChildEnd::kLetGo, false},
      {"open application mutex", kAppMutex, &::SfAppMutexChecker::CheckApplicationMutex, false,
       ChildEnd::kLetGo, true},
      {"owner killed", kAppMutex, &::SfAppMutexChecker::CheckApplicationMutex, true,
       ChildEnd::kKilledWhileHeldHere, true},
      {"owned viewer mutex", ::SfAppMutexChecker::kViewerMutexName,
       &::SfAppMutexChecker::CheckViewerMutex, true, ChildEnd::kLetGo, false},
  };
  for (const MutexCase& c : cases) {
    SCOPED_TRACE(c.name);
    ForkedChild child;
    ASSERT_TRUE(child.Start(HoldMutex(c.mutex, c.childOwns)));
    ASSERT_TRUE(child.WaitReady());
    ::XpNamedObject heldHere;
    if (c.end == ChildEnd::kKilledWhileHeldHere) {
      ASSERT_EQ(heldHere.CreateMutex(c.mutex, false), kXpOk);
      child.Kill();
      EXPECT_EQ(child.Wait(), -1);
    }

    auto checker = std::make_unique<::SfAppMutexChecker>(false);
    EXPECT_EQ((checker.get()->*c.check)(), c.expected);
    const bool kept =
        c.mutex == kAppMutex ? checker->HoldsApplicationMutex() : checker->HoldsViewerMutex();
    EXPECT_EQ(kept, c.expected);

    if (c.end == ChildEnd::kLetGo) {
      child.LetGo();
      // A mutex that the checker took to test it was released again.
      EXPECT_EQ(child.Wait(), 0);
    } else {
      heldHere.Close();
      EXPECT_EQ(RunChild(TakeExisting(c.mutex)), 0);
    }
    // Only a kept handle keeps the mutex in existence.
    EXPECT_EQ(Exists(c.mutex, Kind::kMutex), c.expected);
    checker.reset();
    EXPECT_FALSE(Exists(c.mutex, Kind::kMutex));
  }
}

TEST_F(SfAppMutexChecker, TwoCheckersInOneProcessBothPass) {
  ::SfAppMutexChecker first(false);
  ::SfAppMutexChecker second(false);
  EXPECT_TRUE(first.CheckApplicationMutex());
  EXPECT_TRUE(second.CheckApplicationMutex());
  EXPECT_TRUE(first.HoldsApplicationMutex());
  EXPECT_TRUE(second.HoldsApplicationMutex());
  // Neither kept ownership: another process takes it at once.
  EXPECT_EQ(RunChild(TakeExisting(kAppMutex)), 0);
}

TEST_F(SfAppMutexChecker, DriveAccessIsFreeOnlyWhileNobodyHasTheMutexAcrossProcesses) {
  EXPECT_TRUE(::SfAppMutexChecker::IsDriveAccessFree());
  EXPECT_FALSE(Exists(kDriveMutex, Kind::kMutex));

  ForkedChild child;
  ASSERT_TRUE(child.Start(HoldMutex(kDriveMutex, false)));
  ASSERT_TRUE(child.WaitReady());
  EXPECT_FALSE(::SfAppMutexChecker::IsDriveAccessFree());
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_TRUE(::SfAppMutexChecker::IsDriveAccessFree());
}

TEST_F(SfAppMutexChecker, ContentAnalyzingEventIsSetWhileTheCheckerLivesAcrossProcesses) {
  constexpr const char16_t* kEvent = SfContentAnalyzingEventWrapper::kEventName;
  auto checker = std::make_unique<::SfAppMutexChecker>(false);
  EXPECT_FALSE(checker->HoldsContentAnalyzingEvent());
  checker->CreateContentAnalyzingEvent();
  EXPECT_TRUE(checker->HoldsContentAnalyzingEvent());

  ForkedChild child;
  ASSERT_TRUE(child.Start([kEvent](ChildChannel& channel) {
    ::XpNamedObject event;
    if (event.Open(kEvent, Kind::kEvent) != kXpOk) return 1;
    if (event.Wait(kXpTryOnce) != kXpOk) return 2;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());
  checker.reset();
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_FALSE(Exists(kEvent, Kind::kEvent));
}

TEST_F(SfAppMutexChecker, FirstInstanceAndReleaseAll) {
  ::SfAppMutexChecker first(false);
  ::SfAppMutexChecker second(false);
  EXPECT_TRUE(first.IsFirstInstance());
  EXPECT_FALSE(second.IsFirstInstance());

  EXPECT_TRUE(first.CheckApplicationMutex());
  EXPECT_TRUE(first.CheckViewerMutex());
  first.CreateContentAnalyzingEvent();
  first.ReleaseAll();
  first.ReleaseAll();
  EXPECT_FALSE(first.HoldsApplicationMutex());
  EXPECT_FALSE(first.HoldsViewerMutex());
  EXPECT_FALSE(first.HoldsContentAnalyzingEvent());
  EXPECT_FALSE(first.IsFirstInstance());
  EXPECT_FALSE(Exists(kAppMutex, Kind::kMutex));
  EXPECT_FALSE(Exists(::SfAppMutexChecker::kViewerMutexName, Kind::kMutex));
  EXPECT_FALSE(Exists(SfContentAnalyzingEventWrapper::kEventName, Kind::kEvent));
}

TEST_F(SfAppMutexChecker, UnusableLockFolderPassesWithOneLineOnStandardError) {
  const fs::path notAFolder = Root() / "ipc-file";
  std::ofstream(notAFolder) << "x";
  SetEnv("KAVO_IPC_DIR", notAFolder.string());

  StderrCapture capture(Root() / "stderr.txt");
  bool answer = false;
  bool kept = true;
  {
    ::SfAppMutexChecker checker(false);
    answer = checker.CheckApplicationMutex();
    kept = checker.HoldsApplicationMutex();
  }
  const std::string errors = capture.Stop();
  EXPECT_TRUE(answer);
  EXPECT_FALSE(kept);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
  EXPECT_NE(errors.find("KavoKorvexViewerApplicationMutex"), std::string::npos) << errors;
  EXPECT_NE(errors.find("0x"), std::string::npos) << errors;
}

// Window list and clock fakes for the activation.

class FakeClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    sleeps.push_back(duration);
    now_ += duration;
  }

  std::vector<std::chrono::milliseconds> sleeps;

 private:
  TimePoint now_;
};

class FakeWindowList : public ISfWindowList {
 public:
  struct Window {
    SfWindowHandle handle;
    uint32_t threadId;
    bool minimized;
    std::map<std::u16string, bool> properties;
  };

  explicit FakeWindowList(std::vector<Window> windows) : windows_(std::move(windows)) {}

  SfWindowHandle GetFirstWindow() override { return windows_.empty() ? 0 : windows_[0].handle; }
  SfWindowHandle GetNextWindow(SfWindowHandle window) override {
    for (size_t i = 0; i + 1 < windows_.size(); ++i) {
      if (windows_[i].handle == window) return windows_[i + 1].handle;
    }
    return 0;
  }
  bool HasProperty(SfWindowHandle window, const XpString& name) override {
    return At(window).properties.count(std::u16string(name.View())) != 0;
  }
  bool SetProperty(SfWindowHandle window, const XpString& name) override {
    At(window).properties[std::u16string(name.View())] = true;
    return true;
  }
  void RemoveProperty(SfWindowHandle window, const XpString& name) override {
    At(window).properties.erase(std::u16string(name.View()));
  }
  bool IsMinimized(SfWindowHandle window) override { return At(window).minimized; }
  void Restore(SfWindowHandle window) override {
    restored.push_back(window);
    At(window).minimized = false;
  }
  uint32_t GetThreadId(SfWindowHandle window) override { return At(window).threadId; }
  void BringForward(SfWindowHandle window, uint32_t threadId) override {
    broughtForward.emplace_back(window, threadId);
  }
  void SendCopyData(SfWindowHandle window, SfWindowHandle sender,
                    const SfCopyDataRecord& record) override {
    copyData.push_back({window, sender, record.tag, record.size, record.data});
  }

  struct Sent {
    SfWindowHandle window;
    SfWindowHandle sender;
    uintptr_t tag;
    uint32_t size;
    const void* data;
  };
  std::vector<SfWindowHandle> restored;
  std::vector<std::pair<SfWindowHandle, uint32_t>> broughtForward;
  std::vector<Sent> copyData;

 private:
  Window& At(SfWindowHandle window) {
    for (Window& each : windows_) {
      if (each.handle == window) return each;
    }
    ADD_FAILURE() << "no window " << window;
    return windows_.front();
  }

  std::vector<Window> windows_;
};

TEST_F(SfAppMutexChecker, ActivationWithoutWindowsGivesUpAfterAllPasses) {
  FakeClock clock;
  EXPECT_FALSE(::SfAppMutexChecker::ActivateRunningInstance(
      nullptr, SfTerminalWindowList::Instance(), clock));
  ASSERT_EQ(clock.sleeps.size(), 300u);
  for (const std::chrono::milliseconds sleep : clock.sleeps) {
    EXPECT_EQ(sleep, std::chrono::milliseconds(100));
  }
  // The terminal list marks nothing.
  ::SfAppMutexChecker::MarkMainWindow(1);
  EXPECT_FALSE(
      SfTerminalWindowList::Instance().HasProperty(1, ::SfAppMutexChecker::GetWindowMarkName()));
}

TEST_F(SfAppMutexChecker, ActivationBringsForwardTheFirstMarkedWindowWithAThread) {
  FakeWindowList windows({
      {1, 9, true, {}},   // not marked
      {2, 0, true, {}},   // marked, but its thread is unknown
      {3, 5, true, {}},   // marked and minimised: the one
      {4, 6, false, {}},  // marked, later in the list
  });
  for (SfWindowHandle marked : {2, 3, 4}) ::SfAppMutexChecker::MarkMainWindow(marked, windows);
  const char payload[] = "open /a/1.jpg";
  const SfCopyDataRecord record{0x4B32, sizeof payload, payload};

  FakeClock clock;
  EXPECT_TRUE(::SfAppMutexChecker::ActivateRunningInstance(&record, windows, clock));
  EXPECT_EQ(clock.sleeps.size(), 1u);
  EXPECT_EQ(windows.restored, (std::vector<SfWindowHandle>{2, 3}));
  EXPECT_EQ(windows.broughtForward, (std::vector<std::pair<SfWindowHandle, uint32_t>>{{3, 5}}));
  ASSERT_EQ(windows.copyData.size(), 1u);
  EXPECT_EQ(windows.copyData[0].window, 3u);
  EXPECT_EQ(windows.copyData[0].sender, 3u);
  EXPECT_EQ(windows.copyData[0].tag, 0x4B32u);
  EXPECT_EQ(windows.copyData[0].size, sizeof payload);
  EXPECT_EQ(windows.copyData[0].data, payload);

  // Unmarked, only the thread-less window remains: nothing is found.
  ::SfAppMutexChecker::UnmarkMainWindow(3, windows);
  ::SfAppMutexChecker::UnmarkMainWindow(4, windows);
  FakeClock again;
  EXPECT_FALSE(::SfAppMutexChecker::ActivateRunningInstance(nullptr, windows, again));
  EXPECT_EQ(again.sleeps.size(), 300u);
  EXPECT_EQ(windows.broughtForward.size(), 1u);
  EXPECT_EQ(windows.copyData.size(), 1u);
}

}  // namespace
