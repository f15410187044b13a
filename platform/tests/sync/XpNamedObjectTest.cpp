#include "platform/sync/XpNamedObject.h"

#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/XpSysFailure.h"
#include "platform/sync/XpNamedObjectPath.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/sync/Eventually.h"

namespace {

class NamedObjectFixture : public testsupport::HermeticTest {};
using XpNamedObject = NamedObjectFixture;
using Kind = XpNamedObjectKind;

// Time that passes only when a wait sleeps.
class FakeClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    now_ += duration;
    if (onSleep) onSleep(Elapsed());
  }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint());
  }
  std::function<void(std::chrono::milliseconds)> onSleep;

 private:
  TimePoint now_{};
};

[[nodiscard]] XpResult Create(::XpNamedObject& object, const XpString& name, Kind kind,
                              bool* existed) {
  switch (kind) {
    case Kind::kMutex:
      return object.CreateMutex(name, false, existed);
    case Kind::kEvent:
      return object.CreateEvent(name, false, existed);
    case Kind::kSemaphore:
      return object.CreateSemaphore(name, 0, 1, existed);
  }
  return kXpErrSync;
}

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

template <typename Body>
[[nodiscard]] XpResult OnOtherThread(Body body) {
  XpResult result = kXpErrSync;
  std::thread([&] { result = body(); }).join();
  return result;
}

TEST_F(XpNamedObject, PlacesEachNameInTheFolderOfItsScope) {
  struct Case {
    const char16_t* name;
    Kind kind;
    const char* file;
  };
  const Case cases[] = {
      {u"Global\\KavoN", Kind::kMutex, "ipc/global/KavoN.mutex"},
      {u"KavoN", Kind::kMutex, "ipc/session/KavoN.mutex"},
      {u"Global\\KavoN", Kind::kEvent, "ipc/global/KavoN.event"},
      {u"KavoN", Kind::kSemaphore, "ipc/session/KavoN.sem"},
      {u"a/b%c d", Kind::kMutex, "ipc/session/a%2Fb%25c%20d.mutex"},
      {u"back\\slash~", Kind::kMutex, "ipc/session/back%5Cslash%7E.mutex"},
      {u"Global\\/tools/app", Kind::kMutex, "ipc/global/%2Ftools%2Fapp.mutex"},
      {u"caf\u00e9", Kind::kEvent, "ipc/session/caf%C3%A9.event"},
  };
  for (const Case& c : cases) {
    ::XpNamedObject object;
    bool existed = true;
    ASSERT_EQ(Create(object, c.name, c.kind, &existed), kXpOk) << c.file;
    EXPECT_FALSE(existed) << c.file;
    EXPECT_TRUE(std::filesystem::is_regular_file(Root() / c.file)) << c.file;
  }
}

TEST_F(XpNamedObject, SharedFilesAreOpenToEverybodyAndPrivateOnesAreNot) {
  const mode_t saved = ::umask(077);
  ::XpNamedObject shared;
  ::XpNamedObject own;
  ASSERT_EQ(shared.CreateMutex(u"Global\\KavoModes", false), kXpOk);
  ASSERT_EQ(own.CreateMutex(u"KavoModes", false), kXpOk);
  ::umask(saved);
  EXPECT_EQ(ModeOf(Root() / "ipc/global"), 01777u);
  EXPECT_EQ(ModeOf(Root() / "ipc/global/KavoModes.mutex"), 0666u);
  EXPECT_EQ(ModeOf(Root() / "ipc/session"), 0700u);
  EXPECT_EQ(ModeOf(Root() / "ipc/session/KavoModes.mutex"), 0600u);
}

TEST_F(XpNamedObject, RefusesAnEmptyNameAndAForeignPrivateFolder) {
  ::XpNamedObject object;
  EXPECT_EQ(object.CreateMutex(u"", false), kXpErrBadArgument);
  std::filesystem::create_directories(Root() / "ipc/session");
  std::filesystem::permissions(Root() / "ipc/session", std::filesystem::perms::all);
  EXPECT_EQ(object.CreateMutex(u"KavoOpenFolder", false), kXpErrAccessDenied);
  EXPECT_FALSE(object.IsOpen());
}

TEST_F(XpNamedObject, AFailedCreateRecordsTheFolderOrFileAndWhy) {
  const std::string ipc = (Root() / "ipc").string();
  const std::string folder = ipc + "/session";
  const std::string file = folder + "/KavoFails.mutex";
  using testsupport::Fault;
  using testsupport::SysCall;
  struct Case {
    const char* name;
    std::function<void(testsupport::FaultInjection&)> arrange;
    XpResult result;
    std::string failure;
  };
  const Case cases[] = {
      {"no space for the folder",
       [&](testsupport::FaultInjection& faults) { faults.Add(Fault(SysCall::kMkdir, folder).Errno(ENOSPC)); },
       kXpErrDiskFull, "mkdir " + folder + ": No space left on device"},
      {"read-only folder",
       [&](testsupport::FaultInjection& faults) { faults.Add(Fault(SysCall::kMkdir, folder).Errno(EROFS)); },
       kXpErrAccessDenied, "mkdir " + folder + ": Read-only file system"},
      {"no space for the file",
       [&](testsupport::FaultInjection& faults) { faults.Add(Fault(SysCall::kOpen, file).Errno(ENOSPC)); },
       kXpErrDiskFull, "open " + file + ": No space left on device"},
      {"a file where the folder goes",
       [&](testsupport::FaultInjection&) {
         std::filesystem::create_directories(ipc);
         std::ofstream(folder) << "x";
       },
       kXpErrAccessDenied, "lstat " + folder + ": Not a directory"},
      {"a folder open to others",
       [&](testsupport::FaultInjection&) {
         std::filesystem::create_directories(folder);
         std::filesystem::permissions(folder, std::filesystem::perms::all);
       },
       kXpErrAccessDenied, "lstat " + folder + ": Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(ipc);
    testsupport::FaultInjection faults;
    c.arrange(faults);
    XpClearSysFailure();
    ::XpNamedObject object;

    EXPECT_EQ(object.CreateMutex(u"KavoFails", false), c.result);

    EXPECT_EQ(XpDescribeSysFailure(XpLastSysFailure()), c.failure);
    EXPECT_FALSE(object.IsOpen());
  }
}

// Finding the lock file there or an object missing is an answer, not a
// failure to tell of.
TEST_F(XpNamedObject, ExpectedAnswersLeaveTheRecordOfFailuresAlone) {
  ::XpNamedObject first;
  ASSERT_EQ(first.CreateMutex(u"Global\\KavoAnswers", false), kXpOk);
  first.Close();
  XpRecordSysFailure("write", "/earlier/file", EIO);

  ::XpNamedObject again;
  bool existed = true;
  EXPECT_EQ(again.CreateMutex(u"Global\\KavoAnswers", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  ::XpNamedObject missing;
  EXPECT_EQ(missing.Open(u"KavoNobodyHasIt", Kind::kMutex), kXpErrFileNotFound);

  EXPECT_EQ(XpDescribeSysFailure(XpLastSysFailure()), "write /earlier/file: Input/output error");
}

TEST_F(XpNamedObject, LongNamesKeepTheirBeginningAndEndWithAHash) {
  const std::u16string stem(300, u'n');
  const XpString first(stem + u"1");
  const XpString second(stem + u"2");
  const std::string firstFile = XpNamedObjectFileName(first, Kind::kMutex);
  const std::string secondFile = XpNamedObjectFileName(second, Kind::kMutex);
  EXPECT_LE(firstFile.size(), 255u);
  EXPECT_EQ(firstFile.rfind("nnnn", 0), 0u);
  EXPECT_NE(firstFile.find('~'), std::string::npos);
  EXPECT_TRUE(firstFile.ends_with(".mutex"));
  EXPECT_NE(firstFile, secondFile);
  // A cut never splits an escape.
  const std::string escaped = XpNamedObjectFileName(XpString(std::u16string(300, u' ')), Kind::kEvent);
  EXPECT_EQ(escaped.find('~') % 3, 0u);

  ::XpNamedObject a, b, again;
  bool existed = true;
  ASSERT_EQ(a.CreateEvent(first, false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  ASSERT_EQ(b.CreateEvent(second, false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  ASSERT_EQ(a.SetEvent(), kXpOk);
  EXPECT_EQ(b.Wait(0), kXpErrTimeout);
  ASSERT_EQ(again.CreateEvent(first, false, &existed), kXpOk);
  EXPECT_TRUE(existed);
  EXPECT_EQ(again.Wait(0), kXpOk);
}

TEST_F(XpNamedObject, GlobalAndSessionNamesAreTwoObjects) {
  ::XpNamedObject global, session;
  bool existed = true;
  ASSERT_EQ(global.CreateEvent(u"Global\\KavoN", true, &existed), kXpOk);
  EXPECT_FALSE(existed);
  ASSERT_EQ(session.CreateEvent(u"KavoN", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  EXPECT_EQ(global.Wait(0), kXpOk);
  EXPECT_EQ(session.Wait(0), kXpErrTimeout);
}

TEST_F(XpNamedObject, ExistsWhileAnyHandleIsOpen) {
  auto first = std::make_unique<::XpNamedObject>();
  ::XpNamedObject second, opened;
  bool existed = true;
  EXPECT_EQ(opened.Open(u"KavoLife", Kind::kMutex), kXpErrFileNotFound);
  ASSERT_EQ(first->CreateMutex(u"KavoLife", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  ASSERT_EQ(second.CreateMutex(u"KavoLife", false, &existed), kXpOk);
  EXPECT_TRUE(existed);
  first.reset();
  EXPECT_EQ(opened.Open(u"KavoLife", Kind::kMutex), kXpOk);
  EXPECT_EQ(opened.Open(u"KavoLife", Kind::kEvent), kXpErrFileNotFound);
  opened.Close();
  second.Close();
  // The file is still there, but nobody holds the object.
  EXPECT_TRUE(std::filesystem::exists(Root() / "ipc/session/KavoLife.mutex"));
  EXPECT_EQ(opened.Open(u"KavoLife", Kind::kMutex), kXpErrFileNotFound);
  ASSERT_EQ(second.CreateMutex(u"KavoLife", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
}

TEST_F(XpNamedObject, MutexOwnershipIsPerThreadAcrossHandlesOfOneProcess) {
  ::XpNamedObject first, second;
  ASSERT_EQ(first.CreateMutex(u"KavoOwner", false), kXpOk);
  ASSERT_EQ(second.CreateMutex(u"KavoOwner", false), kXpOk);
  ASSERT_EQ(first.Wait(0), kXpOk);
  EXPECT_EQ(OnOtherThread([&] { return second.Wait(0); }), kXpErrTimeout);
  EXPECT_EQ(second.Wait(0), kXpOk);  // the owner again, through the other handle
  EXPECT_EQ(OnOtherThread([&] { return second.ReleaseMutex(); }), kXpErrNotOwner);
  EXPECT_EQ(first.ReleaseMutex(), kXpOk);
  EXPECT_EQ(OnOtherThread([&] { return second.Wait(0); }), kXpErrTimeout);
  EXPECT_EQ(second.ReleaseMutex(), kXpOk);
  EXPECT_EQ(second.ReleaseMutex(), kXpErrNotOwner);
  EXPECT_EQ(OnOtherThread([&] {
              const XpResult taken = second.Wait(0);
              if (taken == kXpOk) {
                EXPECT_EQ(second.ReleaseMutex(), kXpOk);
              }
              return taken;
            }),
            kXpOk);
}

TEST_F(XpNamedObject, InitialOwnerCountsOnlyForANewMutex) {
  ::XpNamedObject creator, joiner;
  bool existed = true;
  ASSERT_EQ(creator.CreateMutex(u"KavoInitial", true, &existed), kXpOk);
  EXPECT_FALSE(existed);
  EXPECT_EQ(OnOtherThread([&] {
              if (joiner.CreateMutex(u"KavoInitial", true) != kXpOk) return kXpErrSync;
              if (joiner.ReleaseMutex() != kXpErrNotOwner) return kXpErrSync;
              return joiner.Wait(0);
            }),
            kXpErrTimeout);
  EXPECT_EQ(creator.ReleaseMutex(), kXpOk);
  EXPECT_EQ(OnOtherThread([&] {
              const XpResult taken = joiner.Wait(0);
              if (taken == kXpOk) {
                EXPECT_EQ(joiner.ReleaseMutex(), kXpOk);
              }
              return taken;
            }),
            kXpOk);
}

TEST_F(XpNamedObject, SemaphoreCountStaysWithinItsMaximum) {
  ::XpNamedObject semaphore;
  EXPECT_EQ(semaphore.CreateSemaphore(u"KavoSem", 0, 0), kXpErrBadArgument);
  EXPECT_EQ(semaphore.CreateSemaphore(u"KavoSem", 2, 1), kXpErrBadArgument);
  ASSERT_EQ(semaphore.CreateSemaphore(u"KavoSem", 0, 1), kXpOk);
  EXPECT_EQ(semaphore.Wait(0), kXpErrTimeout);
  uint32_t previous = 99;
  EXPECT_EQ(semaphore.ReleaseSemaphore(1, &previous), kXpOk);
  EXPECT_EQ(previous, 0u);
  previous = 99;
  EXPECT_EQ(semaphore.ReleaseSemaphore(1, &previous), kXpErrSync);
  EXPECT_EQ(previous, 99u);
  EXPECT_EQ(semaphore.Wait(0), kXpOk);
  EXPECT_EQ(semaphore.Wait(0), kXpErrTimeout);
  EXPECT_EQ(semaphore.ReleaseSemaphore(2), kXpErrSync);
  EXPECT_EQ(semaphore.Wait(0), kXpErrTimeout);
}

TEST_F(XpNamedObject, EventStaysSetUntilReset) {
  ::XpNamedObject event;
  ASSERT_EQ(event.CreateEvent(u"KavoEvent", false), kXpOk);
  EXPECT_EQ(event.Wait(0), kXpErrTimeout);
  ASSERT_EQ(event.SetEvent(), kXpOk);
  EXPECT_EQ(event.Wait(0), kXpOk);
  EXPECT_EQ(event.Wait(0), kXpOk);
  ASSERT_EQ(event.ResetEvent(), kXpOk);
  EXPECT_EQ(event.Wait(0), kXpErrTimeout);
}

TEST_F(XpNamedObject, OperationsOfAnotherKindOrAClosedHandleAreInvalid) {
  ::XpNamedObject event, semaphore, closed;
  ASSERT_EQ(event.CreateEvent(u"KavoKind", false), kXpOk);
  ASSERT_EQ(semaphore.CreateSemaphore(u"KavoKind", 1, 1), kXpOk);
  EXPECT_EQ(event.ReleaseMutex(), kXpErrInvalidHandle);
  EXPECT_EQ(event.ReleaseSemaphore(), kXpErrInvalidHandle);
  EXPECT_EQ(semaphore.SetEvent(), kXpErrInvalidHandle);
  EXPECT_EQ(closed.Wait(0), kXpErrInvalidHandle);
  EXPECT_EQ(closed.SetEvent(), kXpErrInvalidHandle);
}

TEST_F(XpNamedObject, WaitsPollAgainstTheirDeadline) {
  FakeClock clock;
  ::XpNamedObject semaphore;
  ASSERT_EQ(semaphore.CreateSemaphore(u"KavoPoll", 0, 1), kXpOk);
  semaphore.SetClockForTest(clock);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(semaphore.Wait(3), kXpErrTimeout);
  EXPECT_EQ(clock.Elapsed(), std::chrono::seconds(3));
  EXPECT_LT(synctest::SecondsSince(start), 0.5);

  // Released by somebody else while the wait sleeps.
  ::XpNamedObject releaser;
  ASSERT_EQ(releaser.CreateSemaphore(u"KavoPoll", 0, 1), kXpOk);
  const auto released = clock.Elapsed() + std::chrono::milliseconds(1500);
  clock.onSleep = [&](std::chrono::milliseconds now) {
    if (now >= released) {
      EXPECT_EQ(releaser.ReleaseSemaphore(), kXpOk);
    }
  };
  EXPECT_EQ(semaphore.Wait(5), kXpOk);
  EXPECT_GE(clock.Elapsed(), released);
  EXPECT_LT(clock.Elapsed(), released + std::chrono::milliseconds(20));
}

TEST_F(XpNamedObject, ExistsAcrossProcessesOnlyWhileSomebodyHoldsIt) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    ::XpNamedObject held;
    if (held.CreateMutex(u"Global\\KavoHeld", false) != kXpOk) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());
  {
    ::XpNamedObject created, opened;
    bool existed = false;
    ASSERT_EQ(created.CreateMutex(u"Global\\KavoHeld", false, &existed), kXpOk);
    EXPECT_TRUE(existed);
    created.Close();
    EXPECT_EQ(opened.Open(u"Global\\KavoHeld", Kind::kMutex), kXpOk);
  }
  child.Kill();
  child.Wait();
  ::XpNamedObject object;
  EXPECT_EQ(object.Open(u"Global\\KavoHeld", Kind::kMutex), kXpErrFileNotFound);
  bool existed = true;
  ASSERT_EQ(object.CreateMutex(u"Global\\KavoHeld", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
}

TEST_F(XpNamedObject, EventSetByADeadHolderIsNotSetForTheNextCreatorAcrossProcesses) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    ::XpNamedObject event;
    if (event.CreateEvent(u"Global\\KavoStale", false) != kXpOk) return 1;
    if (event.SetEvent() != kXpOk) return 2;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());
  child.Kill();
  child.Wait();
  ::XpNamedObject event;
  bool existed = true;
  ASSERT_EQ(event.CreateEvent(u"Global\\KavoStale", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  EXPECT_EQ(event.Wait(0), kXpErrTimeout);
}

TEST_F(XpNamedObject, SemaphoreReleasedByAChildWakesTheParentAcrossProcesses) {
  ::XpNamedObject semaphore;
  ASSERT_EQ(semaphore.CreateSemaphore(u"Global\\KavoPrepare", 0, 1), kXpOk);
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    ::XpNamedObject released;
    bool existed = false;
    if (released.CreateSemaphore(u"Global\\KavoPrepare", 0, 1, &existed) != kXpOk) return 1;
    if (!existed) return 2;
    channel.SignalReady();
    channel.WaitForGo();
    return released.ReleaseSemaphore() == kXpOk ? 0 : 3;
  }));
  ASSERT_TRUE(child.WaitReady());
  EXPECT_EQ(semaphore.Wait(0), kXpErrTimeout);
  child.LetGo();
  EXPECT_EQ(semaphore.Wait(5), kXpOk);
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(semaphore.Wait(0), kXpErrTimeout);
}

TEST_F(XpNamedObject, ForkedChildNeverSharesTheParentsOwnershipAcrossProcesses) {
  ::XpNamedObject mutex;
  ASSERT_EQ(mutex.CreateMutex(u"Global\\KavoFork", true), kXpOk);
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([&mutex](testsupport::ChildChannel&) {
    if (mutex.Wait(0) != kXpErrInvalidHandle) return 1;
    if (mutex.ReleaseMutex() != kXpErrInvalidHandle) return 2;
    ::XpNamedObject own;
    bool existed = false;
    if (own.CreateMutex(u"Global\\KavoFork", false, &existed) != kXpOk) return 3;
    if (!existed) return 4;
    if (own.Wait(0) != kXpErrTimeout) return 5;
    return 0;
  }));
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(mutex.ReleaseMutex(), kXpOk);
}

TEST_F(XpNamedObject, ForkedChildDoesNotKeepTheParentsObjectsAliveAcrossProcesses) {
  auto mutex = std::make_unique<::XpNamedObject>();
  ASSERT_EQ(mutex->CreateMutex(u"Global\\KavoAlive", true), kXpOk);
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());
  mutex.reset();
  ::XpNamedObject object;
  EXPECT_EQ(object.Open(u"Global\\KavoAlive", Kind::kMutex), kXpErrFileNotFound);
  bool existed = true;
  ASSERT_EQ(object.CreateMutex(u"Global\\KavoAlive", false, &existed), kXpOk);
  EXPECT_FALSE(existed);
  EXPECT_EQ(OnOtherThread([&] {
              const XpResult taken = object.Wait(0);
              if (taken == kXpOk) {
                EXPECT_EQ(object.ReleaseMutex(), kXpOk);
              }
              return taken;
            }),
            kXpOk);
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(XpNamedObject, ConcurrentCreatorsSeeOneNewObjectAcrossProcesses) {
  constexpr int kCreators = 4;
  std::vector<std::unique_ptr<testsupport::ForkedChild>> children;
  for (int i = 0; i < kCreators; ++i) {
    children.push_back(std::make_unique<testsupport::ForkedChild>());
    ASSERT_TRUE(children.back()->Start([](testsupport::ChildChannel& channel) {
      channel.WaitForGo();
      ::XpNamedObject object;
      bool existed = false;
      if (object.CreateSemaphore(u"Global\\KavoRace", 0, 1, &existed) != kXpOk) return 2;
      channel.SignalReady();
      channel.WaitForGo();  // holds the object until every creator has made its call
      return existed ? 0 : 1;
    }));
  }
  for (auto& child : children) child->LetGo();
  for (auto& child : children) ASSERT_TRUE(child->WaitReady());
  for (auto& child : children) child->LetGo();
  int madeNew = 0;
  for (auto& child : children) {
    const int code = child->Wait();
    ASSERT_TRUE(code == 0 || code == 1) << code;
    madeNew += code;
  }
  EXPECT_EQ(madeNew, 1);
}

// The real clock and sleep; the first sleep of a wait, which comes after
// the wait's first look, tells the parent that the child waits.
class ReadyOnFirstSleep : public XpWaitClock {
 public:
  explicit ReadyOnFirstSleep(testsupport::ChildChannel& channel) : channel_(channel) {}
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override {
    if (!told_) channel_.SignalReady();
    told_ = true;
    std::this_thread::sleep_for(duration);
  }

 private:
  testsupport::ChildChannel& channel_;
  bool told_ = false;
};

TEST_F(XpNamedObject, ASetAtOnceResetReleasesEveryWaiterAcrossProcesses) {
  constexpr int kWaiters = 20;
  constexpr uint32_t kWaitSeconds = 10;
  ::XpNamedObject event;
  ASSERT_EQ(event.CreateEvent(u"KavoPulse", false), kXpOk);
  std::vector<std::unique_ptr<testsupport::ForkedChild>> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.push_back(std::make_unique<testsupport::ForkedChild>());
    ASSERT_TRUE(waiters.back()->Start([](testsupport::ChildChannel& channel) {
      ::XpNamedObject waiting;
      if (waiting.Open(u"KavoPulse", Kind::kEvent) != kXpOk) return 2;
      ReadyOnFirstSleep clock(channel);
      waiting.SetClockForTest(clock);
      return waiting.Wait(kWaitSeconds) == kXpOk ? 0 : 1;
    }));
  }
  for (auto& waiter : waiters) ASSERT_TRUE(waiter->WaitReady());
  testsupport::ForkedChild setter;
  ASSERT_TRUE(setter.Start([](testsupport::ChildChannel&) {
    ::XpNamedObject pulsing;
    if (pulsing.Open(u"KavoPulse", Kind::kEvent) != kXpOk) return 2;
    return pulsing.SetEvent() == kXpOk && pulsing.ResetEvent() == kXpOk ? 0 : 1;
  }));
  EXPECT_EQ(setter.Wait(), 0);
  int woken = 0;
  for (auto& waiter : waiters) woken += waiter->Wait() == 0 ? 1 : 0;
  EXPECT_EQ(woken, kWaiters);
  // The reset stands for waits that begin afterwards.
  EXPECT_EQ(event.Wait(0), kXpErrTimeout);
}

}  // namespace
