#include "platform/result/XpResultTranslation.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using Code = ::XpResult;

struct Win32Case {
  uint32_t error;
  Code expected;
};

struct ErrnoCase {
  int error;
  Code expected;
};

// The path-aware errno form looks at the file system, so every test of the
// suite runs in its own temporary folder.
class XpResultFixture : public testsupport::HermeticTest {};
using XpResult = XpResultFixture;

TEST_F(XpResult, TranslatesEveryWin32ErrorOfTheTable) {
  const Win32Case cases[] = {
      {0, 0x0000},     {2, 0x8105},    {3, 0x8106},    {4, 0x810B},     {5, 0x8108},
      {8, 0x8401},     {14, 0x8401},   {15, 0x8106},   {19, 0x8108},    {21, 0x811A},
      {32, 0x8108},    {38, 0x8103},   {39, 0x8109},   {55, 0x811A},    {65, 0x8108},
      {80, 0x810A},    {110, 0x810D},  {112, 0x8109},  {145, 0x8117},   {183, 0x810A},
      {1006, 0x8119},  {4307, 0x8117}, {10066, 0x8117},
  };
  for (const Win32Case& c : cases) {
    EXPECT_EQ(XpResultFromWin32Error(c.error), c.expected) << "Win32 error " << c.error;
  }
}

TEST_F(XpResult, TranslatesUnlistedWin32ErrorsToGenericFailure) {
  for (uint32_t error : {1u, 6u, 87u, 288u, 0xFFFFFFFFu}) {
    EXPECT_EQ(XpResultFromWin32Error(error), kXpErrGeneric) << "Win32 error " << error;
  }
}

TEST_F(XpResult, TranslatesSynchronisationErrors) {
  const Win32Case cases[] = {
      {0, kXpOk}, {6, kXpErrInvalidHandle}, {288, kXpErrNotOwner},
      {2, kXpErrSync}, {87, kXpErrSync},
  };
  for (const Win32Case& c : cases) {
    EXPECT_EQ(XpSyncResultFromLastError(c.error), c.expected) << "Win32 error " << c.error;
  }
}

TEST_F(XpResult, TranslatesWaitOutcomes) {
  constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
  struct WaitCase {
    uint32_t wait;
    uint32_t error;
    Code expected;
  };
  const WaitCase cases[] = {
      // The error is read only when the wait failed.
      {0, 6, kXpOk},
      {0x80, 6, kXpErrAbandoned},
      {0x102, 6, kXpErrTimeout},
      {kWaitFailed, 6, kXpErrInvalidHandle},
      {kWaitFailed, 288, kXpErrNotOwner},
      {kWaitFailed, 5, kXpErrSync},
      {kWaitFailed, 0, kXpOk},
  };
  for (const WaitCase& c : cases) {
    EXPECT_EQ(XpSyncResultFromWait(c.wait, c.error), c.expected)
        << "wait " << c.wait << " error " << c.error;
  }
}

TEST_F(XpResult, TranslatesErrno) {
  const ErrnoCase cases[] = {
      {0, kXpOk},
      {ENOENT, kXpErrFileNotFound},
      {ENOTDIR, kXpErrPathNotFound},
      {EACCES, kXpErrAccessDenied},
      {EPERM, kXpErrAccessDenied},
      {EROFS, kXpErrAccessDenied},
      {EBUSY, kXpErrAccessDenied},
      {ETXTBSY, kXpErrAccessDenied},
      {EISDIR, kXpErrAccessDenied},
      {ENOSPC, kXpErrDiskFull},
      {EDQUOT, kXpErrDiskFull},
      {EFBIG, kXpErrDiskFull},
      {EEXIST, kXpErrAlreadyExists},
      {ENOTEMPTY, kXpErrDirNotEmpty},
      {EMFILE, kXpErrTooManyOpenFiles},
      {ENFILE, kXpErrTooManyOpenFiles},
      {EIO, kXpErrDeviceNotReady},
      {ENXIO, kXpErrDeviceNotReady},
      {ENODEV, kXpErrDeviceNotReady},
      {ENOMEDIUM, kXpErrDeviceNotReady},
      {ENOMEM, kXpErrOutOfMemory},
      {EINVAL, kXpErrGeneric},
      {EAGAIN, kXpErrGeneric},
      {ELOOP, kXpErrGeneric},
  };
  for (const ErrnoCase& c : cases) {
    EXPECT_EQ(XpResultFromErrno(c.error), c.expected) << "errno " << c.error;
  }
}

TEST_F(XpResult, TranslatesErrnoOfSynchronisationCalls) {
  const ErrnoCase cases[] = {
      {0, kXpOk},
      {ETIMEDOUT, kXpErrTimeout},
      {EPERM, kXpErrNotOwner},
      {EINVAL, kXpErrInvalidHandle},
      {EBADF, kXpErrInvalidHandle},
      {EDEADLK, kXpErrSync},
      {ENOENT, kXpErrSync},
  };
  for (const ErrnoCase& c : cases) {
    EXPECT_EQ(XpSyncResultFromErrno(c.error), c.expected) << "errno " << c.error;
  }
}

TEST_F(XpResult, TellsAMissingFileFromAMissingFolder) {
  const std::string folder = Dir("present").string();
  std::filesystem::create_directories(Root() / "present" / "sub");
  const std::string notAFolder = (Root() / "present" / "plain").string();
  ASSERT_TRUE(std::ofstream(notAFolder).good());
  struct PathCase {
    std::string path;
    Code expected;
  };
  const PathCase cases[] = {
      {folder + "/missing.jpg", kXpErrFileNotFound},
      {folder + "/missing/", kXpErrFileNotFound},
      {folder + "//missing", kXpErrFileNotFound},
      {folder + "/sub/missing", kXpErrFileNotFound},
      {folder + "/gone/missing.jpg", kXpErrPathNotFound},
      {folder + "/gone/deeper/missing.jpg", kXpErrPathNotFound},
      {folder + "/gone//missing/", kXpErrPathNotFound},
      {notAFolder + "/missing.jpg", kXpErrPathNotFound},
      {"/kavo-missing-entry-of-the-root", kXpErrFileNotFound},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(XpResultFromErrno(ENOENT, c.path.c_str()), c.expected) << c.path;
  }
}

TEST_F(XpResult, PathAwareFormChangesOnlyNotFound) {
  const std::string missingParent = (Root() / "gone" / "file").string();
  for (int error : {0, ENOTDIR, EACCES, EEXIST, EINVAL}) {
    EXPECT_EQ(XpResultFromErrno(error, missingParent.c_str()), XpResultFromErrno(error))
        << "errno " << error;
  }
  EXPECT_EQ(XpResultFromErrno(ENOENT, nullptr), kXpErrFileNotFound);
  EXPECT_EQ(XpResultFromErrno(ENOENT, ""), kXpErrFileNotFound);
}

TEST_F(XpResult, BareNameIsLookedUpInTheWorkingFolder) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(Dir("work"));
  const Code inWorkingFolder = XpResultFromErrno(ENOENT, "missing.jpg");
  const Code belowMissingFolder = XpResultFromErrno(ENOENT, "gone/missing.jpg");
  std::filesystem::current_path(before);
  EXPECT_EQ(inWorkingFolder, kXpErrFileNotFound);
  EXPECT_EQ(belowMissingFolder, kXpErrPathNotFound);
}

TEST_F(XpResult, PathAwareFormKeepsErrno) {
  const std::string missingParent = (Root() / "gone" / "file").string();
  errno = EROFS;
  EXPECT_EQ(XpResultFromErrno(ENOENT, missingParent.c_str()), kXpErrPathNotFound);
  EXPECT_EQ(errno, EROFS);
}

}  // namespace
