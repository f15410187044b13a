#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "camerastore/tests/xdb/XdbObjectsFixture.h"
#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/AlbumList.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/ContentList.h"

namespace {

using AlbumInfo = xdbtest::ObjectsTest;
using ContentInfo = xdbtest::ObjectsTest;
using AlbumList = xdbtest::ObjectsTest;
using ContentList = xdbtest::ObjectsTest;
using xdbtest::Text;

XdbAccessor::ContentData Content(int32_t kind, const char16_t* path) {
  XdbAccessor::ContentData data;
  data.kind = kind;
  data.path = path;
  return data;
}

XdbAccessor::AlbumData Album(int32_t id, const char16_t* title, const XpDateTime& date) {
  XdbAccessor::AlbumData data;
  data.id = id;
  data.title = title;
  data.date = date;
  return data;
}

// Runs index past the list and expects the standard exception and text.
template <typename List>
void ExpectOutOfRange(const List& list, int32_t index) {
  try {
    list.GetAt(index);
    ADD_FAILURE() << "no exception for index " << index;
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
  }
  EXPECT_THROW(list.Item(index), std::out_of_range);
}

TEST_F(ContentInfo, AMovieGetsItsPathWithTheThumbnailExtension) {
  struct Case {
    int32_t kind;
    const char16_t* path;
    const char16_t* thumbnail;
  };
  const Case cases[] = {
      {2, u"/m/DCIM/100ZXDCF/MOV00001.MPG", u"/m/DCIM/100ZXDCF/MOV00001.THM"},
      {2, u"/m/DCIM/100ZXDCF/mov00001.mpg", u"/m/DCIM/100ZXDCF/mov00001.THM"},
      {2, u"/m/DCIM/100ZXDCF/MOV00002.MPEG", u"/m/DCIM/100ZXDCF/MOV00002.THM"},
      {2, u"/m/X.MPG/MOV00003.MPG", u"/m/X.MPG/MOV00003.THM"},
      {2, u"/m/X.MPG/MOV00004", u"/m/X.MPG/MOV00004.THM"},
      {1, u"/m/DCIM/100ZXDCF/DSC00001.JPG", u""},
      {1, u"/m/DCIM/100ZXDCF/DSC00001.MPG", u""},
      {0, u"/m/DCIM/100ZXDCF/MOV00001.MPG", u""},
  };
  for (const Case& c : cases) {
    const XdbAccessor::ContentInfo content(Content(c.kind, c.path));
    EXPECT_EQ(Text(content.GetThumbnailPath()), c.thumbnail) << testing::PrintToString(XpString(c.path));
    EXPECT_EQ(Text(content.GetPath()), c.path);
    EXPECT_EQ(content.GetKind(), c.kind);
  }
}

TEST_F(ContentInfo, KeepsItsValuesAndWidensTheIds) {
  XdbAccessor::ContentData data = Content(1, u"/m/a.JPG");
  data.date = XpDateTime(2009, 3, 14, 20, 0, 0);
  data.shareFlags = 6;
  data.favorite = 3;
  data.guid = -5;
  data.albumId = -2;
  data.id = -1;
  const XdbAccessor::ContentInfo content(data);
  EXPECT_EQ(content.GetDate(), data.date);
  EXPECT_EQ(content.GetShareFlags(), 6);
  EXPECT_EQ(content.GetFavoriteFlags(), 3);
  EXPECT_EQ(content.GetGuid(), int64_t{-5});
  EXPECT_EQ(content.GetId(), int64_t{-1});
  EXPECT_EQ(content.GetAlbumId(), int64_t{-2});

  const XdbAccessor::ContentData defaults;
  EXPECT_EQ(defaults.kind, 0);
  EXPECT_EQ(defaults.guid, -1);
  EXPECT_EQ(defaults.albumId, -1);
  EXPECT_EQ(defaults.id, -1);
}

TEST_F(AlbumInfo, AnEmptyTitleIsTheShortLocalDate) {
  UseTimeZone("JST-9");
  const xdbtest::ScopedLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.Active());
  const XpDateTime date(2009, 3, 15, 0, 0, 0);
  const XdbAccessor::AlbumInfo untitled(Album(4, u"", date), u"/m/");
  EXPECT_EQ(Text(untitled.GetTitle()), u"03/15/09");
  EXPECT_EQ(Text(untitled.GetName()), u"03/15/09");
  EXPECT_EQ(untitled.GetDate(), date);
  EXPECT_EQ(untitled.GetId(), 4);
  EXPECT_EQ(Text(untitled.GetRoot()), u"/m/");

  // 2009-03-14 20:00 UTC is already the 15th in Japan.
  const XdbAccessor::AlbumInfo evening(Album(5, u"", XpDateTime(2009, 3, 14, 20, 0, 0)), u"");
  EXPECT_EQ(Text(evening.GetTitle()), u"03/15/09");

  const XdbAccessor::AlbumInfo titled(Album(6, u"Trip", date), u"");
  EXPECT_EQ(Text(titled.GetTitle()), u"Trip");
  EXPECT_EQ(Text(titled.GetName()), u"Trip");
}

TEST_F(AlbumList, HoldsAlbumsInOrderAndRefusesIndexesPastTheEnd) {
  XdbAccessor::AlbumList list;
  EXPECT_EQ(list.GetCount(), 0);
  ExpectOutOfRange(list, 0);
  auto* first = new XdbAccessor::AlbumInfo(Album(1, u"one", XpDateTime()), u"");
  auto* second = new XdbAccessor::AlbumInfo(Album(2, u"two", XpDateTime()), u"");
  ASSERT_TRUE(list.Add(first));
  ASSERT_TRUE(list.Add(second));
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetAt(0), first);
  EXPECT_EQ(list.Item(1), second);
  ExpectOutOfRange(list, list.GetCount());
  ExpectOutOfRange(list, -1);
  EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(ContentList, HoldsContentsInOrderAndRefusesIndexesPastTheEnd) {
  std::unique_ptr<XdbAccessor::IContentList> list(new XdbAccessor::ContentList);
  EXPECT_EQ(list->GetCount(), 0);
  ExpectOutOfRange(*list, 0);
  auto* content = new XdbAccessor::ContentInfo(Content(1, u"/m/a.JPG"));
  ASSERT_TRUE(static_cast<XdbAccessor::ContentList*>(list.get())->Add(content));
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(list->GetAt(0), content);
  EXPECT_EQ(list->Item(0), content);
  ExpectOutOfRange(*list, 1);
}

}  // namespace
