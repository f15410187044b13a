#include "platform/process/XpFindProcessesByExeName.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;

class FindProcessesFixture : public testsupport::HermeticTest {
 protected:
  fs::path Proc() const { return fs::path(std::getenv("KAVO_SYSROOT")) / "proc"; }

  // A process whose exe link points at target; no link when target is "".
  void AddProcess(const std::string& pid, const std::string& target, const std::string& commandLine) const {
    const fs::path entry = Proc() / pid;
    fs::create_directories(entry);
    if (!target.empty()) fs::create_symlink(target, entry / "exe");
    std::ofstream(entry / "cmdline", std::ios::binary) << commandLine;
  }

  testsupport::FaultInjection faults_;
};
using XpFindProcessesByExeName = FindProcessesFixture;

TEST_F(XpFindProcessesByExeName, MatchesTheExecutablesLeafNameExactly) {
  using namespace std::string_literals;
  AddProcess("123", "/opt/x/QMVVolumnWatcher", "other\0"s);
  AddProcess("124", "/opt/x/qmvvolumnwatcher", "QMVVolumnWatcher\0"s);
  AddProcess("125", "/opt/x/QMVVolumnWatcher.exe", "");
  AddProcess("12a", "/opt/x/QMVVolumnWatcher", "");
  fs::create_directories(Proc() / "self");

  EXPECT_EQ(::XpFindProcessesByExeName(u"QMVVolumnWatcher"), std::vector<pid_t>{123});
  EXPECT_EQ(::XpFindProcessesByExeName(u"qmvvolumnwatcher"), std::vector<pid_t>{124});
  EXPECT_TRUE(::XpFindProcessesByExeName(u"").empty());
  EXPECT_TRUE(::XpFindProcessesByExeName(u"QMVVolumn").empty());
}

TEST_F(XpFindProcessesByExeName, AnUnreadableLinkFallsBackToArgvZero) {
  using namespace std::string_literals;
  AddProcess("200", "/opt/y/bash", "/usr/lib/QMVVolumnWatcher\0-x\0"s);
  AddProcess("201", "", "QMVVolumnWatcher\0-x"s);
  AddProcess("202", "", "");
  faults_.Add(testsupport::Fault(testsupport::SysCall::kReadlink, (Proc() / "200").string()).Errno(EACCES));

  EXPECT_EQ(::XpFindProcessesByExeName(u"QMVVolumnWatcher"), (std::vector<pid_t>{200, 201}));
  EXPECT_EQ(::XpFindProcessesByExeName(u"-x"), std::vector<pid_t>{});
}

TEST_F(XpFindProcessesByExeName, AnUnreadableProcFindsNothing) {
  AddProcess("300", "/opt/x/QMVVolumnWatcher", "");
  faults_.Add(testsupport::Fault(testsupport::SysCall::kOpendir, Proc().string()).Errno(EACCES));
  EXPECT_TRUE(::XpFindProcessesByExeName(u"QMVVolumnWatcher").empty());
}

}  // namespace
