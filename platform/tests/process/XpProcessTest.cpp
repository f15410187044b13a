#include "platform/process/XpProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

// A pipe whose ends close with it.
class Pipe {
 public:
  Pipe() { valid_ = ::pipe2(fds_, O_CLOEXEC) == 0; }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  bool Valid() const { return valid_; }
  int ReadEnd() const { return fds_[0]; }
  int WriteEnd() const { return fds_[1]; }
  void CloseRead() { Close(fds_[0]); }
  void CloseWrite() { Close(fds_[1]); }

  std::string ReadAll() {
    std::string text;
    char buffer[256];
    ssize_t count;
    while ((count = ::read(fds_[0], buffer, sizeof(buffer))) > 0) text.append(buffer, count);
    return text;
  }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int fds_[2] = {-1, -1};
  bool valid_ = false;
};

XpProcessStartInfo Shell(const char16_t* script) {
  XpProcessStartInfo info;
  info.path = u"/bin/sh";
  info.arguments = {XpString(u"sh"), XpString(u"-c"), XpString(script)};
  return info;
}

// A spawn the system refuses starts nothing, and the seam names it.
TEST(XpProcess, ASpawnThatFailsStartsNothingAndIsRecorded) {
  testsupport::FaultInjection faults;
  faults.Add(testsupport::Fault(testsupport::SysCall::kSpawn, "/bin/sh").Errno(ENOMEM));
  XpClearSysFailure();
  std::unique_ptr<XpProcess> process;
  EXPECT_EQ(XpProcess::Start(Shell(u"exit 0"), &process), kXpErrGeneric);
  EXPECT_EQ(process, nullptr);
  EXPECT_EQ(XpLastSysFailure().call, "spawn");
  EXPECT_EQ(XpLastSysFailure().path, "/bin/sh");
}

TEST(XpProcess, WiresStandardInputAndOutput) {
  Pipe input;
  Pipe output;
  ASSERT_TRUE(input.Valid() && output.Valid());
  XpProcessStartInfo info = Shell(u"read line; echo \"got $line\"");
  info.inputFd = input.ReadEnd();
  info.outputFd = output.WriteEnd();

  std::unique_ptr<XpProcess> process;
  ASSERT_EQ(XpProcess::Start(info, &process), kXpOk);
  input.CloseRead();
  output.CloseWrite();
  EXPECT_FALSE(process->HasEnded());
  EXPECT_EQ(process->GetExitCode(), XpProcess::kStillActive);

  ASSERT_EQ(XpSysCalls::Posix().Write(input.WriteEnd(), "hi\n", 3), 3);
  input.CloseWrite();
  // End of file arrives only when no copy of the write end is left open.
  EXPECT_EQ(output.ReadAll(), "got hi\n");
  EXPECT_EQ(process->Wait(), kXpOk);
  EXPECT_TRUE(process->HasEnded());
  EXPECT_EQ(process->GetExitCode(), 0u);
}

TEST(XpProcess, DiscardedErrorsGoToDevNull) {
  for (const bool discard : {false, true}) {
    Pipe output;
    ASSERT_TRUE(output.Valid());
    XpProcessStartInfo info = Shell(u"readlink /proc/self/fd/2");
    info.outputFd = output.WriteEnd();
    info.discardErrors = discard;
    std::unique_ptr<XpProcess> process;
    ASSERT_EQ(XpProcess::Start(info, &process), kXpOk);
    output.CloseWrite();
    EXPECT_EQ(output.ReadAll() == "/dev/null\n", discard) << discard;
    EXPECT_EQ(process->Wait(), kXpOk);
  }
}

TEST(XpProcess, InheritsOnlyTheStandardDescriptors) {
  Pipe inheritable;
  ASSERT_TRUE(inheritable.Valid());
  ASSERT_EQ(::fcntl(inheritable.ReadEnd(), F_SETFD, 0), 0);
  const XpString script = XpStringA(
      ("test -e /proc/$$/fd/" + std::to_string(inheritable.ReadEnd()) + " && exit 3; " +
       "test -e /proc/$$/fd/2 || exit 4").c_str()).ToWide();
  std::unique_ptr<XpProcess> process;
  ASSERT_EQ(XpProcess::Start(Shell(script.CStr()), &process), kXpOk);
  ASSERT_EQ(process->Wait(), kXpOk);
  EXPECT_EQ(process->GetExitCode(), 0u);
}

TEST(XpProcess, WritingToAChildThatIsGoneFails) {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  struct sigaction previous = {};
  ASSERT_EQ(::sigaction(SIGPIPE, &fallback, &previous), 0);
  Pipe input;
  ASSERT_TRUE(input.Valid());
  XpProcessStartInfo info = Shell(u"exit 0");
  info.inputFd = input.ReadEnd();
  std::unique_ptr<XpProcess> process;
  ASSERT_EQ(XpProcess::Start(info, &process), kXpOk);
  input.CloseRead();
  ASSERT_EQ(process->Wait(), kXpOk);

  EXPECT_EQ(XpSysCalls::Posix().Write(input.WriteEnd(), "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  ::sigaction(SIGPIPE, &previous, nullptr);
}

TEST(XpProcess, ChildStartsWithDefaultSigpipe) {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous = {};
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
  std::unique_ptr<XpProcess> process;
  const XpResult started = XpProcess::Start(Shell(u"kill -PIPE $$; exit 0"), &process);
  ::sigaction(SIGPIPE, &previous, nullptr);

  ASSERT_EQ(started, kXpOk);
  ASSERT_EQ(process->Wait(), kXpOk);
  EXPECT_EQ(process->GetExitCode(), 128u + SIGPIPE);
}

TEST(XpProcess, FailedStartsGiveGenericFailure) {
  XpProcessStartInfo missing = Shell(u"exit 0");
  missing.path = u"/nonexistent/program";
  XpProcessStartInfo badFolder = Shell(u"exit 0");
  badFolder.workingFolder = u"/nonexistent/folder";
  for (const XpProcessStartInfo& info : {missing, badFolder}) {
    std::unique_ptr<XpProcess> process;
    EXPECT_EQ(XpProcess::Start(info, &process), kXpErrGeneric) << info.path.ToMultiByte().CStr();
    EXPECT_EQ(process, nullptr);
  }
  std::unique_ptr<XpProcess> process;
  XpProcessStartInfo noArguments = Shell(u"exit 0");
  noArguments.arguments.clear();
  EXPECT_EQ(XpProcess::Start(noArguments, &process), kXpErrBadArgument);
  EXPECT_EQ(XpProcess::Start(Shell(u"exit 0"), nullptr), kXpErrBadArgument);
}

}  // namespace
