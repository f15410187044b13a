#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "camerastore/tests/dcf/DcfObjectFixture.h"
#include "platform/fs/XpFile.h"

namespace {

// A member with fixed answers, so read-only flags and times need no disk.
class FixedMember : public XpAbstractFSObj {
 public:
  FixedMember(const XpString& path, int32_t year, bool readOnly)
      : year_(year), readOnly_(readOnly) {
    path_ = path;
  }
  XpString GetName() const override { return XpPathGetLeafName(path_); }
  int64_t GetSize() override { return 0; }
  XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                    XpDateTime* accessed) const override {
    const XpDateTime when(year_, 1, 2, 3, 4, 5);
    for (XpDateTime* out : {created, modified, accessed}) {
      if (out != nullptr) {
        *out = when;
      }
    }
    return kXpOk;
  }
  bool IsReadOnly() const override { return readOnly_; }
  bool IsHidden() const override { return true; }
  bool IsFile() const override { return true; }
  bool IsDirectory() const override { return false; }

 private:
  int32_t year_;
  bool readOnly_;
};

XpSharedPtr<XpAbstractFSObj> Member(const XpString& path, int32_t year = 2000,
                                    bool readOnly = false) {
  return XpSharedPtr<XpAbstractFSObj>(new FixedMember(path, year, readOnly));
}

using XpDCFObj = dcftest::DcfObjectTest;

TEST_F(XpDCFObj, NumbersAndNameComeFromTheFirstMember) {
  ::XpDCFObj empty;
  EXPECT_EQ(empty.GetFileNumber(), -1);
  EXPECT_EQ(empty.GetName(), XpString());

  ::XpDCFObj shot;
  ASSERT_EQ(shot.AddFile(Member(u"/media/cam/DCIM/100ABCDE/DSC00042.JPG")), kXpOk);
  ASSERT_EQ(shot.AddFile(Member(u"/media/cam/DCIM/101ABCDE/DSC00007.THM")), kXpOk);
  EXPECT_EQ(shot.GetFileNumber(), 42);
  EXPECT_EQ(shot.GetName(), XpString(u"100-0042"));
}

TEST_F(XpDCFObj, GetNextWalksTheMembersInTheOrderAdded) {
  ::XpDCFObj shot;
  const std::vector<XpString> paths = {u"/c/DCIM/100ABCDE/DSC00001.THM",
                                       u"/c/DCIM/100ABCDE/DSC00001.JPG",
                                       u"/c/DCIM/100ABCDE/DSC00001.MPG"};
  for (const XpString& path : paths) {
    ASSERT_EQ(shot.AddFile(Member(path)), kXpOk);
  }
  // Neither the filter nor the pattern leaves a member out; a new
  // enumeration starts from the first member again.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(shot.BeginEnum(kXpEnumDirectories | kXpEnumNameEquals, u"nothing"), kXpOk);
    std::vector<XpString> seen;
    for (XpSharedPtr<XpAbstractFSObj> entry = shot.GetNext(); entry; entry = shot.GetNext()) {
      seen.push_back(entry->GetPath());
    }
    EXPECT_EQ(seen, paths);
    EXPECT_FALSE(shot.GetNext());
    EXPECT_EQ(shot.EndEnum(), kXpOk);
  }
}

TEST_F(XpDCFObj, TimesPreferThePictureThenTheThumbnail) {
  struct Case {
    std::vector<std::pair<const char16_t*, int32_t>> members;
    int32_t expectedYear;
  };
  const std::vector<Case> cases = {
      {{{u"/c/D/100A/DSC00001.THM", 2001}, {u"/c/D/100A/DSC00001.jpg", 2002}}, 2002},
      {{{u"/c/D/100A/DSC00001.MPG", 2003}, {u"/c/D/100A/DSC00001.THM", 2004}}, 2004},
      {{{u"/c/D/100A/DSC00001.MPG", 2005}, {u"/c/D/100A/DSC00001.WAV", 2006}}, 2005},
      {{{u"/c/D/100A/DSC00001.JPG", 2007}, {u"/c/D/100A/DSC00001.TIF", 2008}}, 2008},
  };
  for (const Case& test : cases) {
    ::XpDCFObj shot;
    for (const auto& [path, year] : test.members) {
      ASSERT_EQ(shot.AddFile(Member(path, year)), kXpOk);
    }
    XpDateTime modified;
    ASSERT_EQ(shot.GetTimes(nullptr, &modified, nullptr), kXpOk);
    EXPECT_EQ(modified.GetYear(), test.expectedYear) << test.expectedYear;
  }
  ::XpDCFObj empty;
  XpDateTime untouched;
  EXPECT_EQ(empty.GetTimes(nullptr, &untouched, nullptr), kXpErrWrongState);
}

TEST_F(XpDCFObj, ReadOnlyWhenAnyMemberIsAndNeverHidden) {
  ::XpDCFObj shot;
  ASSERT_EQ(shot.AddFile(Member(u"/c/D/100A/DSC00001.JPG")), kXpOk);
  EXPECT_FALSE(shot.IsReadOnly());
  EXPECT_FALSE(shot.IsHidden());
  ASSERT_EQ(shot.AddFile(Member(u"/c/D/100A/DSC00001.THM", 2000, true)), kXpOk);
  EXPECT_TRUE(shot.IsReadOnly());
  EXPECT_FALSE(shot.IsHidden());
  EXPECT_TRUE(shot.IsDirectory());
}

TEST_F(XpDCFObj, SizeIsTheSumOfTheMembers) {
  MakeFile("DCIM/100ABCDE/DSC00001.JPG", "12345");
  MakeFile("DCIM/100ABCDE/DSC00001.THM", "123");
  ::XpDCFObj shot;
  for (const char* name : {"DSC00001.JPG", "DSC00001.THM"}) {
    const XpString path = fstest::ToXp(Volume() / "DCIM/100ABCDE" / name);
    ASSERT_EQ(shot.AddFile(XpSharedPtr<XpAbstractFSObj>(new XpFile(path))), kXpOk);
  }
  EXPECT_EQ(shot.GetSize(), 8);
  EXPECT_EQ(shot.GetFileNumber(), 1);
}

}  // namespace
