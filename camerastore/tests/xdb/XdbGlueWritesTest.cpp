#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbRecordWrites.h"

namespace {

using XdbGlueWrites = xdbtest::GlueTest;
using xdbtest::NumberOf;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

// 2009-01-31 00:00:00 and 1970-01-01 00:00:00 in UTC.
constexpr double kJanuary31 = 1233360000000.0;

XdbContentRecord Content(int year, int month, int day) {
  XdbContentRecord record{};
  record.yearsSince1900 = year - 1900;
  record.month = month;
  record.dayOfMonth = day;
  record.folderID = 100;
  record.fileID = 1;
  record.albumID = 5;
  record.misc = 1;
  record.shareFlag = 7;
  record.favoriteFlag = 9;
  record.guid = 0;
  return record;
}

// The construction of a record object among the logged calls.
const fsktest::ScriptedCall* Construction(const std::vector<fsktest::ScriptedCall>& calls, const std::string& name) {
  for (const auto& call : calls) {
    if (call.receiver == "dbManager" && call.method == "new " + name) {
      return &call;
    }
  }
  return nullptr;
}

TEST_F(XdbGlueWrites, AddPhotoAnswersAreIdentifiersButMinusOne) {
  struct Case {
    int64_t answer;
    int32_t result;
    int32_t newId;
  };
  const Case cases[] = {{0, 0, 0}, {-2, 0, -2}, {-1, -1, -1}, {17, 0, 17}};
  Open();
  for (const Case& c : cases) {
    scripted_->Answer("Master.addPhoto", ScriptedAnswer::Return(ScriptedValue::Integer(c.answer)));
    int32_t newId = xdbtest::kSentinel;
    EXPECT_EQ(XdbAddPhoto(Content(2009, 0, 31), &newId), c.result) << c.answer;
    EXPECT_EQ(newId, c.newId) << c.answer;
  }
}

TEST_F(XdbGlueWrites, ContentMasterGetsTheTimeAndFiveWordsButNoFlags) {
  Open();
  XdbContentRecord record = Content(2009, 0, 31);
  int32_t newId = 0;
  ASSERT_EQ(XdbAddPhoto(record, &newId), 0);
  const auto calls = LoggedCalls();
  const fsktest::ScriptedCall* made = Construction(calls, "ContentMaster");
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->arguments.size(), 6u);
  EXPECT_EQ(NumberOf(made->arguments[0]), kJanuary31);
  const int64_t words[] = {100, 1, 5, 1, 0};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(made->arguments[i + 1], ScriptedValue::Integer(words[i])) << i;
  }
  EXPECT_EQ(calls.back().Text(), "addPhoto([ContentMaster#1])");
  EXPECT_EQ(calls.back().receiver, "master#1");
}

TEST_F(XdbGlueWrites, TheDateIgnoresWeekdayDayOfYearAndDaylight) {
  Open();
  XdbContentRecord record = Content(2009, 0, 31);
  record.weekday = -77;
  record.dayOfYear = 9999;
  record.daylightFlag = 123456;
  int32_t newId = 0;
  ASSERT_EQ(XdbAddPhoto(record, &newId), 0);
  const auto calls = LoggedCalls();
  const fsktest::ScriptedCall* made = Construction(calls, "ContentMaster");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(NumberOf(made->arguments[0]), kJanuary31);
}

TEST_F(XdbGlueWrites, TheDayIsSetTogetherWithMonthAndYear) {
  struct Case {
    double clock;
    int year;
    int month;
    int day;
    double time;
  };
  const Case cases[] = {
      {xdbtest::kClockFebruary15, 2009, 0, 31, 1233360000000.0},
      // 2009-03-31: a day of 28 February set on 31 March.
      {1238457600000.0, 2009, 1, 28, 1235779200000.0},
  };
  Open();
  for (const Case& c : cases) {
    SetClock(c.clock);
    Mark();
    int32_t newId = 0;
    ASSERT_EQ(XdbAddPhoto(Content(c.year, c.month, c.day), &newId), 0);
    const auto calls = LoggedCalls();
    const fsktest::ScriptedCall* made = Construction(calls, "ContentMaster");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(NumberOf(made->arguments[0]), c.time) << c.day;
  }
}

TEST_F(XdbGlueWrites, CreateAlbumPassesTimeUtf8TitleAndPreference) {
  Open();
  XdbAlbumRecord album{};
  album.yearsSince1900 = 70;
  album.dayOfMonth = 1;
  album.title = const_cast<char16_t*>(u"\u00C9t\u00E9");
  album.preference = 3;
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(12)));
  int32_t newId = 0;
  EXPECT_EQ(XdbCreateAlbum(album, &newId), 0);
  EXPECT_EQ(newId, 12);
  const auto calls = LoggedCalls();
  const fsktest::ScriptedCall* made = Construction(calls, "ContentAlbumInfo");
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->arguments.size(), 3u);
  EXPECT_EQ(NumberOf(made->arguments[0]), 0.0);
  EXPECT_EQ(made->arguments[1], ScriptedValue::String("\xC3\x89t\xC3\xA9"));
  EXPECT_EQ(made->arguments[2], ScriptedValue::Integer(3));
  EXPECT_EQ(calls.back().Text(), "createAlbum([ContentAlbumInfo#1])");

  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(-1)));
  EXPECT_EQ(XdbCreateAlbum(album, &newId), -1);
  EXPECT_EQ(newId, -1);
}

TEST_F(XdbGlueWrites, SingleCallsPassTheirArguments) {
  Open();
  XdbContentRecord record = Content(2009, 0, 31);
  XdbAlbumRecord album{};
  album.title = const_cast<char16_t*>(u"x");
  album.preference = 2;
  struct Case {
    int32_t result;
    std::string last;
  };
  const auto run = [this](int32_t result) {
    Case c{result, scripted_->Calls().back().Text()};
    return c;
  };
  const Case cases[] = {
      run(XdbAddPhotoToGroup("ff", 9, 6)),
      run(XdbDeletePhoto(42)),
      run(XdbDeleteAlbum(43)),
      run(XdbFlush()),
      run(XdbCompact()),
      run(XdbUpdatePhoto(44, record)),
      run(XdbUpdateAlbumInfo(45, album)),
  };
  const Texts expected = {
      "addPhotoToGroup(\"ff\", 9, 6)",
      "deletePhoto(42)",
      "deleteAlbum(43)",
      "flush()",
      "compact()",
      "updatePhoto(44, [ContentMaster#1])",
      "updateAlbumInfo(45, [ContentAlbumInfo#1])",
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(cases[i].result, 0) << expected[i];
    EXPECT_EQ(cases[i].last, expected[i]);
  }
  const auto calls = LoggedCalls();
  const fsktest::ScriptedCall* made = Construction(calls, "ContentMaster");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->arguments.size(), 6u);
}

}  // namespace
