#include "platform/fs/XpDir.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

using fstest::ToUtf8;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;
using Names = std::vector<std::string>;

class XpDirFixture : public testsupport::HermeticTest {
 protected:
  XpString PathOf(const std::string& name) const { return ToXp(Root() / name); }

  // The children an enumeration hands out: leaf names, folders with a
  // trailing '/', sorted.
  static Names Enumerate(::XpDir& dir, XpEnumFilter filter, const XpString& pattern) {
    EXPECT_EQ(dir.BeginEnum(filter, pattern), kXpOk);
    Names names;
    while (XpSharedPtr<XpAbstractFSObj> child = dir.GetNext()) {
      names.push_back(ToUtf8(XpPathGetLeafName(child->GetPath())) +
                      (child->IsDirectory() ? "/" : ""));
    }
    EXPECT_EQ(dir.EndEnum(), kXpOk);
    std::sort(names.begin(), names.end());
    return names;
  }
};
using XpDir = XpDirFixture;

struct FilterCase {
  XpEnumFilter filter;
  const char16_t* pattern;
  Names expected;
};

TEST_F(XpDir, FiltersAdmitByKindThenByOneExactNameTest) {
  for (const char* folder : {"DCIM", "dcim", "c.JPG"}) {
    std::filesystem::create_directories(Root() / "t" / folder);
  }
  for (const char* file : {"a.JPG", "b.jpg", "MISC.TXT"}) {
    WriteBytes(Root() / "t" / file, "x");
  }
  std::filesystem::create_directory_symlink("DCIM", Root() / "t" / "lnk");

  const FilterCase cases[] = {
      {0x101, u"DCIM", {"DCIM/"}},
      {0x402, u".JPG", {"a.JPG"}},
      {0x100, u"DCIM", {}},
      // "." and ".." never appear; a link to a folder is a file.
      {0x3, u"", {"DCIM/", "MISC.TXT", "a.JPG", "b.jpg", "c.JPG/", "dcim/", "lnk"}},
      {0x1, u"", {"DCIM/", "c.JPG/", "dcim/"}},
      {0x203, u"dc", {"dcim/"}},
      {0x403, u"JPG", {"a.JPG", "c.JPG/"}},
      // Equality wins over the other name tests.
      {0x302, u"a", {}},
      // A name shorter than the pattern is compared whole.
      {0x202, u"a.JPG.long", {}},
  };
  ::XpDir dir(PathOf("t"));
  for (const FilterCase& c : cases) {
    EXPECT_EQ(Enumerate(dir, c.filter, XpString(c.pattern)), c.expected)
        << std::hex << c.filter << " " << ToUtf8(XpString(c.pattern));
  }
}

TEST_F(XpDir, ChildrenAreFoldersOrFilesAndTheCheckedDowncastTellsThemApart) {
  std::filesystem::create_directories(Root() / "t" / "sub");
  WriteBytes(Root() / "t" / "file", "x");
  ::XpDir dir(PathOf("t"));

  ASSERT_EQ(dir.BeginEnum(kXpEnumDirectories, XpString()), kXpOk);
  XpSharedPtr<XpAbstractFSObj> folder = dir.GetNext();
  ASSERT_TRUE(folder);
  XpSharedPtr<::XpDir> asDir(folder);
  ASSERT_TRUE(asDir);
  EXPECT_EQ(static_cast<XpAbstractFSObj*>(asDir.Get()), folder.Get());
  EXPECT_EQ(folder.UseCountForTest(), 2);
  EXPECT_EQ(asDir->GetPath(), PathOf("t/sub"));

  ASSERT_EQ(dir.BeginEnum(kXpEnumFiles, XpString()), kXpOk);
  XpSharedPtr<XpAbstractFSObj> file = dir.GetNext();
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->IsFile());
  XpSharedPtr<::XpDir> notDir(file);
  EXPECT_FALSE(notDir);
  EXPECT_EQ(file.UseCountForTest(), 1);
  XpSharedPtr<XpFile> asFile(file);
  EXPECT_TRUE(asFile);
  EXPECT_FALSE(dir.GetNext());
}

TEST_F(XpDir, NamesThatAreNotUtf8SurviveTheWayToTheChild) {
  WriteBytes(Root() / "t" / "bad\xFF.JPG", "12345");
  ::XpDir dir(PathOf("t"));
  ASSERT_EQ(dir.BeginEnum(kXpEnumNameEnds | kXpEnumFiles, XpString(u".JPG")), kXpOk);
  XpSharedPtr<XpAbstractFSObj> child = dir.GetNext();
  ASSERT_TRUE(child);
  EXPECT_EQ(child->GetName(), u"bad\xDCFF");
  EXPECT_EQ(child->GetSize(), 5);
}

TEST_F(XpDir, MissingFolderCannotBeEnumerated) {
  ::XpDir missing(PathOf("missing"));
  EXPECT_EQ(missing.BeginEnum(kXpEnumAll, XpString()), kXpErrFileNotFound);
  EXPECT_FALSE(missing.GetNext());
  EXPECT_EQ(missing.EndEnum(), kXpErrWrongState);
  ::XpDir deeper(PathOf("missing/below"));
  EXPECT_EQ(deeper.BeginEnum(kXpEnumAll, XpString()), kXpErrPathNotFound);
}

TEST_F(XpDir, EnumerationFailuresOfTheSystemAreTranslated) {
  Dir("denied");
  Dir("gone");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kOpendir, Root().string() + "/denied").Errno(EACCES));
  faults.Add(Fault(SysCall::kOpendir, Root().string() + "/gone").Errno(EIO));
  ::XpDir denied(PathOf("denied"));
  EXPECT_EQ(denied.BeginEnum(kXpEnumAll, XpString()), kXpErrAccessDenied);
  EXPECT_EQ(denied.EndEnum(), kXpErrWrongState);
  ::XpDir gone(PathOf("gone"));
  EXPECT_EQ(gone.BeginEnum(kXpEnumAll, XpString()), kXpErrDeviceNotReady);
}

TEST_F(XpDir, SizeOnDiskRoundsUpToTheClustersOfTheVolume) {
  struct statvfs info {};
  ASSERT_EQ(::statvfs(Root().c_str(), &info), 0);
  const uint64_t cluster = info.f_bsize;
  ::XpDir dir(ToXp(Root()));
  EXPECT_EQ(dir.GetClusterSize(), cluster);
  EXPECT_EQ(dir.GetSizeOnDisk(1), cluster);
  EXPECT_EQ(dir.GetSizeOnDisk(0), 0u);
  EXPECT_EQ(dir.GetSizeOnDisk(2 * cluster), 2 * cluster);
  EXPECT_EQ(dir.GetSizeOnDisk(2 * cluster + 1), 3 * cluster);
  EXPECT_EQ(::XpDir(XpString()).GetClusterSize(), 4096u);
}

TEST_F(XpDir, SpaceComesFromTheVolumeAndIsUnknownWhenItCannotBeAsked) {
  ::XpDir dir(ToXp(Root()));
  const int64_t total = dir.GetTotalSpace();
  EXPECT_GT(total, 0);
  EXPECT_GE(dir.GetFreeSpace(), 0);
  EXPECT_LE(dir.GetFreeSpace(), total);
  EXPECT_GT(dir.GetUsedSpace(), 0);
  EXPECT_LE(dir.GetUsedSpace(), total);

  FaultInjection faults;
  faults.Add(Fault(SysCall::kStatvfs, Root().string()).Errno(EIO));
  ::XpDir failing(ToXp(Root()));
  EXPECT_EQ(failing.GetTotalSpace(), -1);
  EXPECT_EQ(failing.GetUsedSpace(), -1);
  EXPECT_EQ(failing.GetFreeSpace(), -1);
  EXPECT_EQ(failing.GetClusterSize(), 4096u);
}

TEST_F(XpDir, NameTimesAndKindOfAFolder) {
  Dir("DBFILES.tmp");
  ::XpDir dir(PathOf("DBFILES.tmp"));
  EXPECT_EQ(dir.GetName(), u"DBFILES");
  EXPECT_TRUE(dir.IsDirectory());
  EXPECT_FALSE(dir.IsFile());
  EXPECT_FALSE(dir.IsHidden());
  EXPECT_FALSE(dir.IsReadOnly());

  struct stat info {};
  ASSERT_EQ(::stat((Root() / "DBFILES.tmp").c_str(), &info), 0);
  XpDateTime modified;
  EXPECT_EQ(dir.GetTimes(nullptr, &modified, nullptr), kXpOk);
  EXPECT_EQ(modified, XpDateTime(info.st_mtime));
  const XpDateTime time(2006, 1, 2, 3, 4, 5);
  EXPECT_EQ(dir.SetTimes(nullptr, &time, nullptr), kXpErrNotSupportedByOs);

  ::XpDir missing(PathOf("missing"));
  XpDateTime untouched(2000, 1, 1, 0, 0, 0);
  EXPECT_EQ(missing.GetTimes(&untouched, nullptr, nullptr), kXpErrFileNotFound);
  EXPECT_EQ(untouched, XpDateTime(2000, 1, 1, 0, 0, 0));
  EXPECT_FALSE(missing.GetModificationTime().IsValid());
}

}  // namespace
