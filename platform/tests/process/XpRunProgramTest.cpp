#include "platform/process/XpRunProgram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/process/FakeProgramFile.h"
#include "platform/tests/process/ProcessTestSupport.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;
using process_test::ProcessState;
using process_test::ReadText;
using process_test::WaitUntil;

void WriteScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

class XpRunProgram : public testsupport::HermeticTest {
 protected:
  // Runs and waits; the exit code, or -1 when the run failed.
  int64_t RunAndWait(const XpString& program, const XpString& arguments) {
    uint32_t exitCode = 0;
    if (XpFailed(::XpRunProgram(program, arguments, &exitCode, nullptr))) return -1;
    return exitCode;
  }
};

TEST_F(XpRunProgram, RefusesProgramAndArgumentsOf500Units) {
  // A script whose path is exactly 300 units long; it leaves a mark.
  const fs::path mark = Root() / "ran";
  constexpr size_t kProgramLength = 300;
  constexpr size_t kLongestName = 200;
  fs::path folder = Root();
  size_t missing = kProgramLength - Root().string().size() - std::string("/run").size();
  while (missing > 0) {
    const size_t name = std::min(missing - 1, kLongestName);
    folder /= std::string(name, 'd');
    missing -= name + 1;
  }
  fs::create_directories(folder);
  const fs::path script = folder / "run";
  ASSERT_EQ(script.string().size(), kProgramLength);
  WriteScript(script, "touch '" + mark.string() + "'");

  struct Case {
    size_t argumentLength;
    XpResult result;
    bool ran;
  };
  for (const Case& c : {Case{200, kXpErrBadArgument, false}, Case{199, kXpOk, true}}) {
    fs::remove(mark);
    uint32_t exitCode = 1234;
    const XpString arguments = XpString::FromUtf8(std::string(c.argumentLength, 'a'));
    EXPECT_EQ(::XpRunProgram(XpString::FromUtf8(script.string()), arguments, &exitCode, nullptr),
              c.result)
        << c.argumentLength;
    EXPECT_EQ(fs::exists(mark), c.ran) << c.argumentLength;
    EXPECT_EQ(exitCode, c.ran ? 0u : 1234u) << c.argumentLength;
  }
}

TEST_F(XpRunProgram, ReportsTheExitCode) {
  struct Case {
    const char16_t* program;
    const char16_t* arguments;
    int64_t exitCode;
  };
  const Case cases[] = {
      {u"/bin/sh", u"-c \"exit 7\"", 7},
      {u"/bin/true", u"", 0},
      {u"/bin/false", u"", 1},
      // A process ended by a signal: 128 + the signal.
      {u"/bin/sh", u"-c \"kill -TERM $$\"", 128 + SIGTERM},
      // The arguments reach the program split by the Windows rules.
      {u"/bin/sh", uR"(-c "test \"$1\" = 'a b' && test \"$2\" = 'c\\\"d'" x "a b" c\\\"d)", 0},
      {u"/bin/sh", uR"(-c "test \"$1\" = 'a b'" x a b)", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunAndWait(c.program, c.arguments), c.exitCode)
        << XpString(c.arguments).ToMultiByte().CStr();
  }
}

TEST_F(XpRunProgram, RunsInTheProgramsFolder) {
  const fs::path app = Dir("app folder");
  const fs::path out = Root() / "pwd.txt";
  WriteScript(app / "where", "pwd -P > \"$1\"");
  const XpString arguments = XpString::FromUtf8("\"" + out.string() + "\"");

  ASSERT_EQ(RunAndWait(XpString::FromUtf8((app / "where").string()), arguments), 0);
  EXPECT_EQ(ReadText(out), fs::canonical(app).string() + "\n");

  // Relative to the working folder, and with a folder part.
  char previous[PATH_MAX];
  ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(::chdir(Root().c_str()), 0);
  const int64_t relative = RunAndWait(u"app folder/where", arguments);
  ASSERT_EQ(::chdir(previous), 0);
  ASSERT_EQ(relative, 0);
  EXPECT_EQ(ReadText(out), fs::canonical(app).string() + "\n");

  // Without a folder part (found on PATH) it stays in the caller's folder.
  SetEnv("PATH", app.string() + ":/usr/bin:/bin");
  ASSERT_EQ(::chdir(Root().c_str()), 0);
  const int64_t onPath = RunAndWait(u"where.exe", arguments);
  ASSERT_EQ(::chdir(previous), 0);
  ASSERT_EQ(onPath, 0);
  EXPECT_EQ(ReadText(out), fs::canonical(Root()).string() + "\n");
}

TEST_F(XpRunProgram, RunsExeNamesFromPath) {
  const fs::path bin = Dir("bin");
  WriteScript(bin / "Helper", "exit 3");
  SetEnv("PATH", "/nowhere::" + bin.string());
  EXPECT_EQ(RunAndWait(u"Helper.exe", u""), 3);
  EXPECT_EQ(RunAndWait(u"HELPER.EXE", u""), -1) << "names stay case-sensitive";
}

TEST_F(XpRunProgram, LooksInTheGivenFolderThenBesideTheProgramThenOnPath) {
  const fs::path given = Dir("given");
  const fs::path app = Dir("app");
  const fs::path bin = Dir("bin");
  WriteScript(given / "Helper", "exit 5");
  WriteScript(app / "Helper", "exit 4");
  WriteScript(bin / "Helper", "exit 3");
  WriteScript(app / "kavo", "exit 0");
  testsupport::FakeProgramFile program((app / "kavo").string());
  SetEnv("PATH", bin.string());
  const XpString helper = XpString::FromUtf8((given / "Helper.exe").string());

  EXPECT_EQ(RunAndWait(helper, u""), 5);
  fs::remove(given / "Helper");
  EXPECT_EQ(RunAndWait(helper, u""), 4);
  fs::remove(app / "Helper");
  EXPECT_EQ(RunAndWait(helper, u""), 3);
  // A file that is not executable is passed over in the search.
  fs::permissions(bin / "Helper", fs::perms::owner_read);
  EXPECT_EQ(RunAndWait(helper, u""), -1);
}

TEST_F(XpRunProgram, ProgramsThatCannotStartGiveGenericFailure) {
  const fs::path plain = Root() / "plain.txt";
  std::ofstream(plain) << "not a program\n";
  SetEnv("PATH", Dir("empty").string());
  for (const XpString& program :
       {XpString::FromUtf8((Root() / "missing").string()), XpString(u"Missing.exe"),
        XpString::FromUtf8(plain.string()), XpString(u"")}) {
    std::unique_ptr<XpProcess> process;
    uint32_t exitCode = 99;
    EXPECT_EQ(::XpRunProgram(program, u"", &exitCode, &process), kXpErrGeneric)
        << program.ToMultiByte().CStr();
    EXPECT_EQ(process, nullptr);
    EXPECT_EQ(exitCode, 99u);
  }
}

TEST_F(XpRunProgram, HandsTheProcessToTheCaller) {
  std::unique_ptr<XpProcess> process;
  ASSERT_EQ(::XpRunProgram(u"/bin/sh", u"-c \"exit 9\"", nullptr, &process), kXpOk);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(), kXpOk);
  EXPECT_EQ(process->GetExitCode(), 9u);

  // With both, the caller gets the finished process and its code.
  uint32_t exitCode = 0;
  ASSERT_EQ(::XpRunProgram(u"/bin/sh", u"-c \"exit 6\"", &exitCode, &process), kXpOk);
  EXPECT_EQ(exitCode, 6u);
  EXPECT_TRUE(process->HasEnded());
  EXPECT_EQ(process->GetExitCode(), 6u);
}

TEST_F(XpRunProgram, LeavesNoZombieBehind) {
  // Ended before the handle closes.
  std::unique_ptr<XpProcess> process;
  ASSERT_EQ(::XpRunProgram(u"/bin/sh", u"-c \"exit 0\"", nullptr, &process), kXpOk);
  pid_t pid = process->GetPid();
  ASSERT_TRUE(WaitUntil([pid] { return ProcessState(pid) == 'Z'; }));
  process.reset();
  EXPECT_TRUE(WaitUntil([pid] { return ProcessState(pid) == 0; })) << "pid " << pid;

  // Still running when the handle closes.
  ASSERT_EQ(::XpRunProgram(u"/bin/sh", u"-c \"sleep 0.2\"", nullptr, &process), kXpOk);
  pid = process->GetPid();
  process.reset();
  EXPECT_TRUE(WaitUntil([pid] { return ProcessState(pid) == 0; })) << "pid " << pid;

  // Neither waited for nor handed out: the script tells its pid.
  const fs::path pidFile = Root() / "pid";
  WriteScript(Root() / "tell", "echo $$ > '" + pidFile.string() + ".part' && mv '" +
                                   pidFile.string() + ".part' '" + pidFile.string() + "'");
  ASSERT_EQ(::XpRunProgram(XpString::FromUtf8((Root() / "tell").string()), u"", nullptr, nullptr),
            kXpOk);
  ASSERT_TRUE(WaitUntil([&pidFile] { return fs::exists(pidFile); }));
  pid = static_cast<pid_t>(std::stol(ReadText(pidFile)));
  EXPECT_TRUE(WaitUntil([pid] { return ProcessState(pid) == 0; })) << "pid " << pid;
}

}  // namespace
