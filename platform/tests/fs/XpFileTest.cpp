#include "platform/fs/XpFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class XpFileFixture : public testsupport::HermeticTest {
 protected:
  XpString PathOf(const std::string& name) const { return ToXp(Root() / name); }
  std::filesystem::path FsPath(const std::string& name) const { return Root() / name; }

  FaultInjection faults_;
};
using XpFile = XpFileFixture;

struct OpenCase {
  const char* name;
  XpOpenMode mode;
  const char* existing;  // content before the open; null: no file
  XpResult expected;
  const char* after;  // content after the open; null: no file
};

TEST_F(XpFile, OpenModesCreateKeepOrEmptyTheFile) {
  const OpenCase cases[] = {
      {"w-existing", kXpOpenWrite, "hello", kXpOk, ""},
      {"w-missing", kXpOpenWrite, nullptr, kXpOk, ""},
      {"rw-existing", kXpOpenReadWrite, "hello", kXpOk, "hello"},
      {"rw-missing", kXpOpenReadWrite, nullptr, kXpOk, ""},
      {"r-existing", kXpOpenRead, "hello", kXpOk, "hello"},
      {"r-missing", kXpOpenRead, nullptr, kXpErrFileNotFound, nullptr},
      {"nofolder/r", kXpOpenRead, nullptr, kXpErrPathNotFound, nullptr},
      {"nofolder/w", kXpOpenWrite, nullptr, kXpErrPathNotFound, nullptr},
      {"nofolder/rw", kXpOpenReadWrite, nullptr, kXpErrOpenForWriteFailed, nullptr},
      {"no-access-bits", kXpOpenText, nullptr, kXpErrBadArgument, nullptr},
  };
  for (const OpenCase& c : cases) {
    if (c.existing != nullptr) {
      WriteBytes(FsPath(c.name), c.existing);
    }
    ::XpFile file(PathOf(c.name));
    EXPECT_EQ(file.Open(c.mode), c.expected) << c.name;
    EXPECT_EQ(file.IsOpen(), c.expected == kXpOk) << c.name;
    (void)file.Close();  // open or not, the next case begins closed
    EXPECT_EQ(std::filesystem::exists(FsPath(c.name)), c.after != nullptr) << c.name;
    if (c.after != nullptr) {
      EXPECT_EQ(ReadBytes(FsPath(c.name)), c.after) << c.name;
    }
  }
}

TEST_F(XpFile, OpenAndCloseRefuseTheWrongState) {
  ::XpFile file(PathOf("f"));
  EXPECT_EQ(file.Close(), kXpErrNotOpen);
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(file.Open(kXpOpenRead), kXpErrAlreadyOpen);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(file.Close(), kXpErrNotOpen);

  // A folder is never opened as a file.
  Dir("folder");
  ::XpFile folder(PathOf("folder"));
  EXPECT_EQ(folder.Open(kXpOpenRead), kXpErrAccessDenied);
  EXPECT_FALSE(folder.IsOpen());
}

TEST_F(XpFile, RelativePathsAreRefusedAndCreateNothing) {
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(Dir("cwd"));
  for (XpOpenMode mode : {kXpOpenWrite, kXpOpenReadWrite, kXpOpenRead}) {
    ::XpFile file(XpString(u"rel/x"));
    EXPECT_EQ(file.Open(mode), kXpErrPathNotFound) << mode;
    ::XpFile bare(XpString(u"x"));
    EXPECT_EQ(bare.Open(mode), kXpErrPathNotFound) << mode;
  }
  EXPECT_TRUE(std::filesystem::is_empty(Root() / "cwd"));
  std::filesystem::current_path(saved);
}

TEST_F(XpFile, ReadReportsTheEndOfTheFileWithTheBytesItGot) {
  WriteBytes(FsPath("f"), "0123456789");
  ::XpFile file(PathOf("f"));
  ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
  ASSERT_EQ(file.Seek(-4, kXpSeekEnd), kXpOk);
  char buffer[10] = {};
  uint64_t done = 99;
  EXPECT_EQ(file.Read(buffer, 10, &done), kXpErrEndOfFile);
  EXPECT_EQ(done, 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file.Read(nullptr, 1, &done), kXpErrBadArgument);
  EXPECT_EQ(file.Read(buffer, 0, &done), kXpErrBadArgument);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(file.Read(buffer, 1, &done), kXpErrWrongState);
  EXPECT_EQ(file.Write(buffer, 1, &done), kXpErrWrongState);
  EXPECT_EQ(file.Seek(0, kXpSeekBegin), kXpErrWrongState);
  EXPECT_EQ(file.SetLength(0), kXpErrWrongState);
  EXPECT_EQ(file.Tell(), -1);
}

TEST_F(XpFile, ShortReadsAndWritesAreCompletedByLooping) {
  std::string data;
  for (int i = 0; i < 100; ++i) data += static_cast<char>('a' + i % 26);
  faults_.Add(Fault(SysCall::kRead, Root().string()).AtMost(7));
  faults_.Add(Fault(SysCall::kWrite, Root().string()).AtMost(4));
  ::XpFile file(PathOf("f"));
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  uint64_t done = 0;
  EXPECT_EQ(file.Write(data.data(), data.size(), &done), kXpOk);
  EXPECT_EQ(done, 100u);
  ASSERT_EQ(file.Seek(0, kXpSeekBegin), kXpOk);
  std::string back(100, '\0');
  EXPECT_EQ(file.Read(back.data(), 100, &done), kXpOk);
  EXPECT_EQ(done, 100u);
  EXPECT_EQ(back, data);
}

TEST_F(XpFile, AWriteThatRunsOutOfRoomFailsWithTheBytesWritten) {
  const int rule = faults_.Add(Fault(SysCall::kWrite, Root().string()).Errno(ENOSPC).AfterBytes(3));
  ::XpFile file(PathOf("f"));
  ASSERT_EQ(file.Open(kXpOpenWrite), kXpOk);
  uint64_t done = 99;
  EXPECT_EQ(file.Write("0123456789", 10, &done), kXpErrDiskFull);
  EXPECT_EQ(done, 3u);
  EXPECT_GT(faults_.Hits(rule), 0);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(ReadBytes(FsPath("f")), "012");
}

TEST_F(XpFile, SystemFailuresBecomeResultCodes) {
  WriteBytes(FsPath("ro/existing"), "x");
  WriteBytes(FsPath("io/data"), "0123456789");
  faults_.Add(Fault(SysCall::kOpen, Root().string() + "/ro").Errno(EROFS).ForWriting());
  faults_.Add(Fault(SysCall::kRead, Root().string() + "/io").Errno(EIO));
  faults_.Add(Fault(SysCall::kClose, Root().string() + "/io").Errno(EIO));

  ::XpFile readWrite(PathOf("ro/new"));
  EXPECT_EQ(readWrite.Open(kXpOpenReadWrite), kXpErrAccessDenied);
  ::XpFile write(PathOf("ro/existing"));
  EXPECT_EQ(write.Open(kXpOpenWrite), kXpErrAccessDenied);
  EXPECT_EQ(write.Open(kXpOpenRead), kXpOk);

  ::XpFile device(PathOf("io/data"));
  ASSERT_EQ(device.Open(kXpOpenRead), kXpOk);
  char buffer[4];
  uint64_t done = 99;
  EXPECT_EQ(device.Read(buffer, sizeof(buffer), &done), kXpErrDeviceNotReady);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(device.Close(), kXpErrDeviceNotReady);
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(XpFile, SeekTellAndSetLength) {
  WriteBytes(FsPath("f"), "0123456789");
  ::XpFile file(PathOf("f"));
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(file.Seek(-1, kXpSeekBegin), kXpErrBadArgument);
  EXPECT_EQ(file.Seek(-1, kXpSeekEnd), kXpOk);
  EXPECT_EQ(file.Tell(), 9);
  EXPECT_EQ(file.Seek(-2, kXpSeekCurrent), kXpOk);
  EXPECT_EQ(file.Tell(), 7);

  EXPECT_EQ(file.SetLength(4), kXpOk);
  EXPECT_EQ(file.Tell(), 4);
  EXPECT_EQ(file.GetSize(), 4);
  ASSERT_EQ(file.Seek(2, kXpSeekBegin), kXpOk);
  EXPECT_EQ(file.SetLength(20), kXpOk);
  EXPECT_EQ(file.Tell(), 2);
  EXPECT_EQ(file.GetSize(), 20);
}

TEST_F(XpFile, SizeIsThatOfARegularFileOnly) {
  WriteBytes(FsPath("f"), "hello");
  Dir("folder");
  ::XpFile file(PathOf("f"));
  EXPECT_EQ(file.GetSize(), 5);
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(file.Seek(0, kXpSeekEnd), kXpOk);
  uint64_t done = 0;
  ASSERT_EQ(file.Write("1234567", 7, &done), kXpOk);
  EXPECT_EQ(file.GetSize(), 12);
  EXPECT_EQ(::XpFile(PathOf("folder")).GetSize(), -1);
  EXPECT_EQ(::XpFile(PathOf("missing")).GetSize(), -1);
  EXPECT_EQ(XpGetFileSize(nullptr), -1);
  EXPECT_EQ(XpGetFileSize(PathOf("f").CStr()), 12);
}

TEST_F(XpFile, NameAndPathFollowTheLastSetFile) {
  ::XpFile file(PathOf("a.b.txt"));
  EXPECT_EQ(file.GetName(), u"a.b");
  EXPECT_TRUE(file.IsFile());
  EXPECT_FALSE(file.IsDirectory());
  ASSERT_EQ(file.Open(kXpOpenWrite), kXpOk);
  EXPECT_EQ(file.OpenPath(PathOf("second"), kXpOpenWrite), kXpOk);
  EXPECT_EQ(file.GetFilePath(), PathOf("second"));
  EXPECT_TRUE(std::filesystem::exists(FsPath("a.b.txt")));
  EXPECT_EQ(file.SetFile(PathOf("third")), kXpOk);
  EXPECT_FALSE(file.IsOpen());
}

time_t ModificationTime(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mtime;
}

TEST_F(XpFile, TimesSetWhileOpenWaitForClose) {
  ::XpFile file(PathOf("f"));
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  const XpDateTime wanted(2006, 7, 15, 12, 0, 0);
  struct timespec expected {};
  ASSERT_TRUE(wanted.ToFileTime(&expected));
  const time_t before = ModificationTime(FsPath("f"));

  EXPECT_EQ(file.SetTimes(nullptr, &wanted, nullptr), kXpOk);
  EXPECT_EQ(ModificationTime(FsPath("f")), before);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(ModificationTime(FsPath("f")), expected.tv_sec);
  EXPECT_EQ(file.GetModificationTime(), wanted);

  // Applied once: writing again afterwards keeps the new time.
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  uint64_t done = 0;
  ASSERT_EQ(file.Write("x", 1, &done), kXpOk);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_GE(ModificationTime(FsPath("f")), before);
}

TEST_F(XpFile, TimesSetOnAClosedFileApplyAtOnce) {
  WriteBytes(FsPath("f"), "x");
  ::XpFile file(PathOf("f"));
  const XpDateTime modified(2006, 1, 15, 12, 0, 0);
  const XpDateTime accessed(2007, 3, 1, 8, 30, 0);
  EXPECT_EQ(file.SetTimes(&modified, &modified, &accessed), kXpOk);
  EXPECT_EQ(file.GetModificationTime(), modified);
  EXPECT_EQ(file.GetAccessTime(), accessed);

  EXPECT_EQ(::XpFile(PathOf("missing")).ApplyTimes(nullptr, &modified, nullptr),
            kXpErrFileNotFound);
  EXPECT_EQ(::XpFile(PathOf("missing/f")).ApplyTimes(nullptr, &modified, nullptr),
            kXpErrPathNotFound);
  faults_.Add(Fault(SysCall::kUtimensat, Root().string()).Errno(EROFS));
  EXPECT_EQ(file.SetTimes(nullptr, &accessed, nullptr), kXpErrAccessDenied);
}

// Reports a chosen birth time, or none.
class BirthTimeSysCalls : public XpSysCallsWrapper {
 public:
  BirthTimeSysCalls(bool hasBirth, time_t birth)
      : XpSysCallsWrapper(::XpSysCalls::Posix()), hasBirth_(hasBirth), birth_(birth) {}
  int Statx(const char* path, int flags, unsigned int mask, struct statx* out) override {
    const int status = XpSysCallsWrapper::Statx(path, flags, mask, out);
    out->stx_mask &= ~STATX_BTIME;
    if (hasBirth_) {
      out->stx_mask |= STATX_BTIME;
      out->stx_btime.tv_sec = birth_;
    }
    return status;
  }

 private:
  bool hasBirth_;
  time_t birth_;
};

TEST_F(XpFile, CreationTimeIsTheBirthTimeWhereTheFileSystemKeepsOne) {
  WriteBytes(FsPath("f"), "x");
  ::XpFile file(PathOf("f"));
  const time_t birth = 1000000000;
  const XpDateTime modified = XpDateTime(ModificationTime(FsPath("f")));
  for (bool hasBirth : {true, false}) {
    BirthTimeSysCalls calls(hasBirth, birth);
    ::XpSysCalls* previous = ::XpSysCalls::Install(&calls);
    XpDateTime created;
    XpDateTime changed;
    EXPECT_EQ(file.GetTimes(&created, &changed, nullptr), kXpOk);
    ::XpSysCalls::Install(previous);
    EXPECT_EQ(created, hasBirth ? XpDateTime(birth) : modified) << hasBirth;
    EXPECT_EQ(changed, modified);
  }
}

TEST_F(XpFile, SetFileReportsAFailedCloseOfTheOldFile) {
  ::XpFile file(PathOf("old"));
  ASSERT_EQ(file.Open(kXpOpenWrite), kXpOk);
  faults_.Add(Fault(SysCall::kClose, FsPath("old").string()).Errno(EIO));
  EXPECT_EQ(file.SetFile(PathOf("new")), kXpErrDeviceNotReady);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.GetFilePath(), PathOf("new"));
  faults_.Clear();
  EXPECT_EQ(file.OpenPath(PathOf("new"), kXpOpenWrite), kXpOk);
  EXPECT_EQ(file.Close(), kXpOk);
}

}  // namespace
