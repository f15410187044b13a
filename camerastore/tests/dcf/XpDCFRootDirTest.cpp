#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFRootDir.h"
#include "camerastore/tests/dcf/DcfTestVolume.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"

namespace {

using dcftest::LeafOf;
using XpDCFRootDir = dcftest::VolumeTest;

// Leaf names of the folders a scan listed, in no particular order.
std::set<XpString> FolderNames(const ::XpDCFRootDir& root) {
  std::set<XpString> names;
  for (const XpSharedPtr<XpDCFDir>& folder : root.GetFolders()) {
    names.insert(LeafOf(*folder));
  }
  return names;
}

TEST_F(XpDCFRootDir, NextFolderNumberFollowsTheHighestNumberInUse) {
  struct Case {
    const char* name;
    std::vector<std::string> folders;
    int32_t expected;
  };
  const Case cases[] = {
      {"two", {"100ABCDE", "101ABCDE"}, 102},
      {"one", {"100ABCDE"}, 101},
      {"gap", {"105ABCDE", "999ABCDE"}, 1000},
      {"none", {}, 101},
      {"shared", {"100ABCDE", "100ZXDCF"}, 101},
      {"below", {"120ABCDE", "101ABCDE", "103ABCDE"}, 121},
  };
  for (const Case& c : cases) {
    const std::filesystem::path dcim = MakeFolder(std::string(c.name) + "/DCIM");
    for (const std::string& folder : c.folders) {
      std::filesystem::create_directory(dcim / folder);
    }
    ::XpDCFRootDir root(FolderEntry(dcim));
    ASSERT_EQ(root.ScanFolders(), kXpOk) << c.name;
    EXPECT_EQ(root.NextFolderNumber(), c.expected) << c.name;
    EXPECT_EQ(root.GetFolders().size(), c.folders.size()) << c.name;
  }
  ::XpDCFRootDir shared(FolderEntry(Volume() / "shared/DCIM"));
  ASSERT_EQ(shared.ScanFolders(), kXpOk);
  EXPECT_EQ(shared.GetFolderNumberCount(100), 2);
  EXPECT_EQ(shared.GetFolderNumberCount(101), 0);
}

TEST_F(XpDCFRootDir, NextFlaggedFolderSkipsFoldersThatShareANumber) {
  const std::filesystem::path dcim = MakeFolder("DCIM");
  for (const char* folder : {"100ZXDCF", "100ABCDE", "101ZXDCF"}) {
    std::filesystem::create_directory(dcim / folder);
  }
  ::XpDCFRootDir root(FolderEntry(dcim));
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  const XpSharedPtr<XpDCFDir> first = root.NextFlaggedFolder();
  ASSERT_TRUE(first);
  EXPECT_EQ(LeafOf(*first), XpString(u"101ZXDCF"));
  EXPECT_EQ(first->GetFolderNumber(), 101);
  EXPECT_FALSE(root.NextFlaggedFolder());
  EXPECT_FALSE(root.NextFlaggedFolder());
}

TEST_F(XpDCFRootDir, ScanFoldersCountsOnlyFoldersWithDCFNames) {
  const std::filesystem::path dcim = MakeFolder("DCIM");
  std::filesystem::create_directory(dcim / "100ABCDE");
  std::filesystem::create_directory(dcim / "10AABCDE");
  std::filesystem::create_directory(dcim / "101ABCDE.X");
  std::filesystem::create_directory(dcim / "099ABCDE");
  fstest::WriteBytes(dcim / "102ABCDE", "a file");
  std::filesystem::create_directory_symlink(dcim / "100ABCDE", dcim / "103ABCDE");

  ::XpDCFRootDir root(FolderEntry(dcim));
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  EXPECT_EQ(FolderNames(root), (std::set<XpString>{u"100ABCDE"}));
  for (const int32_t number : {99, 100, 101, 102, 103}) {
    EXPECT_EQ(root.GetFolderNumberCount(number), number == 100 ? 1 : 0) << number;
  }
  EXPECT_EQ(root.GetFolderNumberCount(-1), 0);
  EXPECT_EQ(root.GetFolderNumberCount(1000), 0);
  EXPECT_EQ(root.NextFolderNumber(), 101);
}

TEST_F(XpDCFRootDir, ScanFoldersAgainStartsOver) {
  const std::filesystem::path dcim = MakeFolder("DCIM");
  std::filesystem::create_directory(dcim / "100ABCDE");
  std::filesystem::create_directory(dcim / "101ABCDE");
  ::XpDCFRootDir root(FolderEntry(dcim));
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  ASSERT_TRUE(root.NextFlaggedFolder());
  ASSERT_TRUE(root.NextFlaggedFolder());
  ASSERT_FALSE(root.NextFlaggedFolder());

  std::filesystem::remove(dcim / "101ABCDE");
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  EXPECT_EQ(root.GetFolderNumberCount(101), 0);
  EXPECT_EQ(root.GetFolderNumberCount(100), 1);
  EXPECT_EQ(root.NextFolderNumber(), 101);
  const XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder();
  ASSERT_TRUE(folder);
  EXPECT_EQ(LeafOf(*folder), XpString(u"100ABCDE"));
  EXPECT_FALSE(root.NextFlaggedFolder());
}

TEST_F(XpDCFRootDir, ScanFoldersOfAMissingFolderLeavesNothing) {
  const std::filesystem::path dcim = MakeFolder("DCIM");
  std::filesystem::create_directory(dcim / "100ABCDE");
  ::XpDCFRootDir root(FolderEntry(dcim));
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  std::filesystem::remove_all(dcim);
  EXPECT_EQ(root.ScanFolders(), kXpErrFileNotFound);
  EXPECT_TRUE(root.GetFolders().empty());
  EXPECT_EQ(root.GetFolderNumberCount(100), 0);
  EXPECT_FALSE(root.NextFlaggedFolder());
}

TEST_F(XpDCFRootDir, WithoutAWrappedFolderAnswersEmpty) {
  ::XpDCFRootDir empty{XpSharedPtr<XpAbstractFSObj>()};
  EXPECT_TRUE(empty.GetName().IsEmpty());
  EXPECT_TRUE(empty.GetPath().IsEmpty());
  EXPECT_FALSE(empty.IsReadOnly());
  EXPECT_FALSE(empty.IsHidden());
  XpDateTime modified;
  EXPECT_EQ(empty.GetTimes(nullptr, &modified, nullptr), kXpErrWrongState);
  EXPECT_EQ(empty.BeginEnum(kXpEnumAll, XpString()), kXpErrWrongState);
  EXPECT_FALSE(empty.GetNext());
  EXPECT_EQ(empty.EndEnum(), kXpErrWrongState);
  EXPECT_EQ(empty.GetSize(), -1);
  EXPECT_EQ(empty.ScanFolders(), kXpErrWrongState);
  EXPECT_EQ(empty.NextFolderNumber(), 101);
  EXPECT_FALSE(empty.GetCurrentFolder());
}

TEST_F(XpDCFRootDir, AWrappedFileCannotBeEnumerated) {
  MakeFile("DCIM", "a file");
  const XpString path = VolumePath() + u"DCIM";
  ::XpDCFRootDir root{XpSharedPtr<XpAbstractFSObj>(new XpFile(path))};
  EXPECT_EQ(root.GetPath(), path);
  EXPECT_EQ(root.BeginEnum(kXpEnumAll, XpString()), kXpErrWrongState);
  EXPECT_FALSE(root.GetNext());
  EXPECT_EQ(root.EndEnum(), kXpErrWrongState);
  EXPECT_EQ(root.ScanFolders(), kXpErrWrongState);
}

TEST_F(XpDCFRootDir, ForwardsToTheWrappedFolder) {
  const std::filesystem::path dcim = MakeFolder(".DCIM");
  fstest::WriteBytes(dcim / "a.bin", "123");
  fstest::WriteBytes(dcim / "100ABCDE/DSC00001.JPG", "12345");
  const XpSharedPtr<XpAbstractFSObj> entry = FolderEntry(dcim);
  ::XpDCFRootDir root(entry);

  EXPECT_EQ(root.GetPath(), entry->GetPath());
  EXPECT_EQ(root.GetName(), entry->GetName());
  EXPECT_TRUE(root.IsHidden());
  EXPECT_FALSE(root.IsReadOnly());
  EXPECT_EQ(root.GetSize(), 8);
  XpDateTime expected;
  XpDateTime modified;
  ASSERT_EQ(entry->GetTimes(nullptr, &expected, nullptr), kXpOk);
  ASSERT_EQ(root.GetTimes(nullptr, &modified, nullptr), kXpOk);
  EXPECT_EQ(modified, expected);

  ASSERT_EQ(root.BeginEnum(kXpEnumDirectories | kXpEnumNameEquals, u"100ABCDE"), kXpOk);
  const XpSharedPtr<XpAbstractFSObj> child = root.GetNext();
  ASSERT_TRUE(child);
  EXPECT_EQ(LeafOf(*child), XpString(u"100ABCDE"));
  EXPECT_FALSE(root.GetNext());
  EXPECT_EQ(root.EndEnum(), kXpOk);
  EXPECT_EQ(root.EndEnum(), kXpErrWrongState);

  const std::filesystem::path plain = MakeFolder("DCIM");
  ASSERT_EQ(XpFileSetReadOnly(fstest::ToXp(plain), true), kXpOk);
  ::XpDCFRootDir readOnly(FolderEntry(plain));
  EXPECT_TRUE(readOnly.IsReadOnly());
  EXPECT_FALSE(readOnly.IsHidden());
  EXPECT_EQ(XpFileSetReadOnly(fstest::ToXp(plain), false), kXpOk);
}

TEST_F(XpDCFRootDir, HoldsTheCurrentFolderForTheExport) {
  const std::filesystem::path dcim = MakeFolder("DCIM");
  std::filesystem::create_directory(dcim / "100ABCDE");
  ::XpDCFRootDir root(FolderEntry(dcim));
  ASSERT_EQ(root.ScanFolders(), kXpOk);
  const XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder();
  ASSERT_TRUE(folder);
  root.SetCurrentFolder(folder);
  EXPECT_EQ(root.GetCurrentFolder(), folder);
  root.SetCurrentFolder(XpSharedPtr<XpDCFDir>());
  EXPECT_FALSE(root.GetCurrentFolder());
}

}  // namespace
