#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "camerastore/tests/dcf/DcfObjectFixture.h"
#include "imaging/format/XpFormatKind.h"
#include "imaging/tests/format/ContainerBuilders.h"
#include "outside/parsemp4/tests/Mp4BoxBuilder.h"
#include "platform/fs/XpFile.h"

namespace {

namespace fs = std::filesystem;
using dcftest::ExifFields;
using dcftest::MakeExifTags;
using XpDCFObj = dcftest::DcfObjectTest;

constexpr const char* kFolder = "DCIM/100ZXDCF/";
// 2009-03-03 10:20:30 and 2011-06-07 08:09:10 UTC.
constexpr time_t kMarch2009 = 1236075630;
constexpr time_t kJune2011 = 1307434150;
// 2009-03-03 10:20:30 in the seconds since 1904 of a movie header.
constexpr uint64_t kMp4CreationMarch2009 = 1236075630ULL + 2082844800ULL;

std::string Text(const formattest::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// An MPEG program stream that begins with a pack header whose fifth byte
// tells MPEG-1 (0x21) from MPEG-2 (0x44).
std::string MpegWithPackByte(uint8_t packByte) {
  return std::string("\0\0\1\xBA", 4) + static_cast<char>(packByte) + std::string(9, '\x01');
}

std::string DvAvi() {
  return Text(formattest::DvAvi({0x62, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23}));
}

void ExpectDate(const XpDateTime& date, int32_t year, int32_t month, int32_t day, int32_t hour,
                int32_t minute, int32_t second) {
  ASSERT_TRUE(date.IsValid());
  EXPECT_EQ(date.GetYear(), year);
  EXPECT_EQ(date.GetMonth(), month);
  EXPECT_EQ(date.GetDay(), day);
  EXPECT_EQ(date.GetHour(), hour);
  EXPECT_EQ(date.GetMinute(), minute);
  EXPECT_EQ(date.GetSecond(), second);
}

TEST_F(XpDCFObj, FormatKindOfTheWholeShot) {
  struct MemberFile {
    std::string name;
    std::string bytes;  // "jpeg": a JPEG of the writer
  };
  struct Case {
    std::vector<MemberFile> members;
    XpFormatKind expected;
  };
  const std::vector<Case> cases = {
      {{{"DSC00001.JPG", "jpeg"}, {"DSC00001.MP4", "not examined"}}, kXpKindJpegWithMovie},
      {{{"DSC00001.MP4", "not examined"}}, kXpKindMp4Type1},
      {{{"DSC00001.JPG", "jpeg"}, {"DSC00001.MPG", MpegWithPackByte(0x21)}},
       kXpKindJpegWithMovieMarked},
      {{{"DSC00001.JPG", "jpeg"}, {"DSC00001.MPG", MpegWithPackByte(0x44)}}, kXpKindUnknown},
      {{{"DSC00001.MPG", MpegWithPackByte(0x21)}}, kXpKindMpeg1},
      {{{"DSC00001.JPG", "jpeg"}, {"DSC00001.AVI", DvAvi()}}, kXpKindDvAvi},
      {{{"DSC00001.jpg", "jpeg"}, {"DSC00001.TIF", std::string("II*\0", 4)}}, kXpKindTiff},
      {{{"DSC00001.THM", "jpeg"}}, kXpKindJpegThumbnail},
      {{{"DSC00001.JPG", "jpeg"}}, kXpKindJpeg},
      {{}, kXpKindUnknown},
  };
  for (size_t row = 0; row < cases.size(); ++row) {
    const std::string folder = "DCIM/" + std::to_string(100 + row) + "ZXDCF/";
    ::XpDCFObj shot;
    for (const MemberFile& member : cases[row].members) {
      const fs::path path = member.bytes == "jpeg" ? CamJpeg(folder + member.name, nullptr)
                                                   : CamFile(folder + member.name, member.bytes);
      ASSERT_EQ(shot.AddFile(FileMember(path)), kXpOk);
    }
    EXPECT_EQ(shot.GetFormatKind(), cases[row].expected) << "row " << row;
  }
}

TEST_F(XpDCFObj, PictureThumbnailAndExtensionLookups) {
  ::XpDCFObj shot;
  AddMembers(shot, {CamFile("DCIM/100ZXDCF/DSC00001.jpg", "j"),
                    CamFile("DCIM/100ZXDCF/DSC00001.THM", "t"),
                    CamFile("DCIM/100ZXDCF/DSC00001.TIF", "t")});
  const XpSharedPtr<XpAbstractFSObj> jpeg = shot.FindFileByExtension(u".JPG");
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(XpPathGetLeafName(jpeg->GetPath()), XpString(u"DSC00001.jpg"));
  EXPECT_FALSE(shot.FindFileByExtension(u".MPG"));
  EXPECT_FALSE(shot.FindFileByExtension(u"JPG"));
  ASSERT_TRUE(shot.GetPictureFile());
  EXPECT_EQ(XpPathGetLeafName(shot.GetPictureFile()->GetPath()), XpString(u"DSC00001.TIF"));
  ASSERT_TRUE(shot.GetThumbnailFile());
  EXPECT_EQ(XpPathGetLeafName(shot.GetThumbnailFile()->GetPath()), XpString(u"DSC00001.THM"));

  ::XpDCFObj empty;
  EXPECT_FALSE(empty.GetPictureFile());
  EXPECT_FALSE(empty.GetThumbnailFile());
  EXPECT_FALSE(empty.FindFileByExtension(u".JPG"));
}

TEST_F(XpDCFObj, NamesAndNumbersOfTheFirstMember) {
  struct Case {
    std::string member;
    int32_t folderNumber;
    int32_t fileNumber;
    const char16_t* displayName;
  };
  const std::vector<Case> cases = {
      {"DCIM/100ZXDCF/DSC00001.JPG", 100, 1, u"100-0001"},
      {"DCIM/999ZXDCF/DSC09999.JPG", 999, 9999, u"999-9999"},
      {"DCIM/7ABCDEFG/DSC00001.JPG", -1, 1, u" -1-0001"},
      {"loose/DSC00002.JPG", -1, 2, u" -1-0002"},
  };
  for (const Case& test : cases) {
    ::XpDCFObj shot;
    AddMembers(shot, {CamFile(test.member, "x")});
    EXPECT_EQ(shot.GetFolderNumber(), test.folderNumber) << test.member;
    EXPECT_EQ(shot.GetFileNumber(), test.fileNumber) << test.member;
    EXPECT_EQ(shot.GetDisplayName(), XpString(test.displayName)) << test.member;
    EXPECT_EQ(shot.GetName(), XpString(test.displayName)) << test.member;
  }
  ::XpDCFObj shot;
  AddMembers(shot, {CamFile("DCIM/100ZXDCF/DSC00001.JPG", "x"),
                    CamFile("DCIM/100ZXDCF/DSC00001.THM", "x")});
  EXPECT_EQ(shot.GetDisplayName(), XpString(u"100-0001"));

  ::XpDCFObj empty;
  EXPECT_EQ(empty.GetFolderNumber(), -1);
  EXPECT_EQ(empty.GetDisplayName(), XpString());
}

TEST_F(XpDCFObj, CompanionFilesOnTheVolumeOfTheFirstMember) {
  const fs::path movie = CamFile("VELDRA/MOMLV100/DSC00001.MPG", "movie");
  ::XpDCFObj shot;
  AddMembers(shot, {CamFile("DCIM/100ZXDCF/DSC00001.JPG", "x"),
                    CamFile("DCIM/100ZXDCF/DSC00001.THM", "x")});
  EXPECT_EQ(shot.GetCompanionMoviePath(), fstest::ToXp(movie));
  EXPECT_EQ(shot.GetCompanionPicturePath(), XpString());
  ASSERT_EQ(shot.AddCompanionFiles(), kXpOk);
  std::vector<XpString> members;
  ASSERT_EQ(shot.BeginEnum(kXpEnumAll, XpString()), kXpOk);
  for (XpSharedPtr<XpAbstractFSObj> entry = shot.GetNext(); entry; entry = shot.GetNext()) {
    members.push_back(XpPathGetLeafName(entry->GetPath()));
  }
  EXPECT_EQ(members, (std::vector<XpString>{u"DSC00001.JPG", u"DSC00001.THM", u"DSC00001.MPG"}));
  EXPECT_EQ(shot.GetCompanionMoviePath(), fstest::ToXp(movie));

  // The picture companion comes after the movie; names compare exactly.
  const fs::path picture = CamFile("VELDRA/IMCIF100/DSC00001.TIF", "tiff");
  CamFile("VELDRA/MOMLV100/DSC00002.mpg", "lower case");
  ::XpDCFObj both;
  AddMembers(both, {CamFile("DCIM/100ZXDCF/DSC00001.THM", "x")});
  EXPECT_EQ(both.GetCompanionPicturePath(), fstest::ToXp(picture));
  ASSERT_EQ(both.AddCompanionFiles(), kXpOk);
  EXPECT_EQ(both.GetSize(), 1 + 5 + 4);
  ::XpDCFObj lower;
  AddMembers(lower, {CamFile("DCIM/100ZXDCF/DSC00002.JPG", "x")});
  EXPECT_EQ(lower.GetCompanionMoviePath(), XpString());

  // Outside a DCF folder there are no numbers to look for.
  CamFile("VELDRA/MOMLV001/DSC00001.MPG", "movie");
  for (const char* outside : {"loose/DSC00001.JPG", "DCIM/7ABCDEFG/DSC00001.JPG"}) {
    ::XpDCFObj stray;
    AddMembers(stray, {CamFile(outside, "x")});
    EXPECT_EQ(stray.GetCompanionMoviePath(), XpString()) << outside;
    EXPECT_EQ(stray.GetCompanionPicturePath(), XpString()) << outside;
    ASSERT_EQ(stray.AddCompanionFiles(), kXpOk);
    EXPECT_EQ(stray.GetSize(), 1) << outside;
  }
  ::XpDCFObj empty;
  EXPECT_EQ(empty.GetCompanionMoviePath(), XpString());
  EXPECT_EQ(empty.AddCompanionFiles(), kXpOk);
}

TEST_F(XpDCFObj, ShootingDateFromContentElseModificationTime) {
  ExifFields dated;
  dated.dateTimeOriginal = "2009:03:03 10:20:30";
  {
    ::XpDCFObj shot;
    AddMembers(shot, {CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(dated))});
    SetMtime(Cam() / kFolder / "DSC00001.JPG", kJune2011);
    ExpectDate(shot.GetShootingDate(), 2009, 3, 3, 10, 20, 30);
  }
  {
    // A movie with its thumbnail: the thumbnail carries the date.
    ::XpDCFObj shot;
    AddMembers(shot, {CamFile("DCIM/101ZXDCF/DSC00001.MPG", MpegWithPackByte(0x21)),
                      CamJpeg("DCIM/101ZXDCF/DSC00001.THM", MakeExifTags(dated))});
    ExpectDate(shot.GetShootingDate(), 2009, 3, 3, 10, 20, 30);
  }
  {
    // A picture without a content date: its own modification time.
    ::XpDCFObj shot;
    AddMembers(shot, {CamFile("DCIM/102ZXDCF/DSC00001.MPG", "m"),
                      CamJpegWithoutExif("DCIM/102ZXDCF/DSC00001.JPG")});
    SetMtime(Cam() / "DCIM/102ZXDCF/DSC00001.MPG", kMarch2009);
    SetMtime(Cam() / "DCIM/102ZXDCF/DSC00001.JPG", kJune2011);
    ExpectDate(shot.GetShootingDate(), 2011, 6, 7, 8, 9, 10);
  }
  {
    // A thumbnail alone carries the date.
    ::XpDCFObj shot;
    AddMembers(shot, {CamJpeg("DCIM/104ZXDCF/DSC00001.THM", MakeExifTags(dated))});
    SetMtime(Cam() / "DCIM/104ZXDCF/DSC00001.THM", kJune2011);
    ExpectDate(shot.GetShootingDate(), 2009, 3, 3, 10, 20, 30);
  }
  {
    // Neither a picture nor a thumbnail: the first member's time, and its
    // content (a movie header with a creation time) is never asked.
    const Mp4BoxBuilder::Bytes movie = Mp4BoxBuilder::Join(
        {Mp4BoxBuilder::Ftyp("isom"),
         Mp4BoxBuilder::Box("moov", Mp4BoxBuilder::Mvhd(0, kMp4CreationMarch2009))});
    ::XpDCFObj shot;
    AddMembers(shot, {CamFile("DCIM/103ZXDCF/DSC00001.MP4", std::string(movie.begin(), movie.end()))});
    SetMtime(Cam() / "DCIM/103ZXDCF/DSC00001.MP4", kJune2011);
    ExpectDate(shot.GetShootingDate(), 2011, 6, 7, 8, 9, 10);
  }
  ::XpDCFObj empty;
  EXPECT_FALSE(empty.GetShootingDate().IsValid());
}

TEST_F(XpDCFObj, MakeAndModelComeFromThePictureElseTheThumbnailAndStayCached) {
  ExifFields picture;
  picture.make = "KAVO";
  picture.model = "ZX-1";
  ExifFields thumbnail;
  thumbnail.make = "THUMB";
  thumbnail.model = "T-2";
  {
    ::XpDCFObj shot;
    const fs::path jpeg = CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(picture));
    AddMembers(shot, {jpeg, CamJpeg("DCIM/100ZXDCF/DSC00001.THM", MakeExifTags(thumbnail))});
    EXPECT_EQ(shot.GetMake(), XpString(u"KAVO"));
    // The file changes; the tags read first still answer.
    picture.model = "CHANGED";
    CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(picture));
    EXPECT_EQ(shot.GetModel(), XpString(u"ZX-1"));
    EXPECT_EQ(shot.GetMake(), XpString(u"KAVO"));
  }
  {
    // The picture has no Exif: the thumbnail's texts.
    ::XpDCFObj shot;
    AddMembers(shot, {CamJpegWithoutExif("DCIM/101ZXDCF/DSC00001.JPG"),
                      CamJpeg("DCIM/101ZXDCF/DSC00001.THM", MakeExifTags(thumbnail))});
    EXPECT_FALSE(shot.GetTags(false));
    EXPECT_EQ(shot.GetMake(), XpString(u"THUMB"));
    EXPECT_EQ(shot.GetModel(), XpString(u"T-2"));
  }
  {
    // Whichever query comes first fills the cache for both.
    ::XpDCFObj shot;
    AddMembers(shot, {CamJpeg("DCIM/102ZXDCF/DSC00001.JPG", MakeExifTags(picture)),
                      CamJpeg("DCIM/102ZXDCF/DSC00001.THM", MakeExifTags(thumbnail))});
    const XpSharedPtr<XpTiffTagManager> first = shot.GetThumbnailTags();
    ASSERT_TRUE(first);
    EXPECT_TRUE(shot.GetPictureTags() == first);
    EXPECT_EQ(shot.GetMake(), XpString(u"THUMB"));
  }
  ::XpDCFObj empty;
  EXPECT_FALSE(empty.GetTags(true));
  EXPECT_EQ(empty.GetMake(), XpString());
  EXPECT_EQ(empty.GetModel(), XpString());
}

TEST_F(XpDCFObj, GPSPositionOfTheTagsElseUnset) {
  ExifFields located;
  located.gps = true;
  ::XpDCFObj shot;
  AddMembers(shot, {CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(located))});
  const XpGPSPosition position = shot.GetGPSPosition();
  EXPECT_NEAR(position.latitude, 35.0 + 39.0 / 60.0 + 29.40 / 3600.0, 1e-9);
  EXPECT_NEAR(position.longitude, 139.0 + 44.0 / 60.0 + 30.0 / 3600.0, 1e-9);
  EXPECT_NEAR(position.latitude, 35.658166, 1e-6);
  EXPECT_NEAR(position.longitude, 139.741666, 1e-6);

  for (int call = 0; call < 2; ++call) {
    ::XpDCFObj untagged;
    AddMembers(untagged, {CamJpegWithoutExif("DCIM/101ZXDCF/DSC00001.JPG")});
    EXPECT_EQ(untagged.GetGPSPosition(), XpGPSPosition(1000.0, 1000.0));
    EXPECT_EQ(untagged.GetGPSPosition(), XpGPSPosition(1000.0, 1000.0));
  }
  ExifFields noGps;
  noGps.make = "KAVO";
  ::XpDCFObj withoutGps;
  AddMembers(withoutGps, {CamJpeg("DCIM/102ZXDCF/DSC00001.JPG", MakeExifTags(noGps))});
  EXPECT_EQ(withoutGps.GetGPSPosition(), XpGPSPosition(1000.0, 1000.0));
}

TEST_F(XpDCFObj, TimesAndReadOnlyOfRealMembers) {
  const fs::path movie = CamFile("DCIM/100ZXDCF/DSC00001.MPG", "m");
  const fs::path thumbnail = CamFile("DCIM/100ZXDCF/DSC00001.THM", "t");
  SetMtime(movie, kMarch2009);
  SetMtime(thumbnail, kJune2011);
  ::XpDCFObj shot;
  AddMembers(shot, {movie, thumbnail});
  XpDateTime modified;
  ASSERT_EQ(shot.GetTimes(nullptr, &modified, nullptr), kXpOk);
  ExpectDate(modified, 2011, 6, 7, 8, 9, 10);
  EXPECT_FALSE(shot.IsReadOnly());
  std::filesystem::permissions(thumbnail, fs::perms::owner_write | fs::perms::group_write |
                                              fs::perms::others_write,
                               fs::perm_options::remove);
  EXPECT_TRUE(shot.IsReadOnly());
}

TEST_F(XpDCFObj, CloneSharesMembersAndTagsButNotTheCopyState) {
  ExifFields picture;
  picture.make = "KAVO";
  ::XpDCFObj shot;
  ASSERT_EQ(shot.SetPath(u"/shots/one"), kXpOk);
  AddMembers(shot, {CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", MakeExifTags(picture)),
                    CamFile("DCIM/100ZXDCF/DSC00001.THM", "t")});
  const XpSharedPtr<XpTiffTagManager> tags = shot.GetPictureTags();
  ASSERT_TRUE(tags);
  ASSERT_EQ(shot.BeginEnum(kXpEnumAll, XpString()), kXpOk);
  const XpSharedPtr<XpAbstractFSObj> first = shot.GetNext();
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), nullptr), kXpOk);

  const XpSharedPtr<::XpDCFObj> clone = shot.Clone();
  ASSERT_TRUE(clone);
  EXPECT_EQ(clone->GetPath(), XpString(u"/shots/one"));
  EXPECT_TRUE(clone->GetPictureTags() == tags);
  EXPECT_EQ(clone->GetWrittenPaths(), shot.GetWrittenPaths());
  // The cursor comes along: the clone goes on with the second member.
  const XpSharedPtr<XpAbstractFSObj> second = clone->GetNext();
  ASSERT_TRUE(second);
  EXPECT_EQ(XpPathGetLeafName(second->GetPath()), XpString(u"DSC00001.THM"));
  ASSERT_EQ(clone->BeginEnum(kXpEnumAll, XpString()), kXpOk);
  EXPECT_TRUE(clone->GetNext() == first);

  // Members added later and copies made later are each object's own.
  ASSERT_EQ(clone->AddFile(FileMember(CamFile("DCIM/100ZXDCF/DSC00001.WAV", "w"))), kXpOk);
  EXPECT_EQ(shot.GetSize(), clone->GetSize() - 1);
  ASSERT_EQ(clone->CopyTo(fstest::ToXp(Dir("second")), nullptr), kXpOk);
  EXPECT_EQ(clone->GetWrittenPaths().size(), 3u);
  EXPECT_EQ(shot.GetWrittenPaths().size(), 2u);
}

}  // namespace
