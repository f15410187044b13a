#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFDir.h"
#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/tests/dcf/DcfTestVolume.h"
#include "platform/fs/XpFile.h"

namespace {

using dcftest::LeafOf;
using XpDCFDir = dcftest::VolumeTest;

std::vector<XpString> FileNames(const ::XpDCFDir& folder) {
  std::vector<XpString> names;
  for (const XpSharedPtr<XpAbstractFSObj>& entry : folder.GetFiles()) {
    names.push_back(LeafOf(*entry));
  }
  return names;
}

XpSharedPtr<XpAbstractFSObj> FileAt(const XpString& path) {
  return XpSharedPtr<XpAbstractFSObj>(new XpFile(path));
}

TEST_F(XpDCFDir, ScanFilesListsDCFFilesByNumber) {
  const std::filesystem::path folderPath = MakeFolder("DCIM/100ABCDE");
  for (const char* name : {"DSC00010.JPG", "DSC00002.JPG", "DSC00002.THM", "DSC00000.JPG",
                           "DSC0001.JPG", "notes.txt"}) {
    fstest::WriteBytes(folderPath / name, "x");
  }
  ::XpDCFDir folder(FolderEntry(folderPath));
  ASSERT_EQ(folder.ScanFiles(), kXpOk);
  const std::vector<XpString> names = FileNames(folder);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ((std::set<XpString>{names[0], names[1]}),
            (std::set<XpString>{u"DSC00002.JPG", u"DSC00002.THM"}));
  EXPECT_EQ(names[2], XpString(u"DSC00010.JPG"));
  EXPECT_EQ(folder.GetFolderNumber(), 100);
}

TEST_F(XpDCFDir, ScanFilesListsSubFoldersWithFileNames) {
  const std::filesystem::path folderPath = MakeFolder("DCIM/101ABCDE");
  fstest::WriteBytes(folderPath / "DSC00009.JPG", "x");
  std::filesystem::create_directory(folderPath / "DSC00005");
  std::filesystem::create_directory(folderPath / "SUB");
  ::XpDCFDir folder(FolderEntry(folderPath));
  ASSERT_EQ(folder.ScanFiles(), kXpOk);
  EXPECT_EQ(FileNames(folder), (std::vector<XpString>{u"DSC00005", u"DSC00009.JPG"}));
}

TEST_F(XpDCFDir, ScanFilesAgainReplacesTheList) {
  const std::filesystem::path folderPath = MakeFolder("DCIM/100ABCDE");
  fstest::WriteBytes(folderPath / "DSC00001.JPG", "x");
  fstest::WriteBytes(folderPath / "DSC00002.JPG", "x");
  ::XpDCFDir folder(FolderEntry(folderPath));
  ASSERT_EQ(folder.ScanFiles(), kXpOk);
  ASSERT_EQ(folder.GetFiles().size(), 2u);

  std::filesystem::remove(folderPath / "DSC00001.JPG");
  ASSERT_EQ(folder.ScanFiles(), kXpOk);
  EXPECT_EQ(FileNames(folder), (std::vector<XpString>{u"DSC00002.JPG"}));
  folder.ClearFiles();
  EXPECT_TRUE(folder.GetFiles().empty());

  ASSERT_EQ(folder.ScanFiles(), kXpOk);
  ASSERT_EQ(folder.GetFiles().size(), 1u);
  std::filesystem::remove_all(folderPath);
  EXPECT_EQ(folder.ScanFiles(), kXpErrFileNotFound);
  EXPECT_TRUE(folder.GetFiles().empty());
}

TEST_F(XpDCFDir, WithoutAWrappedFolderAnswersEmpty) {
  ::XpDCFDir empty{XpSharedPtr<XpAbstractFSObj>()};
  EXPECT_TRUE(empty.GetPath().IsEmpty());
  EXPECT_TRUE(empty.GetName().IsEmpty());
  EXPECT_FALSE(empty.IsReadOnly());
  EXPECT_FALSE(empty.IsHidden());
  EXPECT_EQ(empty.GetTimes(nullptr, nullptr, nullptr), kXpErrWrongState);
  EXPECT_EQ(empty.BeginEnum(kXpEnumAll, XpString()), kXpErrWrongState);
  EXPECT_FALSE(empty.GetNext());
  EXPECT_EQ(empty.EndEnum(), kXpErrWrongState);
  EXPECT_EQ(empty.ScanFiles(), kXpErrWrongState);
  EXPECT_TRUE(empty.GetFiles().empty());
  EXPECT_EQ(empty.GetFolderNumber(), kXpDCFNoNumber);
}

TEST_F(XpDCFDir, FileNumbersOrderTheEntries) {
  EXPECT_EQ(K2GetDCFFileNumber(XpFile(u"/media/u/CAM/DCIM/100ABCDE/DSC01234.JPG")), 1234);
  EXPECT_EQ(K2GetDCFFileNumber(XpFile(u"/media/u/CAM/DCIM/100ABCDE/DSC09999")), 9999);

  struct Case {
    const char16_t* a;
    const char16_t* b;
    bool less;
  };
  const Case cases[] = {
      {u"/c/DSC00001.JPG", u"/c/DSC00002.JPG", true},
      {u"/c/DSC00002.JPG", u"/c/DSC00001.JPG", false},
      {u"/c/DSC00002.JPG", u"/c/DSC00002.THM", false},
      {u"/c/ZZZZ0009.JPG", u"/c/AAAA0010.JPG", true},
      {u"/c/DSC09999.JPG", u"/c/DSC01000.JPG", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::XpDCFDir::LessByFileNumber(FileAt(c.a), FileAt(c.b)), c.less)
        << testing::PrintToString(XpString(c.a)) << " < " << testing::PrintToString(XpString(c.b));
  }
}

TEST_F(XpDCFDir, FolderNumberComesFromTheFolderName) {
  const std::filesystem::path folderPath = MakeFolder("DCIM/999_____");
  ::XpDCFDir folder(FolderEntry(folderPath));
  EXPECT_EQ(folder.GetFolderNumber(), 999);
  EXPECT_EQ(LeafOf(folder), XpString(u"999_____"));
}

}  // namespace
