#include "platform/memory/XpMemoryMappedFile.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;
using View = ::XpMemoryMappedFile::View;

constexpr int64_t kFileSize = 200000;

// A byte pattern that differs between neighbouring 64 KiB blocks.
char PatternAt(int64_t position) {
  return static_cast<char>((position * 7 + position / 251) & 0xFF);
}

std::string Pattern(int64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  for (int64_t i = 0; i < size; ++i) {
    bytes[static_cast<size_t>(i)] = PatternAt(i);
  }
  return bytes;
}

class MappedFileFixture : public testsupport::HermeticTest {
 protected:
  // A file of size pattern bytes below Root().
  XpString MakeFile(const std::string& name, int64_t size) {
    const std::filesystem::path path = Root() / name;
    fstest::WriteBytes(path, Pattern(size));
    return fstest::ToXp(path);
  }

  static std::string Read(const XpString& path) {
    return fstest::ReadBytes(fstest::ToUtf8(path));
  }

  static std::string Bytes(const View& view, int64_t count) {
    return std::string(reinterpret_cast<const char*>(view.GetData()), static_cast<size_t>(count));
  }
};
// Suite name of the mapped file's tests; the class itself is ::XpMemoryMappedFile.
using XpMemoryMappedFile = MappedFileFixture;

TEST_F(XpMemoryMappedFile, ViewAtAnUnalignedOffsetStartsAtTheBlockBelowIt) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", kFileSize)), kXpOk);
  // Size 0 asked for the whole file.
  EXPECT_EQ(file.GetSize(), kFileSize);

  View view(70000, 100);
  ASSERT_EQ(view.Map(file), kXpOk);
  ASSERT_NE(view.GetData(), nullptr);
  EXPECT_EQ(view.GetData() - view.GetViewBase(), 4464);
  EXPECT_EQ(view.GetViewEnd() - view.GetViewBase(), 65536);
  EXPECT_EQ(view.GetOffset(), 70000);
  EXPECT_EQ(view.GetLength(), 100u);
  EXPECT_EQ(view.GetFileSize(), kFileSize);
  EXPECT_EQ(Bytes(view, 100), Pattern(kFileSize).substr(70000, 100));
}

TEST_F(XpMemoryMappedFile, ViewToTheEndStopsAtTheEndOfTheFile) {
  ::XpMemoryMappedFile file(MakeFile("data", kFileSize));
  View view(150000);
  ASSERT_EQ(view.Map(file), kXpOk);  // opens the file
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(view.GetViewBase() + (kFileSize - 131072), view.GetViewEnd());
  EXPECT_EQ(Bytes(view, kFileSize - 150000), Pattern(kFileSize).substr(150000));
}

TEST_F(XpMemoryMappedFile, ViewAtOrPastTheEndHasNoData) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", kFileSize)), kXpOk);
  for (int64_t offset : {kFileSize, kFileSize + 1, int64_t{1} << 40}) {
    View view(offset, 10);
    EXPECT_EQ(view.Map(file), kXpOk) << offset;
    EXPECT_EQ(view.GetData(), nullptr) << offset;
    EXPECT_EQ(view.Flush(), kXpErrWrongState) << offset;
  }
  View negative(-1, 10);
  EXPECT_EQ(negative.Map(file), kXpErrBadArgument);
}

TEST_F(XpMemoryMappedFile, MappingsTheFileCannotHoldAreRefused) {
  const XpString empty = MakeFile("empty", 0);
  const XpString small = MakeFile("small", 10);
  const struct {
    XpString path;
    int64_t size;
    uint32_t access;
    uint32_t share;
  } cases[] = {
      {empty, 0, kXpMapAccessRead, kXpMapShareShared},
      {empty, 0, kXpMapAccessReadWrite, kXpMapShareShared},
      {small, 11, kXpMapAccessRead, kXpMapShareShared},
      {small, 100000, kXpMapAccessReadWrite, kXpMapShareCopyOnWrite},
  };
  for (const auto& c : cases) {
    ::XpMemoryMappedFile file;
    EXPECT_EQ(file.Open(c.path, c.size, c.access, c.share), kXpErrInvalidFile) << c.size;
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(Read(small), Pattern(10));
  EXPECT_EQ(Read(empty), "");
}

TEST_F(XpMemoryMappedFile, WritableMappingLargerThanTheFileGrowsIt) {
  const XpString path = MakeFile("small", 10);
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(path, 100000, kXpMapAccessReadWrite), kXpOk);
  EXPECT_EQ(std::filesystem::file_size(fstest::ToUtf8(path)), 100000u);

  View view(0, 0, nullptr, kXpMapAccessReadWrite);
  ASSERT_EQ(view.Map(file), kXpOk);
  ASSERT_EQ(view.GetViewEnd() - view.GetData(), 100000);
  view.GetData()[99999] = 'Z';  // past the old end: no SIGBUS
  view.GetData()[0] = 'A';
  EXPECT_EQ(view.Flush(), kXpOk);

  const std::string written = Read(path);
  ASSERT_EQ(written.size(), 100000u);
  EXPECT_EQ(written[0], 'A');
  EXPECT_EQ(written.substr(1, 9), Pattern(10).substr(1));
  EXPECT_EQ(written[50000], '\0');
  EXPECT_EQ(written[99999], 'Z');
}

TEST_F(XpMemoryMappedFile, CopyOnWriteKeepsWritesFromTheFile) {
  const XpString path = MakeFile("data", 100);
  struct Case {
    uint32_t access;
    uint32_t share;
    uint32_t viewAccess;
    bool viewCopy;
  };
  const Case cases[] = {
      {kXpMapAccessRead, kXpMapShareShared, kXpMapAccessReadWrite, true},
      {kXpMapAccessReadWrite, kXpMapShareCopyOnWrite, kXpMapAccessReadWrite, false},
  };
  for (const Case& c : cases) {
    ::XpMemoryMappedFile file;
    ASSERT_EQ(file.Open(path, 0, c.access, c.share), kXpOk);
    View view(0, 0, nullptr, c.viewAccess, c.viewCopy);
    ASSERT_EQ(view.Map(file), kXpOk);
    view.GetData()[5] = 'Q';
    EXPECT_EQ(view.GetData()[5], 'Q');
    EXPECT_EQ(view.Flush(), kXpOk);
    EXPECT_EQ(Read(path), Pattern(100)) << c.share;
  }
}

TEST_F(XpMemoryMappedFile, WritableViewOfAReadOnlyMappingIsDenied) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", 100)), kXpOk);
  View view(0, 0, nullptr, kXpMapAccessReadWrite);
  EXPECT_EQ(view.Map(file), kXpErrAccessDenied);
  EXPECT_EQ(view.GetData(), nullptr);
}

TEST_F(XpMemoryMappedFile, MovingInsideTheViewKeepsTheMapping) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", kFileSize)), kXpOk);
  const std::string pattern = Pattern(kFileSize);
  View view(70000, 100);
  ASSERT_EQ(view.Map(file), kXpOk);
  uint8_t* base = view.GetViewBase();

  ASSERT_EQ(view.SetOffset(70100), kXpOk);
  EXPECT_EQ(view.GetViewBase(), base);
  EXPECT_EQ(view.GetData(), base + 4564);
  EXPECT_EQ(Bytes(view, 100), pattern.substr(70100, 100));

  ASSERT_EQ(view.Move(-4564), kXpOk);  // to the block's start
  EXPECT_EQ(view.GetViewBase(), base);
  EXPECT_EQ(view.GetData(), base);

  // Outside the view: mapped anew.
  ASSERT_EQ(view.SetOffset(140000), kXpOk);
  EXPECT_EQ(view.GetData() - view.GetViewBase(), 140000 - 131072);
  EXPECT_EQ(Bytes(view, 100), pattern.substr(140000, 100));

  ASSERT_EQ(view.SetLength(60000), kXpOk);
  EXPECT_EQ(view.GetViewEnd() - view.GetViewBase(), kFileSize - 131072);
  EXPECT_EQ(Bytes(view, 60000), pattern.substr(140000, 60000));

  EXPECT_EQ(view.Move(-200000), kXpErrBadArgument);
  EXPECT_EQ(view.GetOffset(), 140000);
}

TEST_F(XpMemoryMappedFile, OperationsWithoutStateOrMappingAreWrongState) {
  ::XpMemoryMappedFile none;
  EXPECT_EQ(none.Reopen(), kXpErrWrongState);
  EXPECT_EQ(none.Close(), kXpErrWrongState);
  EXPECT_EQ(none.GetSize(), -1);
  EXPECT_EQ(none.GetPath(), u"");

  View view(0, 10);
  EXPECT_EQ(view.Map(none), kXpErrWrongState);
  EXPECT_EQ(view.GetFileSize(), 0);
  EXPECT_EQ(view.Flush(), kXpErrWrongState);
  EXPECT_EQ(view.Lock(), kXpErrWrongState);
  EXPECT_EQ(view.Unlock(), kXpErrWrongState);
  EXPECT_EQ(view.SetAccess(kXpMapAccessRead, false), kXpErrWrongState);
  EXPECT_EQ(view.SetOffset(1), kXpErrWrongState);
  EXPECT_EQ(view.Move(1), kXpErrWrongState);
  EXPECT_EQ(view.SetLength(1), kXpErrWrongState);

  // A file that is not open yet still has state.
  ::XpMemoryMappedFile closed(u"/nowhere");
  EXPECT_EQ(closed.Close(), kXpOk);
  EXPECT_EQ(closed.GetPath(), u"/nowhere");
}

TEST_F(XpMemoryMappedFile, CopiesShareOneStateAndViewsOutliveClose) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", 1000)), kXpOk);
  ::XpMemoryMappedFile copy = file;
  View view(10, 20);
  ASSERT_EQ(view.Map(copy), kXpOk);
  EXPECT_EQ(copy.Close(), kXpOk);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(Bytes(view, 20), Pattern(1000).substr(10, 20));

  // Mapping again opens the file again.
  View second(990, 10);
  ASSERT_EQ(second.Map(file), kXpOk);
  EXPECT_TRUE(copy.IsOpen());
  EXPECT_EQ(Bytes(second, 10), Pattern(1000).substr(990));
  EXPECT_EQ(file.Reopen(), kXpOk);
}

TEST_F(XpMemoryMappedFile, LockAndAccessChangeTheViewsPages) {
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", 5000)), kXpOk);
  View view(100, 50);
  ASSERT_EQ(view.Map(file), kXpOk);
  EXPECT_EQ(view.Lock(), kXpOk);
  EXPECT_EQ(view.Unlock(), kXpOk);
  // Shared pages of a read-only file cannot become writable or private.
  EXPECT_EQ(view.SetAccess(kXpMapAccessReadWrite, false), kXpErrAccessDenied);
  EXPECT_EQ(view.SetAccess(kXpMapAccessRead, true), kXpErrNotSupportedByOs);
  EXPECT_EQ(view.SetAccess(kXpMapAccessRead, false), kXpOk);

  View copy(100, 50, nullptr, kXpMapAccessRead, true);
  ASSERT_EQ(copy.Map(file), kXpOk);
  ASSERT_EQ(copy.SetAccess(kXpMapAccessReadWrite, true), kXpOk);
  copy.GetData()[0] = 'w';
  EXPECT_EQ(copy.GetData()[0], 'w');
  EXPECT_EQ(view.GetData()[0], static_cast<uint8_t>(PatternAt(100)));
}

TEST_F(XpMemoryMappedFile, NoAccessViewCannotBeTouched) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::XpMemoryMappedFile file;
  ASSERT_EQ(file.Open(MakeFile("data", 5000)), kXpOk);
  View view(0, 0, nullptr, kXpMapAccessNone);
  ASSERT_EQ(view.Map(file), kXpOk);
  ASSERT_NE(view.GetData(), nullptr);
  EXPECT_DEATH({ [[maybe_unused]] volatile uint8_t byte = view.GetData()[10]; }, "");
  ASSERT_EQ(view.SetAccess(kXpMapAccessRead, false), kXpOk);
  EXPECT_EQ(view.GetData()[10], static_cast<uint8_t>(PatternAt(10)));
}

TEST_F(XpMemoryMappedFile, OpenFailuresAreTranslated) {
  const XpString existing = MakeFile("data", 100);
  const XpString missing = fstest::ToXp(Root() / "missing");
  const XpString inMissingFolder = fstest::ToXp(Root() / "no" / "file");
  ::XpMemoryMappedFile file;
  EXPECT_EQ(file.Open(missing), kXpErrFileNotFound);
  EXPECT_EQ(file.Open(inMissingFolder, 10, kXpMapAccessReadWrite), kXpErrPathNotFound);
  EXPECT_EQ(file.Open(fstest::ToXp(Root())), kXpErrInvalidFile);  // a folder

  const struct {
    SysCall call;
    int error;
    XpResult result;
  } faults[] = {
      {SysCall::kOpen, EACCES, kXpErrAccessDenied},
      {SysCall::kFstat, EIO, kXpErrDeviceNotReady},
      {SysCall::kFtruncate, ENOSPC, kXpErrDiskFull},
  };
  for (const auto& f : faults) {
    FaultInjection injection;
    const int rule = injection.Add(Fault(f.call, Root().string()).Errno(f.error));
    EXPECT_EQ(file.Open(existing, 4096, kXpMapAccessReadWrite), f.result) << f.error;
    EXPECT_EQ(injection.Hits(rule), 1) << f.error;
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(Read(existing), Pattern(100));
}

}  // namespace
