#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbRecords.h"
#include "platform/time/XpDateTime.h"

namespace {

constexpr int32_t kFolder = 100;

// The album objects over a database written through the glue: an album
// "Trip" of 2009-03-14 with a picture (file 1, 10:00) and a movie (file 2,
// 11:30) on the card.
class XdbObjectsEngine : public xdbtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
    MakeFile("DCIM/100ZXDCF/MOV00002.MPG");
    MountCard();
    std::filesystem::create_directories(DatabaseFolder());
    ASSERT_EQ(XdbRuntimeStart(), 0);
    ASSERT_EQ(XdbCreateMaster(), 0);
    ASSERT_EQ(XdbOpenDatabase((fstest::ToXp(DatabaseFolder()) + u"/").CStr()), kXdbOpened);
    char16_t title[] = u"Trip";
    XdbAlbumRecord album{};
    album.dayOfMonth = 14;
    album.month = 2;
    album.yearsSince1900 = 109;
    album.title = title;
    ASSERT_EQ(XdbCreateAlbum(album, &albumId_), 0);
    AddContent(1, 1, 10, 0);
    AddContent(2, 2, 11, 30);
  }

  void TearDown() override {
    EXPECT_EQ(XdbCloseDatabase(), 0);
    EngineTest::TearDown();
  }

  void AddContent(int32_t file, int32_t misc, int32_t hours, int32_t minutes) const {
    XdbContentRecord record{};
    record.minutes = minutes;
    record.hours = hours;
    record.dayOfMonth = 15;
    record.month = 2;
    record.yearsSince1900 = 109;
    record.folderID = kFolder;
    record.fileID = file;
    record.albumID = albumId_;
    record.misc = misc;
    int32_t id = 0;
    ASSERT_EQ(XdbAddPhoto(record, &id), 0);
  }

  XdbAccessor::AlbumData Album() const {
    XdbAccessor::AlbumData data;
    data.id = albumId_;
    data.title = u"Trip";
    data.date = XpDateTime(2009, 3, 14, 0, 0, 0);
    return data;
  }

  int32_t albumId_ = 0;
};

TEST_F(XdbObjectsEngine, GetContentsGivesEachContentWithItsPathDateAndKind) {
  const XdbAccessor::AlbumInfo album(Album(), CardRoot());
  const std::unique_ptr<XdbAccessor::IContentList> list(album.GetContents());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetCount(), 2);
  const XdbAccessor::IContentInfo* picture = list->GetAt(0);
  EXPECT_EQ(picture->GetPath(), CardPath("DCIM/100ZXDCF/DSC00001.JPG"));
  EXPECT_EQ(picture->GetDate(), XpDateTime(2009, 3, 15, 10, 0, 0));
  EXPECT_EQ(picture->GetKind(), 1);
  EXPECT_EQ(picture->GetGuid(), 1);
  const XdbAccessor::IContentInfo* movie = list->GetAt(1);
  EXPECT_EQ(movie->GetPath(), CardPath("DCIM/100ZXDCF/MOV00002.MPG"));
  EXPECT_EQ(movie->GetThumbnailPath(), CardPath("DCIM/100ZXDCF/MOV00002.THM"));
  EXPECT_EQ(movie->GetDate(), XpDateTime(2009, 3, 15, 11, 30, 0));
  EXPECT_EQ(movie->GetKind(), 2);
  EXPECT_EQ(movie->GetGuid(), 2);
}

TEST_F(XdbObjectsEngine, GetAlbumOfAContentGivesItsAlbumOnTheCard) {
  const XdbAccessor::AlbumInfo album(Album(), CardRoot());
  const std::unique_ptr<XdbAccessor::IContentList> list(album.GetContents());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetCount(), 2);
  const xdbtest::AlbumPtr found(list->GetAt(1)->GetAlbum());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->GetId(), albumId_);
  EXPECT_EQ(std::u16string(found->GetTitle().View()), u"Trip");
  EXPECT_EQ(found->GetDate(), XpDateTime(2009, 3, 14, 0, 0, 0));
  EXPECT_EQ(static_cast<XdbAccessor::AlbumInfo*>(found.get())->GetRoot(), CardRoot());
}

TEST_F(XdbObjectsEngine, AnAlbumWithoutContentsGivesAnEmptyList) {
  XdbAccessor::AlbumData data = Album();
  ASSERT_EQ(XdbCreateAlbum(XdbAlbumRecord{}, &data.id), 0);
  const XdbAccessor::AlbumInfo album(data, CardRoot());
  const std::unique_ptr<XdbAccessor::IContentList> list(album.GetContents());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetCount(), 0);
}

}  // namespace
