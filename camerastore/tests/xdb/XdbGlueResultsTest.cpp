#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbSearches.h"
#include "fsk/FskScript.h"
#include "fsk/FskTrace.h"

namespace {

using XdbGlueResults = xdbtest::GlueTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

constexpr unsigned char kFill = 0xA5;

XdbRecordBuffer Filled() {
  XdbRecordBuffer buffer;
  std::memset(&buffer, kFill, sizeof buffer);
  return buffer;
}

std::string Words(const XdbResultHandle& handle) {
  std::string text;
  for (uint32_t word : handle.w) {
    text += (text.empty() ? "" : ", ") + std::to_string(static_cast<int32_t>(word));
  }
  return text;
}

TEST_F(XdbGlueResults, CachedContentRecordsAreReadInUtc) {
  Open();
  const XdbResultHandle set = NewSet();
  // 1999-12-31 23:30:00 UTC; misc is missing and reads as 0.
  scripted_->Answer("set.getRecord", ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(946683000000.0)},
                                                                   {"folderID", ScriptedValue::Integer(100)},
                                                                   {"fileID", ScriptedValue::Integer(3)},
                                                                   {"albumID", ScriptedValue::Integer(2)},
                                                                   {"shareFlag", ScriptedValue::Integer(8)},
                                                                   {"favoriteFlag", ScriptedValue::Integer(1)},
                                                                   {"guid", ScriptedValue::Integer(41)}},
                                                                  true));
  XdbRecordBuffer buffer = Filled();
  Mark();
  ASSERT_EQ(XdbGetCachedRecord(set, 2, &buffer), 0);
  const XdbContentRecord& record = buffer.content;
  EXPECT_EQ(record.yearsSince1900, 99);
  EXPECT_EQ(record.month, 11);
  EXPECT_EQ(record.dayOfMonth, 31);
  EXPECT_EQ(record.hours, 23);
  EXPECT_EQ(record.minutes, 30);
  EXPECT_EQ(record.seconds, 0);
  EXPECT_EQ(record.folderID, 100);
  EXPECT_EQ(record.fileID, 3);
  EXPECT_EQ(record.albumID, 2);
  EXPECT_EQ(record.misc, 0);
  EXPECT_EQ(record.shareFlag, 8);
  EXPECT_EQ(record.favoriteFlag, 1);
  EXPECT_EQ(record.guid, 41);
  const XdbRecordBuffer untouched = Filled();
  EXPECT_EQ(record.weekday, untouched.content.weekday);
  EXPECT_EQ(record.dayOfYear, untouched.content.dayOfYear);
  EXPECT_EQ(record.daylightFlag, untouched.content.daylightFlag);
  EXPECT_EQ(Logged(), (Texts{"get(" + Words(set) + ")", "getRecord(2)"}));
}

TEST_F(XdbGlueResults, AnyOtherCachedRecordIsReadAsAnAlbum) {
  Open();
  const XdbResultHandle set = NewSet();
  scripted_->Answer("set.getRecord", ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(0.0)},
                                                                   {"title", ScriptedValue::String("Trip")},
                                                                   {"preference", ScriptedValue::Integer(2)}}));
  XdbRecordBuffer buffer = Filled();
  buffer.album.title = nullptr;
  ASSERT_EQ(XdbGetCachedRecord(set, 0, &buffer), 0);
  EXPECT_EQ(buffer.album.yearsSince1900, 70);
  EXPECT_EQ(buffer.album.dayOfMonth, 1);
  ASSERT_NE(buffer.album.title, nullptr);
  EXPECT_EQ(std::u16string(buffer.album.title), u"Trip");
  EXPECT_EQ(buffer.album.preference, 2);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&buffer);
  for (size_t i = sizeof(XdbAlbumRecord); i < sizeof buffer; ++i) {
    EXPECT_EQ(bytes[i], kFill) << i;
  }
  std::free(buffer.album.title);
}

TEST_F(XdbGlueResults, AHandleTheCacheDoesNotHoldGivesMinus300) {
  Open();
  const XdbResultHandle unknown{{1, 2, 3, 4}};
  XdbRecordBuffer buffer = Filled();
  EXPECT_EQ(XdbGetCachedRecord(unknown, 0, &buffer), -300);
  const XdbRecordBuffer untouched = Filled();
  EXPECT_EQ(std::memcmp(&buffer, &untouched, sizeof buffer), 0);
}

TEST_F(XdbGlueResults, CountAndLimitAreReadAsIntegers) {
  Open();
  const XdbResultHandle set = NewSet();
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(0)));
  scripted_->Answer("Master.getLimit", ScriptedAnswer::Return(ScriptedValue::Integer(40000)));
  int32_t count = 77;
  EXPECT_EQ(XdbCount(set, &count), 0);
  EXPECT_EQ(count, 0);
  int32_t limit = 0;
  EXPECT_EQ(XdbGetLimit(&limit), 0);
  EXPECT_EQ(limit, 40000);
}

TEST_F(XdbGlueResults, FreeingTwiceCallsFreeTwiceWithTheSameWords) {
  Open();
  const XdbResultHandle set = NewSet();
  Mark();
  EXPECT_EQ(XdbResultFree(set), 0);
  EXPECT_EQ(XdbResultFree(set), 0);
  const std::string free = "free(" + Words(set) + ")";
  EXPECT_EQ(Logged(), (Texts{free, free}));
  EXPECT_EQ(XdbResultFreeAll(), 0);
  EXPECT_EQ(scripted_->Calls().back().Text(), "freeAll()");
}

TEST_F(XdbGlueResults, TraceAndClockProbeHaveNoTry) {
  Open();
  std::string traced;
  FskTraceSink previous = FskSetTraceSink([&traced](std::string_view text) { traced += text; });
  XdbTrace("hello");
  SetClock(1000.0 * 1000.0);
  const int32_t now = XdbClockProbe();
  // A throwing Date ends the probe silently.
  {
    FskMachine* the = scripted_->Machine();
    fsk::HostBracket bracket(the);
    fsk::Set(the, fsk::Global(the), "Date",
             fsk::NewFunction(
                 the,
                 [](FskMachine* machine, const fsk::Value&, const std::vector<fsk::Value>&) -> fsk::Value {
                   fsk::Throw(machine, kFskError, "no clock");
                 },
                 0));
  }
  const int32_t failed = XdbClockProbe();
  FskSetTraceSink(std::move(previous));
  EXPECT_NE(traced.find("hello"), std::string::npos);
  EXPECT_EQ(now, 1000 * 1000);
  EXPECT_EQ(failed, 0);
}

// Each function's fixed result when the script throws; out-values not yet
// written keep the caller's value.
TEST_F(XdbGlueResults, EveryFunctionGivesItsFixedResultWhenTheScriptThrows) {
  Open();
  const XdbResultHandle a = NewSet();
  const XdbResultHandle b = NewSet();
  XdbContentRecord content{};
  XdbAlbumRecord album{};
  album.title = const_cast<char16_t*>(u"t");
  int32_t value = xdbtest::kSentinel;
  XdbResultHandle out{{9, 9, 9, 9}};
  XdbRecordBuffer buffer = Filled();
  struct Case {
    const char* key;
    int32_t expected;
    std::function<int32_t()> run;
  };
  const std::vector<Case> cases = {
      {"Master.close", -9999, [] { return XdbCloseDatabase(); }},
      {"resultCache3.freeAll", -9999, [] { return XdbResultFreeAll(); }},
      {"Master.flush", -9999, [] { return XdbFlush(); }},
      {"Master.createAlbum", -9999, [&] { return XdbCreateAlbum(album, &value); }},
      {"dbManager.ContentAlbumInfo", -9999, [&] { return XdbCreateAlbum(album, &value); }},
      {"Master.search", -9999, [&] { return XdbSearch("a", 1, &out); }},
      {"Master.search", -9999, [&] { return XdbSearchNumber("a", 1.0, &out); }},
      {"Master.search", -9999, [&] { return XdbSearchAll("d", &out); }},
      {"Master.rangeSearch", -9999, [&] { return XdbRangeSearch("g", 1, 2, &out); }},
      {"Master.rangeSearch", -9999, [&] { return XdbRangeSearchNumber("g", 1.0, 2.0, &out); }},
      {"Master.searchGroup", -9999, [&] { return XdbSearchGroup("sf", 2, &out); }},
      {"set.count", -9999, [&] { return XdbCount(a, &value); }},
      {"resultCache3.get", -9999, [&] { return XdbCount(a, &value); }},
      {"resultCache3.free", -9999, [&] { return XdbResultFree(a); }},
      {"Master.getLimit", -9999, [&] { return XdbGetLimit(&value); }},
      {"Master.open", -7, [] { return XdbOpenDatabase(xdbtest::kDatabasePath); }},
      {"Master.deleteDatabase", -7, [] { return XdbDeleteDatabase(xdbtest::kDatabasePath); }},
      {"Master.addPhoto", -7, [&] { return XdbAddPhoto(content, &value); }},
      {"dbManager.ContentMaster", -7, [&] { return XdbAddPhoto(content, &value); }},
      {"Master.addPhotoToGroup", -7, [] { return XdbAddPhotoToGroup("ff", 1, 2); }},
      {"Master.searchPhoto", -7, [&] { return XdbSearchPhoto(1, 2, &out); }},
      {"Master.searchPhotoByYearAndMonth", -7, [&] { return XdbSearchPhotoByYearAndMonth(1, 2, &out); }},
      {"Master.deletePhoto", -300, [] { return XdbDeletePhoto(1); }},
      {"Master.deleteAlbum", -300, [] { return XdbDeleteAlbum(1); }},
      {"Master.updatePhoto", -300, [&] { return XdbUpdatePhoto(1, content); }},
      {"Master.updateAlbumInfo", -300, [&] { return XdbUpdateAlbumInfo(1, album); }},
      {"Master.getRecord", -300, [&] { return XdbGetRecordFromID(1, &buffer); }},
      {"Master.getRecord", -300, [&] { return XdbGetRecordFromIDM(1, &buffer.content); }},
      {"Master.getRecordA", -300, [&] { return XdbGetRecordFromIDA(1, &buffer.album); }},
      {"Master.searchAlbumInfo", -300, [&] { return XdbSearchAlbumInfo(1, &out); }},
      {"set.getID", -300, [&] { return XdbGetID(a, 0, &value); }},
      {"Master.removePhotoFromGroup", -300, [] { return XdbRemovePhotoFromGroup("sf", 1, 2); }},
      {"set.getRecord", -300, [&] { return XdbGetCachedRecord(a, 0, &buffer); }},
      {"Master.compact", -5, [] { return XdbCompact(); }},
      {"set.sort", -5, [&] { return XdbSort(a, "g", "", &out); }},
      {"set.or", -5, [&] { return XdbOr(a, b, &out); }},
      {"set.and", -5, [&] { return XdbAnd(a, b, &out); }},
      {"set.unique", -5, [&] { return XdbUnique(a, "a", &out); }},
      {"dbManager.Master", -9999, [] { return XdbCreateMaster(); }},
  };
  const XdbRecordBuffer untouched = Filled();
  for (const Case& c : cases) {
    scripted_->Answer(c.key, ScriptedAnswer::Throw("refused"));
    EXPECT_EQ(c.run(), c.expected) << c.key;
    EXPECT_EQ(value, xdbtest::kSentinel) << c.key;
    EXPECT_EQ(Words(out), "9, 9, 9, 9") << c.key;
    EXPECT_EQ(std::memcmp(&buffer, &untouched, sizeof buffer), 0) << c.key;
  }
}

TEST_F(XdbGlueResults, AThrowingDateEndsAWriteWithItsResult) {
  Open();
  {
    FskMachine* the = scripted_->Machine();
    fsk::HostBracket bracket(the);
    fsk::Set(the, fsk::Global(the), "Date",
             fsk::NewFunction(
                 the,
                 [](FskMachine* machine, const fsk::Value&, const std::vector<fsk::Value>&) -> fsk::Value {
                   fsk::Throw(machine, kFskError, "no date");
                 },
                 0));
  }
  Mark();
  XdbContentRecord content{};
  int32_t newId = xdbtest::kSentinel;
  EXPECT_EQ(XdbAddPhoto(content, &newId), -7);
  EXPECT_EQ(newId, xdbtest::kSentinel);
  EXPECT_EQ(XdbUpdatePhoto(3, content), -300);
  EXPECT_EQ(Logged(), Texts{});
}

}  // namespace
