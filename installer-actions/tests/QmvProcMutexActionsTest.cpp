#include <optional>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "QmvProcLibrary.h"
#include "msi/MsiInstallation.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/testsupport/ForkedChild.h"

namespace installertest {
namespace {

constexpr const char16_t* kInstallerMutex = u"Global\\KavoQMVInstallerMutex";
constexpr const char16_t* kViewerMutex = u"Global\\KavoKorvexViewerMutex";
constexpr const char16_t* kBootstrapMutex = u"Global\\KavoQMVBootstrapMutex";
constexpr const char16_t* kPrepareSemaphore = u"Global\\QMVSetupPrepareMsgSemaphore";

// Child exit codes.
constexpr int kChildDone = 0;
constexpr int kChildFailed = 1;

// What a child process finds when it tries a mutex.
enum class Found { kMissing, kTaken, kBusy };

Found TryMutex(const char16_t* name) {
  XpNamedObject mutex;
  if (mutex.Open(name, XpNamedObjectKind::kMutex) != kXpOk) return Found::kMissing;
  return mutex.Wait(kXpTryOnce) == kXpOk ? Found::kTaken : Found::kBusy;
}

// Runs a check in a child process; true when it held.
bool InChild(const std::function<bool()>& check) {
  testsupport::ForkedChild child;
  if (!child.Start([&](testsupport::ChildChannel&) { return check() ? kChildDone : kChildFailed; })) return false;
  return child.Wait() == kChildDone;
}

// A child that holds a named object (owned or only open) until let go.
class Holder {
 public:
  Holder(const char16_t* name, bool owned) {
    started_ = child_.Start([name, owned](testsupport::ChildChannel& channel) {
      XpNamedObject mutex;
      if (mutex.CreateMutex(name, owned) != kXpOk) return kChildFailed;
      channel.SignalReady();
      channel.WaitForGo();
      return kChildDone;
    });
    ready_ = started_ && child_.WaitReady();
  }
  ~Holder() {
    if (started_) {
      child_.LetGo();
      (void)child_.Wait();
    }
  }
  bool Ready() const { return ready_; }

 private:
  testsupport::ForkedChild child_;
  bool started_ = false;
  bool ready_ = false;
};

class QmvProcMutexActions : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    InstallLogging();
  }
  void TearDown() override {
    // The held mutexes are statics of the library: let them go before the
    // next test.
    Run("QMV_ReleaseQMVMutex");
    InstallerTest::TearDown();
  }
  void InstallLogging() {
    Install({{u"QMVLOGGING", u"True"}, {u"QMV_INSTALLER_LOGFILENAME", u"test.log"}});
  }
  void Run(const char* action) {
    const QmvAction call = QmvProcExport(action);
    ASSERT_NE(call, nullptr) << action;
    EXPECT_EQ(call(install_), 0u) << action;
  }
  std::optional<std::u16string> Property(const std::u16string& name) const { return msi::PropertyOf(install_, name); }
  std::string Log() const { return ReadFile(LogPath()); }
  bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
};

TEST_F(QmvProcMutexActions, AliveHoldsBothMutexesWhenNobodyHasThem) {
  Run("QMV_AliveQMVMutex");
  EXPECT_EQ(Property(u"QMVMUTEXCHECK_FLAG"), u"False");
  EXPECT_TRUE(InChild([] { return TryMutex(kInstallerMutex) == Found::kBusy && TryMutex(kViewerMutex) == Found::kBusy; }));
  EXPECT_TRUE(Logged("[QMV_AliveQMVMutex End]\r\n\tSetPropertyMsi Return : 0\r\n\tMutex Check: 0\r\n\tResult: False\r\n"))
      << Log();
}

TEST_F(QmvProcMutexActions, AliveTakesNothingWhenAnotherHasAMutex) {
  struct Case {
    const char16_t* held;
    const char16_t* missing;
  } cases[] = {{kInstallerMutex, kViewerMutex}, {kViewerMutex, kInstallerMutex}};
  for (const Case& c : cases) {
    Holder holder(c.held, true);
    ASSERT_TRUE(holder.Ready());
    Run("QMV_AliveQMVMutex");
    EXPECT_EQ(Property(u"QMVMUTEXCHECK_FLAG"), u"True");
    EXPECT_TRUE(InChild([&] { return TryMutex(c.missing) == Found::kMissing; }));
    EXPECT_TRUE(InChild([&] { return TryMutex(c.held) == Found::kBusy; }));
  }
  EXPECT_TRUE(Logged("\tMutex Check: 1\r\n\tResult: True\r\n")) << Log();
}

TEST_F(QmvProcMutexActions, ReleaseOnTheOwningThreadFreesBoth) {
  Run("QMV_AliveQMVMutex");
  Run("QMV_ReleaseQMVMutex");
  EXPECT_TRUE(InChild([] { return TryMutex(kInstallerMutex) == Found::kTaken && TryMutex(kViewerMutex) == Found::kTaken; }));
  EXPECT_TRUE(Logged("[QMV_ReleaseQMVMutex OpenMutex()]\r\n\tOpenMutex OLD\r\n\tRelease: 1\r\n\tClose: 1\r\n")) << Log();
  EXPECT_TRUE(Logged("[QMV_ReleaseQMVMutex OpenMutex()]\r\n\tOpenMutex NEW\r\n\tRelease: 1\r\n\tClose: 1\r\n")) << Log();
  EXPECT_TRUE(Logged("[QMV_ReleaseQMVMutex End]\r\n\tQMV_ReleaseQMVMutex End\r\n")) << Log();
}

TEST_F(QmvProcMutexActions, ReleaseOnAnotherThreadOnlyLogs) {
  Run("QMV_AliveQMVMutex");
  std::thread other([this] { Run("QMV_ReleaseQMVMutex"); });
  other.join();
  EXPECT_TRUE(Logged("\tOpenMutex OLD\r\n\tRelease: 0\r\n\tClose: 1\r\n")) << Log();
  EXPECT_TRUE(Logged("\tOpenMutex NEW\r\n\tRelease: 0\r\n\tClose: 1\r\n")) << Log();
  EXPECT_TRUE(InChild([] { return TryMutex(kInstallerMutex) == Found::kBusy && TryMutex(kViewerMutex) == Found::kBusy; }));
}

TEST_F(QmvProcMutexActions, ReleaseWithNothingThereLogsNotFound) {
  Run("QMV_ReleaseQMVMutex");
  EXPECT_TRUE(Logged("\tOpenMutex OLD Error\r\n\tGetLastError(): 2\r\n")) << Log();
  EXPECT_TRUE(Logged("\tOpenMutex NEW Error\r\n\tGetLastError(): 2\r\n")) << Log();
}

TEST_F(QmvProcMutexActions, BootstrapFlagTellsWhetherAnotherOwnsIt) {
  Run("QMV_LaunchBootstrapMutex");
  EXPECT_EQ(Property(u"LAUNCH_BOOTSTRAP_FLAG"), u"False");
  EXPECT_TRUE(InChild([] { return TryMutex(kBootstrapMutex) == Found::kMissing; }));
  {
    Holder owner(kBootstrapMutex, true);
    ASSERT_TRUE(owner.Ready());
    Run("QMV_LaunchBootstrapMutex");
    EXPECT_EQ(Property(u"LAUNCH_BOOTSTRAP_FLAG"), u"True");
  }
  {
    Holder opener(kBootstrapMutex, false);
    ASSERT_TRUE(opener.Ready());
    Run("QMV_LaunchBootstrapMutex");
    EXPECT_EQ(Property(u"LAUNCH_BOOTSTRAP_FLAG"), u"False");
    EXPECT_TRUE(InChild([] { return TryMutex(kBootstrapMutex) == Found::kTaken; }));
  }
  EXPECT_TRUE(Logged("[QMV_LaunchBootstrapMutex End]\r\n\tSetPropertyMsi Return : 0\r\n\tMutex Check: 1\r\n\tResult: True\r\n"))
      << Log();
}

TEST_F(QmvProcMutexActions, PreparingWindowWithoutSemaphoreOnlyLogs) {
  Run("QMV_ClosePreparingWindow");
  EXPECT_TRUE(Logged("] : []\r\n\tOpenSemaphore() Fail\r\n")) << Log();
  EXPECT_FALSE(Logged("ReleaseSemaphore")) << Log();
}

TEST_F(QmvProcMutexActions, PreparingWindowReleasesTheSemaphoreOnce) {
  testsupport::ForkedChild setup;
  ASSERT_TRUE(setup.Start([](testsupport::ChildChannel& channel) {
    XpNamedObject semaphore;
    if (semaphore.CreateSemaphore(kPrepareSemaphore, 0, 1) != kXpOk) return kChildFailed;
    if (semaphore.Wait(kXpTryOnce) != kXpErrTimeout) return kChildFailed;
    channel.SignalReady();
    channel.WaitForGo();
    return semaphore.Wait(kXpTryOnce) == kXpOk ? kChildDone : kChildFailed;
  }));
  ASSERT_TRUE(setup.WaitReady());
  Run("QMV_ClosePreparingWindow");
  EXPECT_TRUE(Logged("\tOpenSemaphore() Success\r\n")) << Log();
  EXPECT_TRUE(Logged("\tReleaseSemaphore() success\r\n")) << Log();
  Run("QMV_ClosePreparingWindow");
  EXPECT_TRUE(Logged("\tReleaseSemaphore() Fail\r\n")) << Log();
  setup.LetGo();
  EXPECT_EQ(setup.Wait(), kChildDone);
}

}  // namespace
}  // namespace installertest
