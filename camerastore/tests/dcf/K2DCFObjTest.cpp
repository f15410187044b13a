#include "camerastore/dcf/K2DCFObj.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "camerastore/tests/dcf/DcfObjectFixture.h"

namespace {

namespace fs = std::filesystem;
using dcftest::ExifFields;
using dcftest::MakeExifTags;
using K2DCFObj = dcftest::DcfObjectTest;

TEST_F(K2DCFObj, DateIsTheSetOneElseTheShootingDate) {
  ExifFields dated;
  dated.dateTimeOriginal = "2009:03:03 10:20:30";
  ::K2DCFObj shot;
  ASSERT_EQ(shot.AddFile(FileMember(CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(dated)))),
            kXpOk);
  const XpDateTime embedded = shot.GetDate();
  ASSERT_TRUE(embedded.IsValid());
  EXPECT_EQ(embedded.GetYear(), 2009);
  EXPECT_EQ(embedded.GetSecond(), 30);

  shot.SetDate(XpDateTime(2001, 2, 3, 4, 5, 6));
  const XpDateTime set = shot.GetDate();
  EXPECT_EQ(set.GetValue(), XpDateTime(2001, 2, 3, 4, 5, 6).GetValue());
  EXPECT_TRUE(set.IsValid());

  // An invalid date set counts as none.
  shot.SetDate(XpDateTime());
  EXPECT_EQ(shot.GetDate().GetValue(), embedded.GetValue());

  ::K2DCFObj empty;
  EXPECT_FALSE(empty.GetDate().IsValid());
}

TEST_F(K2DCFObj, SubListIsHandedOutAsACopy) {
  ::K2DCFObj shot;
  EXPECT_TRUE(shot.GetSubList().empty());
  shot.SetSubList({2, 5});
  std::vector<int32_t> list = shot.GetSubList();
  list.push_back(9);
  EXPECT_EQ(shot.GetSubList(), (std::vector<int32_t>{2, 5}));
  shot.SetSubList({-1});
  EXPECT_EQ(shot.GetSubList(), (std::vector<int32_t>{-1}));
}

TEST_F(K2DCFObj, FolderQueriesAreTheEmbeddedObjects) {
  ::K2DCFObj shot;
  EXPECT_EQ(shot.GetName(), XpString());
  XpDateTime untouched;
  EXPECT_EQ(shot.GetTimes(nullptr, &untouched, nullptr), kXpErrWrongState);
  const std::vector<fs::path> members = JpegAndThumbnail();
  for (const fs::path& member : members) {
    ASSERT_EQ(shot.AddFile(FileMember(member)), kXpOk);
  }
  EXPECT_EQ(shot.GetName(), XpString(u"100-0001"));
  EXPECT_EQ(shot.GetSize(), static_cast<int64_t>(std::string(dcftest::kJpegBytes).size() +
                                                 std::string(dcftest::kThumbnailBytes).size()));
  XpDateTime modified;
  ASSERT_EQ(shot.GetTimes(nullptr, &modified, nullptr), kXpOk);
  EXPECT_EQ(modified.GetValue(), XpDateTime(dcftest::kShotTime).GetValue());
  EXPECT_TRUE(shot.IsDirectory());
  EXPECT_FALSE(shot.IsFile());
  EXPECT_FALSE(shot.IsHidden());
  EXPECT_FALSE(shot.IsReadOnly());
  ASSERT_EQ(shot.BeginEnum(kXpEnumFiles, u"nothing"), kXpOk);
  std::vector<XpString> seen;
  for (XpSharedPtr<XpAbstractFSObj> entry = shot.GetNext(); entry; entry = shot.GetNext()) {
    seen.push_back(entry->GetPath());
  }
  EXPECT_EQ(shot.EndEnum(), kXpOk);
  EXPECT_EQ(seen, (std::vector<XpString>{fstest::ToXp(members[0]), fstest::ToXp(members[1])}));
}

TEST_F(K2DCFObj, GetDCFObjSharesTheMemberFiles) {
  ::K2DCFObj shot;
  for (const fs::path& member : JpegAndThumbnail()) {
    ASSERT_EQ(shot.AddFile(FileMember(member)), kXpOk);
  }
  const XpSharedPtr<XpDCFObj> object = shot.GetDCFObj();
  ASSERT_TRUE(object);
  EXPECT_EQ(object->GetDisplayName(), XpString(u"100-0001"));
  ASSERT_EQ(object->CopyTo(fstest::ToXp(Out()), nullptr), kXpOk);
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001.JPG"), dcftest::kJpegBytes);
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001.THM"), dcftest::kThumbnailBytes);
  // Each call hands out a new object; the files stay shared.
  const XpSharedPtr<XpDCFObj> second = shot.GetDCFObj();
  EXPECT_TRUE(second->GetWrittenPaths().empty());
  ASSERT_EQ(object->DeleteFiles(), kXpOk);
  EXPECT_EQ(second->GetSize(), 0);
  EXPECT_EQ(shot.GetSize(), 0);
}

}  // namespace
