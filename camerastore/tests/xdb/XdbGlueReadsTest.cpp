#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "fsk/FskScript.h"

namespace {

using XdbGlueReads = xdbtest::GlueTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

// 1950-06-15 12:00:00 UTC.
constexpr double kJune1950 = -616852800000.0;
constexpr unsigned char kFill = 0xA5;

ScriptedAnswer ContentObject() {
  return ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(kJune1950)},
                                       {"folderID", ScriptedValue::Integer(101)},
                                       {"fileID", ScriptedValue::Integer(2)},
                                       {"albumID", ScriptedValue::Integer(6)},
                                       {"misc", ScriptedValue::Integer(2)},
                                       {"shareFlag", ScriptedValue::Integer(4)},
                                       {"favoriteFlag", ScriptedValue::Integer(1)},
                                       {"guid", ScriptedValue::Integer(77)}},
                                      true);
}

ScriptedAnswer AlbumObject() {
  return ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(kJune1950)},
                                       {"title", ScriptedValue::String("\xC3\x89t\xC3\xA9")},
                                       {"preference", ScriptedValue::Integer(5)}});
}

void ExpectJune1950(const XdbContentRecord& record) {
  EXPECT_EQ(record.yearsSince1900, 50);
  EXPECT_EQ(record.month, 5);
  EXPECT_EQ(record.dayOfMonth, 15);
  EXPECT_EQ(record.hours, 12);
  EXPECT_EQ(record.minutes, 0);
  EXPECT_EQ(record.seconds, 0);
}

void ExpectContent(const XdbContentRecord& record) {
  ExpectJune1950(record);
  EXPECT_EQ(record.folderID, 101);
  EXPECT_EQ(record.fileID, 2);
  EXPECT_EQ(record.albumID, 6);
  EXPECT_EQ(record.misc, 2);
  EXPECT_EQ(record.shareFlag, 4);
  EXPECT_EQ(record.favoriteFlag, 1);
  EXPECT_EQ(record.guid, 77);
  // The words the glue never writes.
  EXPECT_EQ(record.weekday, xdbtest::kSentinel);
  EXPECT_EQ(record.dayOfYear, xdbtest::kSentinel);
  EXPECT_EQ(record.daylightFlag, xdbtest::kSentinel);
}

XdbRecordBuffer Filled() {
  XdbRecordBuffer buffer;
  std::memset(&buffer, kFill, sizeof buffer);
  buffer.content.weekday = xdbtest::kSentinel;
  buffer.content.dayOfYear = xdbtest::kSentinel;
  buffer.content.daylightFlag = xdbtest::kSentinel;
  return buffer;
}

TEST_F(XdbGlueReads, NoRecordLeavesTheBufferUntouched) {
  Open();
  struct Case {
    const char* name;
    int32_t (*read)(XdbRecordBuffer& buffer);
  };
  const Case cases[] = {
      {"XdbGetRecordFromID", [](XdbRecordBuffer& buffer) { return XdbGetRecordFromID(9, &buffer); }},
      {"XdbGetRecordFromIDM", [](XdbRecordBuffer& buffer) { return XdbGetRecordFromIDM(9, &buffer.content); }},
      {"XdbGetRecordFromIDA", [](XdbRecordBuffer& buffer) { return XdbGetRecordFromIDA(9, &buffer.album); }},
  };
  for (const Case& c : cases) {
    const XdbRecordBuffer before = Filled();
    XdbRecordBuffer buffer = before;
    EXPECT_EQ(c.read(buffer), -300) << c.name;
    EXPECT_EQ(std::memcmp(&buffer, &before, sizeof buffer), 0) << c.name;
  }
  EXPECT_EQ(Logged(), (Texts{"getRecord(9)", "getRecord(9)", "getRecordA(9)"}));
}

TEST_F(XdbGlueReads, ContentRecordsComeBackFieldByField) {
  Open();
  scripted_->Answer("Master.getRecord", ContentObject());
  scripted_->Answer("Master.getRecord", ContentObject());
  XdbRecordBuffer buffer = Filled();
  ASSERT_EQ(XdbGetRecordFromID(3, &buffer), 0);
  ExpectContent(buffer.content);
  buffer = Filled();
  ASSERT_EQ(XdbGetRecordFromIDM(3, &buffer.content), 0);
  ExpectContent(buffer.content);
}

TEST_F(XdbGlueReads, AnAlbumFillsOnlyTheAlbumMember) {
  Open();
  scripted_->Answer("Master.getRecord", AlbumObject());
  XdbRecordBuffer buffer = Filled();
  buffer.album.title = nullptr;
  ASSERT_EQ(XdbGetRecordFromID(4, &buffer), 0);
  ExpectJune1950(buffer.content);
  ASSERT_NE(buffer.album.title, nullptr);
  EXPECT_EQ(std::u16string(buffer.album.title), u"\u00C9t\u00E9");
  EXPECT_EQ(buffer.album.preference, 5);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&buffer);
  for (size_t i = sizeof(XdbAlbumRecord); i < sizeof buffer; ++i) {
    EXPECT_EQ(bytes[i], kFill) << i;
  }
  std::free(buffer.album.title);
}

TEST_F(XdbGlueReads, AlbumsComeBackWithTheirTitle) {
  Open();
  scripted_->Answer("Master.getRecordA", AlbumObject());
  XdbAlbumRecord album{};
  album.weekday = xdbtest::kSentinel;
  ASSERT_EQ(XdbGetRecordFromIDA(4, &album), 0);
  EXPECT_EQ(album.yearsSince1900, 50);
  EXPECT_EQ(album.month, 5);
  EXPECT_EQ(album.dayOfMonth, 15);
  EXPECT_EQ(album.hours, 12);
  EXPECT_EQ(album.weekday, xdbtest::kSentinel);
  ASSERT_NE(album.title, nullptr);
  EXPECT_EQ(std::u16string(album.title), u"\u00C9t\u00E9");
  EXPECT_EQ(album.preference, 5);
  std::free(album.title);
}

TEST_F(XdbGlueReads, AThrowMidwayKeepsTheFieldsStoredBefore) {
  Open();
  scripted_->Answer("Master.getRecord", ContentObject());
  // The fourth Date getter (getUTCHours) throws.
  FskMachine* the = scripted_->Machine();
  {
    fsk::HostBracket bracket(the);
    fsk::Value prototype = fsk::GetPath(the, "Date.prototype");
    fsk::Set(the, prototype, "getUTCHours",
             fsk::NewFunction(
                 the,
                 [](FskMachine* machine, const fsk::Value&, const std::vector<fsk::Value>&) -> fsk::Value {
                   fsk::Throw(machine, kFskError, "no hours");
                 },
                 0));
  }
  XdbRecordBuffer buffer = Filled();
  EXPECT_EQ(XdbGetRecordFromIDM(3, &buffer.content), -300);
  EXPECT_EQ(buffer.content.yearsSince1900, 50);
  EXPECT_EQ(buffer.content.month, 5);
  EXPECT_EQ(buffer.content.dayOfMonth, 15);
  const XdbRecordBuffer untouched = Filled();
  EXPECT_EQ(buffer.content.hours, untouched.content.hours);
  EXPECT_EQ(buffer.content.folderID, untouched.content.folderID);
}

}  // namespace
