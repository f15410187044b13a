#include "platform/fs/XpSysCalls.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

extern char** environ;

namespace {

using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class XpSysCallsFixture : public testsupport::HermeticTest {
 protected:
  static ::XpSysCalls& Calls() { return ::XpSysCalls::Current(); }
  std::string PathOf(const std::string& name) const { return (Root() / name).string(); }

  // Opens name through the seam, or fails the test.
  int OpenForWriting(const std::string& name) {
    int fd = Calls().Open(PathOf(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0) << name << ": " << errno;
    return fd;
  }

  void WriteFile(const std::string& name, const std::string& bytes) {
    XpSysCalls& posix = XpSysCalls::Posix();
    int fd = posix.Open(PathOf(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(posix.Write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }

  // errno of a call that must fail.
  template <typename Call>
  int ErrnoOf(Call call) {
    errno = 0;
    EXPECT_EQ(call(), -1);
    return errno;
  }
};
// Suite name of the seam's tests; the seam itself is ::XpSysCalls here.
using XpSysCalls = XpSysCallsFixture;

// Counts the opens it passes on.
class CountingSysCalls : public XpSysCallsWrapper {
 public:
  using XpSysCallsWrapper::XpSysCallsWrapper;
  int Open(const char* path, int flags, mode_t mode) override {
    ++opens;
    return XpSysCallsWrapper::Open(path, flags, mode);
  }
  int opens = 0;
};

TEST_F(XpSysCalls, InstallRoutesEveryCallUntilTheRealCallsAreRestored) {
  ASSERT_EQ(&::XpSysCalls::Installed(), &::XpSysCalls::Posix());
  CountingSysCalls counting(::XpSysCalls::Posix());
  EXPECT_EQ(::XpSysCalls::Install(&counting), &::XpSysCalls::Posix());
  int fd = Calls().Open("/dev/null", O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(counting.opens, 1);
  // Every descriptor of the seam is close-on-exec.
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  Calls().Close(fd);
  EXPECT_EQ(::XpSysCalls::Install(nullptr), &counting);
  EXPECT_EQ(&::XpSysCalls::Installed(), &::XpSysCalls::Posix());
}

TEST_F(XpSysCalls, WriteFailsWithDiskFullAfterItsByteAllowance) {
  FaultInjection faults;
  int rule = faults.Add(Fault(SysCall::kWrite, Root().string()).Errno(ENOSPC).AfterBytes(3));
  int fd = OpenForWriting("full");
  ::XpSysCalls& calls = Calls();
  EXPECT_EQ(calls.Write(fd, "0123456789", 10), 3);
  EXPECT_EQ(ErrnoOf([&] { return calls.Write(fd, "3456789", 7); }), ENOSPC);
  EXPECT_EQ(ErrnoOf([&] { return calls.Write(fd, "x", 1); }), ENOSPC);
  EXPECT_EQ(faults.Hits(rule), 3);
  calls.Close(fd);
}

TEST_F(XpSysCalls, FromCallAndTimesChooseWhichMatchingCallsFail) {
  FaultInjection faults;
  faults.Add(Fault(SysCall::kWrite, Root().string()).Errno(EIO).FromCall(2).Times(1));
  int fd = OpenForWriting("nth");
  ::XpSysCalls& calls = Calls();
  EXPECT_EQ(calls.Write(fd, "a", 1), 1);
  EXPECT_EQ(ErrnoOf([&] { return calls.Write(fd, "b", 1); }), EIO);
  EXPECT_EQ(calls.Write(fd, "c", 1), 1);
  calls.Close(fd);
}

TEST_F(XpSysCalls, OpenForWritingFailsOnlyForWritersUnderThePrefix) {
  WriteFile("inside", "x");
  Dir("elsewhere");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kOpen, PathOf("inside")).Errno(EROFS).ForWriting());
  ::XpSysCalls& calls = Calls();
  int reader = calls.Open(PathOf("inside").c_str(), O_RDONLY, 0);
  EXPECT_GE(reader, 0);
  calls.Close(reader);
  EXPECT_EQ(ErrnoOf([&] { return calls.Open(PathOf("inside").c_str(), O_RDWR, 0); }), EROFS);
  int other = calls.Open(PathOf("elsewhere/y").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_GE(other, 0);
  calls.Close(other);
}

// An open relative to a folder descriptor is judged and recorded as the
// folder's path joined with the name, and its descriptor keeps that path.
TEST_F(XpSysCalls, OpenatGoesByTheFolderPathJoinedWithTheName) {
  Dir("dir");
  WriteFile("dir/inside", "x");
  ASSERT_EQ(::symlink(PathOf("dir/inside").c_str(), PathOf("dir/link").c_str()), 0);
  const std::string folder = std::filesystem::canonical(Root() / "dir").string();
  ::XpSysCalls& calls = Calls();
  int dirFd = calls.Open(PathOf("dir").c_str(), O_RDONLY | O_DIRECTORY, 0);
  ASSERT_GE(dirFd, 0);
  EXPECT_EQ(ErrnoOf([&] { return calls.Openat(dirFd, "link", O_RDONLY | O_NOFOLLOW, 0); }), ELOOP);
  EXPECT_EQ(XpLastSysFailure().call, "open");
  EXPECT_EQ(XpLastSysFailure().path, folder + "/link");
  {
    FaultInjection faults;
    int refused = faults.Add(Fault(SysCall::kOpen, PathOf("dir/inside")).Errno(EROFS).ForWriting());
    int written = faults.Add(Fault(SysCall::kWrite, PathOf("dir/other")).Errno(EIO));
    calls.Close(dirFd);
    dirFd = calls.Open(PathOf("dir").c_str(), O_RDONLY | O_DIRECTORY, 0);
    ASSERT_GE(dirFd, 0);
    int reader = calls.Openat(dirFd, "inside", O_RDONLY, 0);
    EXPECT_GE(reader, 0);
    calls.Close(reader);
    EXPECT_EQ(ErrnoOf([&] { return calls.Openat(dirFd, "inside", O_RDWR, 0); }), EROFS);
    EXPECT_EQ(XpLastSysFailure().path, folder + "/inside");
    EXPECT_EQ(faults.Hits(refused), 1);
    int other = calls.Openat(dirFd, "other", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(other, 0);
    EXPECT_EQ(ErrnoOf([&] { return calls.Write(other, "y", 1); }), EIO);
    EXPECT_EQ(faults.Hits(written), 1);
    calls.Close(other);
  }
  calls.Close(dirFd);
}

TEST_F(XpSysCalls, ReadsCanBeCutShort) {
  WriteFile("data", std::string(20, 'r'));
  FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Root().string()).AtMost(7));
  ::XpSysCalls& calls = Calls();
  int fd = calls.Open(PathOf("data").c_str(), O_RDONLY, 0);
  char buffer[20];
  EXPECT_EQ(calls.Read(fd, buffer, sizeof(buffer)), 7);
  EXPECT_EQ(calls.Read(fd, buffer, 3), 3);
  EXPECT_EQ(calls.Read(fd, buffer, sizeof(buffer)), 7);
  EXPECT_EQ(calls.Read(fd, buffer, sizeof(buffer)), 3);
  calls.Close(fd);
}

TEST_F(XpSysCalls, PathCallsMatchTheirPathAndRenameEitherOne) {
  WriteFile("a", "x");
  Dir("locked");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kRename, PathOf("locked")).Errno(EACCES));
  faults.Add(Fault(SysCall::kStat, PathOf("locked")).Errno(ENODEV));
  ::XpSysCalls& calls = Calls();
  EXPECT_EQ(ErrnoOf([&] {
              return calls.Rename(PathOf("a").c_str(), PathOf("locked/a").c_str(), 0);
            }),
            EACCES);
  struct stat info {};
  EXPECT_EQ(ErrnoOf([&] { return calls.Stat(PathOf("locked").c_str(), &info); }), ENODEV);
  EXPECT_EQ(calls.Stat(PathOf("a").c_str(), &info), 0);
  EXPECT_EQ(calls.Rename(PathOf("a").c_str(), PathOf("b").c_str(), 0), 0);
}

TEST_F(XpSysCalls, FolderStreamsFailThroughTheirPath) {
  Dir("gone");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kReaddir, PathOf("gone")).Errno(EIO));
  ::XpSysCalls& calls = Calls();
  DIR* dir = calls.Opendir(PathOf("gone").c_str());
  ASSERT_NE(dir, nullptr);
  errno = 0;
  EXPECT_EQ(calls.Readdir(dir), nullptr);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(calls.Closedir(dir), 0);
  EXPECT_EQ(calls.Opendir(PathOf("missing").c_str()), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

// Pipes and processes go through the seam: their failures can be injected
// and are recorded like the others.
TEST_F(XpSysCalls, PipesAndSpawnsFailThroughTheSeam) {
  constexpr const char* kProgram = "/bin/true";
  ::XpSysCalls& calls = ::XpSysCalls::Current();
  int fds[2] = {-1, -1};
  ASSERT_EQ(calls.Pipe2(fds, 0), 0);
  EXPECT_EQ(fcntl(fds[0], F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(calls.Close(fds[0]), 0);
  EXPECT_EQ(calls.Close(fds[1]), 0);
  char* argv[] = {const_cast<char*>(kProgram), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(calls.Spawn(&pid, kProgram, nullptr, nullptr, argv, environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  FaultInjection faults;
  faults.Add(Fault(SysCall::kPipe, "").Errno(EMFILE));
  faults.Add(Fault(SysCall::kSpawn, kProgram).Errno(ENOEXEC));
  XpClearSysFailure();
  EXPECT_EQ(calls.Pipe2(fds, 0), -1);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_EQ(XpLastSysFailure().call, "pipe2");
  EXPECT_EQ(calls.Spawn(&pid, kProgram, nullptr, nullptr, argv, environ), -1);
  EXPECT_EQ(errno, ENOEXEC);
  EXPECT_EQ(XpLastSysFailure().call, "spawn");
  EXPECT_EQ(XpLastSysFailure().path, kProgram);
}

std::atomic<int> gInterrupts{0};
void CountInterrupt(int) { gInterrupts.fetch_add(1); }

TEST_F(XpSysCalls, AReadInterruptedBySignalsGoesOnUntilItsBytesCome) {
  // Without SA_RESTART every signal breaks the blocked read off with EINTR.
  struct sigaction action = {};
  action.sa_handler = CountInterrupt;
  struct sigaction previous = {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  int fds[2] = {-1, -1};
  ASSERT_EQ(::pipe(fds), 0);
  std::atomic<bool> reading{false};
  ssize_t got = 0;
  int error = 0;
  char byte = 0;
  std::thread reader([&] {
    reading = true;
    got = ::XpSysCalls::Posix().Read(fds[0], &byte, 1);
    error = errno;
  });
  while (!reading) std::this_thread::yield();
  constexpr int kInterrupts = 20;
  gInterrupts = 0;
  for (int sent = 0; sent < kInterrupts; ++sent) {
    ASSERT_EQ(::pthread_kill(reader.native_handle(), SIGUSR1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  reader.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_GT(gInterrupts.load(), 0);
  EXPECT_EQ(got, 1) << "errno " << error;
  EXPECT_EQ(byte, 'x');
}

TEST_F(XpSysCalls, AFailedCloseStillReleasesTheDescriptor) {
  FaultInjection faults;
  faults.Add(Fault(SysCall::kClose, Root().string()).Errno(EIO));
  int fd = OpenForWriting("closing");
  EXPECT_EQ(ErrnoOf([&] { return Calls().Close(fd); }), EIO);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST_F(XpSysCalls, RulesEndWithTheInjection) {
  {
    FaultInjection faults;
    faults.Add(Fault(SysCall::kMkdir, "").Errno(ENOSPC));
    EXPECT_EQ(ErrnoOf([&] { return Calls().Mkdir(PathOf("d1").c_str(), 0755); }),
              ENOSPC);
    faults.Clear();
    EXPECT_EQ(Calls().Mkdir(PathOf("d2").c_str(), 0755), 0);
    faults.Add(Fault(SysCall::kMkdir, "").Errno(ENOSPC));
  }
  EXPECT_EQ(&::XpSysCalls::Installed(), &::XpSysCalls::Posix());
  EXPECT_EQ(Calls().Mkdir(PathOf("d3").c_str(), 0755), 0);
}

TEST_F(XpSysCalls, RecordsTheLastFailureOfEachThreadWithItsPathButNotAProbesMiss) {
  FaultInjection faults;
  faults.Add(Fault(SysCall::kFsync, Root().string()).Errno(EIO));
  int fd = OpenForWriting("journal");
  XpClearSysFailure();
  EXPECT_EQ(ErrnoOf([&] { return Calls().Fsync(fd); }), EIO);
  Calls().Close(fd);
  // Asking whether a file exists is not a failure to remember.
  struct stat info;
  EXPECT_EQ(Calls().Stat(PathOf("missing").c_str(), &info), -1);
  // Nor is an exclusive create that finds the name taken.
  EXPECT_EQ(Calls().Open(PathOf("journal").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644), -1);
  EXPECT_EQ(XpDescribeSysFailure(XpLastSysFailure()),
            "fsync " + PathOf("journal") + ": Input/output error");
  EXPECT_EQ(XpSysFailureSuffix(), ": fsync " + PathOf("journal") + ": Input/output error");

  std::string otherThread;
  std::thread([&] {
    otherThread = XpDescribeSysFailure(XpLastSysFailure());
    EXPECT_EQ(Calls().Open(PathOf("missing").c_str(), O_RDONLY, 0), -1);
    EXPECT_EQ(XpLastSysFailure().path, PathOf("missing"));
    EXPECT_EQ(XpLastSysFailure().error, ENOENT);
  }).join();
  EXPECT_EQ(otherThread, "");
  EXPECT_EQ(XpLastSysFailure().call, "fsync");
  XpClearSysFailure();
  EXPECT_TRUE(XpLastSysFailure().Empty());
  EXPECT_EQ(XpSysFailureSuffix(), "");
}

}  // namespace
