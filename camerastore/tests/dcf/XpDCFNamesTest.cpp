#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFRootDir.h"
#include "camerastore/tests/dcf/DcfTestVolume.h"
#include "platform/fs/XpDir.h"

namespace {

using fstest::ReadBytes;
using XpDCF = dcftest::VolumeTest;

constexpr int32_t kNotANumber = -2;

TEST_F(XpDCF, FolderAndFileNameRules) {
  struct Case {
    const char16_t* name;
    int32_t folderNumber;  // kNotANumber: not a folder name
    int32_t fileNumber;    // kNotANumber: not a file name
  };
  const Case cases[] = {
      {u"100ABCDE", 100, kNotANumber},
      {u"999_____", 999, kNotANumber},
      {u"100abcde", 100, kNotANumber},
      {u"099ABCDE", kNotANumber, kNotANumber},
      {u"10AABCDE", kNotANumber, kNotANumber},
      {u"1000ABCDE", kNotANumber, kNotANumber},
      {u"100ABCD", kNotANumber, kNotANumber},
      {u"100ABC-E", kNotANumber, kNotANumber},
      {u"DSC00001", kNotANumber, 1},
      {u"abcd9999", kNotANumber, 9999},
      {u"____0001", kNotANumber, 1},
      {u"DSC00000", kNotANumber, kNotANumber},
      {u"DSC0000A", kNotANumber, kNotANumber},
      {u"DSC0001", kNotANumber, kNotANumber},
      {u"DSC-0001", kNotANumber, kNotANumber},
      {u"100\u00C4BCDE", kNotANumber, kNotANumber},
      {u"DSC0000\uFF11", kNotANumber, kNotANumber},
      {u"100ABC\U0001F600", kNotANumber, kNotANumber},
      {u"1001\U0001F600\U0001F600", kNotANumber, kNotANumber},
      {u"", kNotANumber, kNotANumber},
  };
  for (const Case& c : cases) {
    const XpString name(c.name);
    EXPECT_EQ(XpDCFIsDirectoryName(name), c.folderNumber != kNotANumber) << testing::PrintToString(name);
    EXPECT_EQ(XpDCFIsFileName(name), c.fileNumber != kNotANumber) << testing::PrintToString(name);
    if (c.folderNumber != kNotANumber) {
      EXPECT_EQ(XpDCFGetDirectoryNumber(name), c.folderNumber) << testing::PrintToString(name);
    }
    if (c.fileNumber != kNotANumber) {
      EXPECT_EQ(XpDCFGetFileNumber(name), c.fileNumber) << testing::PrintToString(name);
    }
  }
}

TEST_F(XpDCF, NumbersOfNamesTooShortForTheirDigits) {
  EXPECT_EQ(XpDCFGetDirectoryNumber(u""), kXpDCFNoNumber);
  EXPECT_EQ(XpDCFGetDirectoryNumber(u"12"), kXpDCFNoNumber);
  EXPECT_EQ(XpDCFGetDirectoryNumber(u"123"), 123);
  EXPECT_EQ(XpDCFGetFileNumber(u"DSC0001"), kXpDCFNoNumber);
  EXPECT_EQ(XpDCFGetFileNumber(u"x"), kXpDCFNoNumber);
  // Longer names are read at the same places.
  EXPECT_EQ(XpDCFGetDirectoryNumber(u"1000ABCDE"), 100);
  EXPECT_EQ(XpDCFGetFileNumber(u"DSC012345"), 1234);
}

TEST_F(XpDCF, RootNamesAndPaths) {
  EXPECT_EQ(XpDCFGetRootName(0), XpString(u"DCIM"));
  EXPECT_EQ(XpDCFGetRootName(1), XpString(u"MP_ROOT"));
  EXPECT_EQ(XpDCFGetRootName(2), XpString(u"VELDRA"));
  EXPECT_TRUE(XpDCFGetRootName(3).IsEmpty());
  EXPECT_TRUE(XpDCFGetRootName(-1).IsEmpty());
  EXPECT_EQ(XpDCFGetRootPath(u"/media/u/CAM/", 0), XpString(u"/media/u/CAM/DCIM"));
  EXPECT_EQ(XpDCFGetRootPath(u"/media/u/CAM/", 1), XpString(u"/media/u/CAM/MP_ROOT"));
}

TEST_F(XpDCF, HasRootFolderFindsAnyOfTheThreeFolders) {
  struct Case {
    const char* name;
    const char* folder;  // null: none
    const char* file;    // null: none
    bool expected;
  };
  const Case cases[] = {
      {"empty", nullptr, nullptr, false},
      {"pictures", "DCIM", nullptr, true},
      {"movies", "MP_ROOT", nullptr, true},
      {"maker", "VELDRA", nullptr, true},
      {"other", "PHOTOS", nullptr, false},
      {"file", nullptr, "DCIM", false},
  };
  for (const Case& c : cases) {
    const std::filesystem::path volume = Dir(std::string("volumes/") + c.name);
    if (c.folder != nullptr) {
      std::filesystem::create_directory(volume / c.folder);
    }
    if (c.file != nullptr) {
      fstest::WriteBytes(volume / c.file, "x");
    }
    EXPECT_EQ(XpDCFHasRootFolder(fstest::ToXp(volume) + u"/"), c.expected) << c.name;
  }
}

TEST_F(XpDCF, OpenRootDirMatchesOnlyAFolderOfExactlyThatName) {
  XpDir volume(VolumePath());
  EXPECT_FALSE(XpDCFOpenRootDir(nullptr, 0));

  MakeFolder("dcim");
  EXPECT_FALSE(XpDCFOpenRootDir(&volume, 0));

  MakeFolder("DCIM.old");
  MakeFolder("XDCIM");
  std::filesystem::create_directory_symlink(Volume() / "dcim", Volume() / "DCIM");
  EXPECT_FALSE(XpDCFOpenRootDir(&volume, 0)) << "a link is never a root";
  EXPECT_TRUE(XpDCFHasRootFolder(VolumePath())) << "stat follows the link";

  MakeFolder("MP_ROOT");
  const XpSharedPtr<XpDCFRootDir> movies = XpDCFOpenRootDir(&volume, 1);
  ASSERT_TRUE(movies);
  EXPECT_EQ(movies->GetPath(), VolumePath() + u"MP_ROOT");
  EXPECT_FALSE(XpDCFOpenRootDir(&volume, 3));
  EXPECT_EQ(volume.EndEnum(), kXpErrWrongState) << "the parent's enumeration is ended";
}

TEST_F(XpDCF, OpenRootDirOfAVolumeThatCannotBeRead) {
  XpDir missing(fstest::ToXp(Root() / "gone") + u"/");
  EXPECT_FALSE(XpDCFOpenRootDir(&missing, 0));
  EXPECT_FALSE(XpDCFGetImageRoot(fstest::ToXp(Root() / "gone") + u"/", false));
}

TEST_F(XpDCF, GetRootCreatesAMissingRootOnlyWhenAsked) {
  struct Case {
    const char16_t* name;
    XpSharedPtr<XpDCFRootDir> (*get)(const XpString&, bool);
  };
  const Case cases[] = {{u"DCIM", XpDCFGetImageRoot}, {u"MP_ROOT", XpDCFGetMovieRoot}};
  for (const Case& c : cases) {
    const std::filesystem::path volume = Dir("volumes/" + fstest::ToUtf8(c.name));
    const XpString volumePath = fstest::ToXp(volume) + u"/";
    EXPECT_FALSE(c.get(volumePath, false)) << testing::PrintToString(XpString(c.name));
    EXPECT_TRUE(std::filesystem::is_empty(volume)) << testing::PrintToString(XpString(c.name));

    const XpSharedPtr<XpDCFRootDir> root = c.get(volumePath, true);
    ASSERT_TRUE(root) << testing::PrintToString(XpString(c.name));
    EXPECT_EQ(root->GetPath(), volumePath + c.name);
    EXPECT_TRUE(std::filesystem::is_directory(volume / fstest::ToUtf8(c.name)));

    const XpSharedPtr<XpDCFRootDir> again = c.get(volumePath, false);
    ASSERT_TRUE(again) << testing::PrintToString(XpString(c.name));
    EXPECT_EQ(again->GetPath(), volumePath + c.name);
  }
}

TEST_F(XpDCF, GetImageRootLeavesAFileNamedDCIMAlone) {
  MakeFile("DCIM", "not a folder");
  EXPECT_FALSE(XpDCFGetImageRoot(VolumePath(), true));
  EXPECT_TRUE(std::filesystem::is_regular_file(Volume() / "DCIM"));
  EXPECT_EQ(ReadBytes(Volume() / "DCIM"), "not a folder");
}

}  // namespace
