#include "platform/fs/XpReadWholeFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;

// The file looks longer than it is, as when it shrinks after its size was
// taken.
class ShrinkingFile : public XpSysCallsWrapper {
 public:
  ShrinkingFile() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ShrinkingFile(const ShrinkingFile&) = delete;
  ShrinkingFile& operator=(const ShrinkingFile&) = delete;
  ~ShrinkingFile() override { XpSysCalls::Install(previous_); }

  int Fstat(int fd, struct stat* out) override {
    const int status = Target().Fstat(fd, out);
    if (status == 0) out->st_size += 100;
    return status;
  }

 private:
  XpSysCalls* previous_ = nullptr;
};

class ReadWholeFileFixture : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = Root() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};
using XpReadWholeFile = ReadWholeFileFixture;

TEST_F(XpReadWholeFile, ReadsEveryByteThroughShortReads) {
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13);
  const std::filesystem::path path = Write("data.bin", content);
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Root().string()).AtMost(4093));
  std::vector<uint8_t> bytes;
  ASSERT_EQ(::XpReadWholeFile(XpString::FromUtf8(path.string()), &bytes), kXpOk);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);

  ASSERT_EQ(::XpReadWholeFile(XpString::FromUtf8(Write("empty", "").string()), &bytes), kXpOk);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(XpReadWholeFile, FailuresLeaveNoBytes) {
  const std::filesystem::path path = Write("data.bin", "0123456789");
  std::vector<uint8_t> bytes{7};
  EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8((Root() / "missing").string()), &bytes),
            kXpErrFileNotFound);
  EXPECT_TRUE(bytes.empty());
  EXPECT_NE(::XpReadWholeFile(XpString::FromUtf8(Dir("folder").string()), &bytes), kXpOk);
  EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8(path.string()),
                              static_cast<std::vector<uint8_t>*>(nullptr)),
            kXpErrBadArgument);
  {
    ShrinkingFile shrinking;
    EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8(path.string()), &bytes), kXpErrEndOfFile);
    EXPECT_TRUE(bytes.empty());
  }
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Root().string()).Errno(EIO).AfterBytes(4));
  EXPECT_NE(::XpReadWholeFile(XpString::FromUtf8(path.string()), &bytes), kXpOk);
  EXPECT_TRUE(bytes.empty());
}

// Text is read to the end whatever size the file announces (as /proc and
// /sys files announce one they do not hold), through short and interrupted
// reads; failures leave no text and say why.
TEST_F(XpReadWholeFile, TextIsReadToTheEndWhateverSizeTheFileAnnounces) {
  std::string content(200000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 26);
  const std::filesystem::path path = Write("text.txt", content);
  std::string text;
  {
    ShrinkingFile longer;
    testsupport::FaultInjection faults;
    faults.Add(Fault(SysCall::kRead, Root().string()).AtMost(4093));
    ASSERT_EQ(::XpReadWholeFile(XpString::FromUtf8(path.string()), &text), kXpOk);
  }
  EXPECT_EQ(text, content);
  ASSERT_EQ(::XpReadWholeFile(XpString(u"/proc/self/stat"), &text), kXpOk);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');

  text = "stale";
  EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8((Root() / "missing").string()), &text),
            kXpErrFileNotFound);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8(Dir("folder").string()), &text),
            kXpErrInvalidFile);
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Root().string()).Errno(EIO).AfterBytes(4));
  EXPECT_EQ(::XpReadWholeFile(XpString::FromUtf8(path.string()), &text), kXpErrDeviceNotReady);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(
      ::XpReadWholeFile(XpString::FromUtf8(path.string()), static_cast<std::string*>(nullptr)),
      kXpErrBadArgument);
}

}  // namespace
