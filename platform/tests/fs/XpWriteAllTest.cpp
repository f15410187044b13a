#include "platform/fs/XpWriteAll.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

// Answers each write from a script of outcomes: a positive number moves at
// most that many bytes, 0 moves none, a negative number fails with that
// errno. Past the script every write moves everything. Counts the calls.
class ScriptedWrites : public XpSysCallsWrapper {
 public:
  explicit ScriptedWrites(std::vector<int> script)
      : XpSysCallsWrapper(XpSysCalls::Posix()), script_(std::move(script)) {}

  ssize_t Write(int fd, const void* buffer, size_t count) override {
    const size_t call = calls++;
    if (call >= script_.size()) {
      return XpSysCallsWrapper::Write(fd, buffer, count);
    }
    const int outcome = script_[call];
    if (outcome < 0) {
      errno = -outcome;
      return -1;
    }
    if (outcome == 0) {
      return 0;
    }
    return XpSysCallsWrapper::Write(fd, buffer, std::min(count, static_cast<size_t>(outcome)));
  }

  size_t calls = 0;

 private:
  std::vector<int> script_;
};

class WriteAllFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    path_ = Root() / "out.bin";
    fd_ = XpSysCalls::Posix().Open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    EXPECT_EQ(XpSysCalls::Posix().Close(fd_), 0);
    HermeticTest::TearDown();
  }

  std::filesystem::path path_;
  int fd_ = -1;
};
using XpWriteAll = WriteAllFixture;

const std::string kText = "0123456789abcdef";

TEST_F(XpWriteAll, AWriteThatMovesNothingIsDiskFullAndIsNotRepeated) {
  ScriptedWrites calls({4, 0});
  size_t written = 99;
  errno = 0;
  EXPECT_EQ(::XpWriteAll(calls, fd_, kText.data(), kText.size(), &written), kXpErrDiskFull);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(calls.calls, 2u);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(fstest::ReadBytes(path_), "0123");
}

TEST_F(XpWriteAll, ShortWritesGoOnWhereTheyStopped) {
  ScriptedWrites calls({3, 5, 1});
  size_t written = 0;
  EXPECT_EQ(::XpWriteAll(calls, fd_, kText.data(), kText.size(), &written), kXpOk);
  EXPECT_EQ(written, kText.size());
  EXPECT_EQ(calls.calls, 4u);
  EXPECT_EQ(fstest::ReadBytes(path_), kText);
}

TEST_F(XpWriteAll, AFailureIsItsErrnosCodeAndTellsWhatWasWritten) {
  struct Case {
    int error;
    XpResult result;
  };
  const Case cases[] = {{ENOSPC, kXpErrDiskFull},
                        {EDQUOT, kXpErrDiskFull},
                        {EIO, kXpErrDeviceNotReady},
                        {ENODEV, kXpErrDeviceNotReady},
                        {EBADF, kXpErrGeneric}};
  for (const Case& c : cases) {
    ScriptedWrites calls({6, -c.error});
    size_t written = 0;
    EXPECT_EQ(::XpWriteAll(calls, fd_, kText.data(), kText.size(), &written), c.result) << c.error;
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(written, 6u) << c.error;
    EXPECT_EQ(calls.calls, 2u) << c.error;
  }
}

TEST_F(XpWriteAll, NothingToWriteMakesNoCall) {
  ScriptedWrites calls({-EIO});
  EXPECT_EQ(::XpWriteAll(calls, fd_, kText.data(), 0), kXpOk);
  EXPECT_EQ(calls.calls, 0u);
}

}  // namespace
