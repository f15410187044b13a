#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbObjectsFixture.h"
#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/IContentList.h"

namespace {

using AlbumInfo = xdbtest::ObjectsTest;
using ContentInfo = xdbtest::ObjectsTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using xdbtest::Text;

// 2009-03-14 20:00:00 and 2009-03-15 08:30:15 UTC.
constexpr double kFirstDate = 1237060800000.0;
constexpr double kSecondDate = 1237105815000.0;
constexpr int32_t kAlbumId = 7;

ScriptedAnswer ContentObject(double date, int32_t fileId, int32_t shareFlag, int32_t guid) {
  return ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(date)},
                                       {"folderID", ScriptedValue::Integer(100)},
                                       {"fileID", ScriptedValue::Integer(fileId)},
                                       {"albumID", ScriptedValue::Integer(kAlbumId)},
                                       {"misc", ScriptedValue::Integer(1)},
                                       {"shareFlag", ScriptedValue::Integer(shareFlag)},
                                       {"favoriteFlag", ScriptedValue::Integer(2)},
                                       {"guid", ScriptedValue::Integer(guid)}},
                                      true);
}

ScriptedAnswer AlbumObject(const char* title) {
  return ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(kFirstDate)},
                                       {"title", ScriptedValue::String(title)},
                                       {"preference", ScriptedValue::Integer(0)}});
}

XdbAccessor::AlbumData Album(int32_t id, const char16_t* title) {
  XdbAccessor::AlbumData data;
  data.id = id;
  data.title = title;
  data.date = XpDateTime(2009, 3, 14, 20, 0, 0);
  return data;
}

struct ReleaseAlbum {
  void operator()(XdbAccessor::IAlbumInfo* album) const { album->Release(); }
};
using AlbumPtr = std::unique_ptr<XdbAccessor::IAlbumInfo, ReleaseAlbum>;


// The words of the set the search registered, and whether the same words
// were freed afterwards.
bool PushedSetWasFreed(const std::vector<fsktest::ScriptedCall>& calls) {
  std::vector<fsktest::ScriptedValue> pushed;
  for (const fsktest::ScriptedCall& call : calls) {
    if (call.method == "push") {
      pushed.assign(call.arguments.begin(), call.arguments.begin() + 4);
    }
    if (call.method == "free" && !pushed.empty() && call.arguments == pushed) {
      return true;
    }
  }
  return false;
}

bool AnyFree(const std::vector<fsktest::ScriptedCall>& calls) {
  for (const fsktest::ScriptedCall& call : calls) {
    if (call.method == "free") {
      return true;
    }
  }
  return false;
}

TEST_F(AlbumInfo, GetContentsMapsEachContentOfTheAlbum) {
  Open();
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  MakeFile("DCIM/100ZXDCF/MOV00002.MPG");
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(2)));
  scripted_->Answer("set.getRecord", ContentObject(kFirstDate, 1, 4, 11));
  scripted_->Answer("set.getRecord", ContentObject(kSecondDate, 2, 9, -12));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(21)));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(22)));
  const XdbAccessor::AlbumInfo album(Album(kAlbumId, u"Trip"), CardRoot());

  const std::unique_ptr<XdbAccessor::IContentList> list(album.GetContentList());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetCount(), 2);
  const XdbAccessor::IContentInfo* first = list->GetAt(0);
  EXPECT_EQ(first->GetPath(), CardPath("DCIM/100ZXDCF/DSC00001.JPG"));
  EXPECT_EQ(first->GetKind(), 1);
  EXPECT_EQ(first->GetDate(), XpDateTime(2009, 3, 14, 20, 0, 0));
  EXPECT_EQ(first->GetId(), 21);
  EXPECT_EQ(first->GetShareFlags(), 2);
  EXPECT_EQ(first->GetFavoriteFlags(), 1);
  EXPECT_EQ(first->GetGuid(), 11);
  const XdbAccessor::IContentInfo* second = list->GetAt(1);
  EXPECT_EQ(second->GetPath(), CardPath("DCIM/100ZXDCF/MOV00002.MPG"));
  EXPECT_EQ(second->GetThumbnailPath(), CardPath("DCIM/100ZXDCF/MOV00002.THM"));
  EXPECT_EQ(second->GetKind(), 2);
  EXPECT_EQ(second->GetDate(), XpDateTime(2009, 3, 15, 8, 30, 15));
  EXPECT_EQ(second->GetId(), 22);
  EXPECT_EQ(second->GetShareFlags(), 4);
  EXPECT_EQ(second->GetGuid(), -12);

  const std::vector<std::string> logged = Logged();
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.front(), "search(\"a\", 7)");
  EXPECT_TRUE(PushedSetWasFreed(LoggedCalls()));
}

TEST_F(AlbumInfo, GetContentsGivesNullAndFreesTheSetOnEveryFailure) {
  struct Case {
    const char* name;
    const char* key;
    ScriptedAnswer answer;
  };
  const Case cases[] = {
      {"count throws", "set.count", ScriptedAnswer::Throw("count")},
      {"record throws", "set.getRecord", ScriptedAnswer::Throw("record")},
      {"record is an album", "set.getRecord", AlbumObject("Not a content")},
      {"getID throws", "set.getID", ScriptedAnswer::Throw("id")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (FskMainStartCount() > 0) {
      // A fresh machine with empty answer queues for each case.
      XdbRuntimeStop();
      *XdbMasterSlot() = FskSlot();
      scripted_.reset();
      FskMainReset();
      XdbConnectionMachine() = nullptr;
      scripted_ = std::make_unique<fsktest::ScriptedDbManager>();
    }
    Open();
    scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
    scripted_->Answer(c.key, c.answer);
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(1)));
    scripted_->Answer("set.getRecord", ContentObject(kFirstDate, 1, 0, 1));
    scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(3)));
    const XdbAccessor::AlbumInfo album(Album(kAlbumId, u"Trip"), CardRoot());
    EXPECT_EQ(album.GetContents(), nullptr);
    EXPECT_TRUE(PushedSetWasFreed(LoggedCalls()));
  }
}

TEST_F(AlbumInfo, AFailedSearchGivesNullAndFreesNothing) {
  Open();
  scripted_->Answer("Master.search", ScriptedAnswer::Throw("search"));
  const XdbAccessor::AlbumInfo album(Album(kAlbumId, u"Trip"), CardRoot());
  EXPECT_EQ(album.GetContents(), nullptr);
  EXPECT_FALSE(AnyFree(LoggedCalls()));
}

TEST_F(AlbumInfo, WithoutARootContentsHaveNoPath) {
  Open();
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(1)));
  scripted_->Answer("set.getRecord", ContentObject(kFirstDate, 1, 0, 1));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(3)));
  const XdbAccessor::AlbumInfo album(Album(kAlbumId, u"Trip"), u"");
  const std::unique_ptr<XdbAccessor::IContentList> list(album.GetContents());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetCount(), 1);
  EXPECT_TRUE(list->GetAt(0)->GetPath().IsEmpty());
  EXPECT_EQ(list->GetAt(0)->GetKind(), 0);
}

TEST_F(ContentInfo, GetAlbumReadsTheAlbumWithTheRootOfTheContentsVolume) {
  Open();
  MountCard();
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  scripted_->Answer("Master.getRecordA", AlbumObject("Trip"));
  XdbAccessor::ContentData data;
  data.kind = 1;
  data.path = CardPath("DCIM/100ZXDCF/DSC00001.JPG");
  data.albumId = kAlbumId;
  const XdbAccessor::ContentInfo content(data);

  const AlbumPtr album(content.GetAlbum());
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"getRecordA(7)"}));
  EXPECT_EQ(album->GetId(), kAlbumId);
  EXPECT_EQ(Text(album->GetTitle()), u"Trip");
  EXPECT_EQ(album->GetDate(), XpDateTime(2009, 3, 14, 20, 0, 0));
  EXPECT_EQ(static_cast<XdbAccessor::AlbumInfo*>(album.get())->GetRoot(), CardRoot());
}

TEST_F(ContentInfo, GetAlbumOfARelativePathHasNoRootAndAnUntitledAlbumIsDated) {
  Open();
  scripted_->Answer("Master.getRecordA", AlbumObject(""));
  XdbAccessor::ContentData data;
  data.path = u"DCIM/100ZXDCF/DSC00001.JPG";
  data.albumId = kAlbumId;
  const XdbAccessor::ContentInfo content(data);
  const AlbumPtr album(content.GetAlbum());
  ASSERT_NE(album, nullptr);
  EXPECT_TRUE(static_cast<XdbAccessor::AlbumInfo*>(album.get())->GetRoot().IsEmpty());
  EXPECT_EQ(Text(album->GetTitle()), u"03/14/09");
}

TEST_F(ContentInfo, GetAlbumGivesNullWhenTheRecordCannotBeRead) {
  Open();
  scripted_->Answer("Master.getRecordA", ScriptedAnswer::Throw("no album"));
  XdbAccessor::ContentData data;
  data.albumId = kAlbumId;
  const XdbAccessor::ContentInfo content(data);
  EXPECT_EQ(content.GetAlbum(), nullptr);
}

}  // namespace
