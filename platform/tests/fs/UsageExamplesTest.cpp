// The usage examples at the top of XpSysCalls.h, XpFile.h and
// XpPendingFile.h, run as written on a scratch folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResult.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;

class PlatformUsageExamples : public testsupport::HermeticTest {};

// The read of the XpSysCalls example; head receives the first bytes.
[[nodiscard]] XpResult ReadHead(const char* path, std::string* head) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path, O_RDONLY, 0);
  if (fd < 0) return XpResultFromErrno(errno, path);
  char bytes[4];
  const ssize_t got = calls.Read(fd, bytes, sizeof bytes);
  calls.Close(fd);
  if (got < 0) return XpResultFromErrno(errno);
  head->assign(bytes, static_cast<size_t>(got));
  return kXpOk;
}

class FailingFsync : public XpSysCallsWrapper {
 public:
  FailingFsync() : XpSysCallsWrapper(XpSysCalls::Current()) {}
  int Fsync(int) override {
    errno = EIO;
    return -1;
  }
};

TEST_F(PlatformUsageExamples, XpSysCallsReadsThroughTheSeamAndATestMakesOneCallFail) {
  const fs::path path = Dir("work") / "head.bin";
  WriteBytes(path, "KAVO-rest");
  std::string head;
  ASSERT_EQ(ReadHead(path.c_str(), &head), kXpOk);
  EXPECT_EQ(head, "KAVO");
  EXPECT_EQ(ReadHead((Dir("work") / "missing").c_str(), &head), kXpErrFileNotFound);

  FailingFsync failing;
  XpSysCalls* previous = XpSysCalls::Install(&failing);
  const int fd = XpSysCalls::Current().Open(path.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  errno = 0;
  EXPECT_EQ(XpSysCalls::Current().Fsync(fd), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(XpSysCalls::Current().Close(fd), 0);
  XpSysCalls::Install(previous);
  EXPECT_EQ(&XpSysCalls::Installed(), previous);
}

TEST_F(PlatformUsageExamples, XpFileWritesAFileAndReadsItBack) {
  const XpString path = ToXp(Dir("work") / "notes.txt");
  XpFile file;
  XpResult result = file.OpenPath(path, kXpOpenWrite);
  ASSERT_EQ(result, kXpOk);
  uint64_t done = 0;
  result = file.Write("hello", 5, &done);
  if (XpSucceeded(result)) result = file.Sync();
  const XpResult closed = file.Close();
  EXPECT_EQ(result, kXpOk);
  EXPECT_EQ(closed, kXpOk);
  EXPECT_EQ(done, 5u);

  char bytes[5];
  result = file.OpenPath(path, kXpOpenRead);
  if (XpSucceeded(result)) result = file.Read(bytes, sizeof bytes, &done);
  EXPECT_EQ(result, kXpOk);
  EXPECT_EQ(std::string(bytes, done), "hello");
  EXPECT_EQ(file.Close(), kXpOk);

  XpFile missing;
  EXPECT_EQ(missing.OpenPath(ToXp(Dir("work") / "missing.txt"), kXpOpenRead), kXpErrFileNotFound);
}

// The steps of the XpPendingFile example.
[[nodiscard]] XpResult ReplaceSettings(const XpString& path, const std::string& text) {
  XpPendingFile pending;
  XpResult result = pending.Create(path);
  if (XpSucceeded(result)) result = pending.Write(text);
  if (XpSucceeded(result)) result = pending.Sync();
  if (XpSucceeded(result)) result = pending.Publish(true);
  if (XpSucceeded(result)) result = pending.SyncFolder();
  return result;
}

TEST_F(PlatformUsageExamples, XpPendingFileReplacesAFileWhole) {
  const fs::path path = Dir("config") / "settings.xml";
  WriteBytes(path, "<old/>");
  ASSERT_EQ(ReplaceSettings(ToXp(path), "<new/>"), kXpOk);
  EXPECT_EQ(ReadBytes(path), "<new/>");
  ASSERT_EQ(XpReplaceFileAtomically(ToXp(path), "<newer/>", 0644), kXpOk);
  EXPECT_EQ(ReadBytes(path), "<newer/>");
  // Nothing but the settings file is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(PlatformUsageExamples, XpPendingFileThatFailsLeavesTheOldFile) {
  const fs::path path = Dir("config") / "settings.xml";
  WriteBytes(path, "<old/>");
  FailingFsync failing;
  XpSysCalls* previous = XpSysCalls::Install(&failing);
  const XpResult result = ReplaceSettings(ToXp(path), "<new/>");
  XpSysCalls::Install(previous);
  EXPECT_NE(result, kXpOk);
  EXPECT_EQ(ReadBytes(path), "<old/>");
  EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1);
}

}  // namespace
