#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbCachedContent.h"
#include "fsk/FskScript.h"

namespace {

using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;

constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();

class XdbCachedContent : public xdbtest::GlueTest {
 protected:
  // Makes property name of every record of kind prototype (its path) that
  // does not hold its own throw when read as a number.
  void ThrowOnRead(const char* prototype, const char* name) {
    FskMachine* the = scripted_->Machine();
    fsk::HostBracket bracket(the);
    fsk::Value failing = fsk::NewObject(the);
    fsk::Set(the, failing, "valueOf",
             fsk::NewFunction(
                 the,
                 [](FskMachine* machine, const fsk::Value&, const std::vector<fsk::Value>&) -> fsk::Value {
                   fsk::Throw(machine, kFskError, "unreadable");
                 },
                 0));
    fsk::Set(the, fsk::GetPath(the, prototype), name, failing);
  }
};

// A content read that fails after folderID, fileID and albumID: a stored
// folderID of INT32_MIN and no guid once made it look like an album, and
// the two words over fileID and albumID were freed as its title.
TEST_F(XdbCachedContent, AContentThatFailsPartWayIsNeverTakenForAnAlbum) {
  struct Case {
    const char* name;
    int32_t folderID;
  };
  const Case cases[] = {{"lowest folder", kLowest}, {"ordinary folder", 100}};
  Open();
  ThrowOnRead("dbManager.contentMaster", "misc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const XdbResultHandle set = NewSet();
    scripted_->Answer("set.getRecord", ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(0)},
                                                                    {"folderID", ScriptedValue::Integer(c.folderID)},
                                                                    {"fileID", ScriptedValue::Integer(0x1234)},
                                                                    {"albumID", ScriptedValue::Integer(0x5678)}},
                                                                   true));
    XdbContentRecord record{};
    record.guid = 77;
    EXPECT_FALSE(XdbAccessor::XdbReadCachedContent(set, 0, &record));
    EXPECT_EQ(record.guid, 77);
  }
}

TEST_F(XdbCachedContent, AnAlbumIsRefusedAndItsTitleReleased) {
  struct Case {
    const char* name;
    bool preferenceFails;
  };
  // LeakSanitizer reports the title when it is kept.
  const Case cases[] = {{"whole album", false}, {"preference unreadable", true}};
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.preferenceFails) {
      ThrowOnRead("Object.prototype", "preference");
    }
    const XdbResultHandle set = NewSet();
    scripted_->Answer("set.getRecord",
                      ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(0)},
                                                    {"title", ScriptedValue::String("Trip")}}));
    XdbContentRecord record{};
    record.guid = 77;
    EXPECT_FALSE(XdbAccessor::XdbReadCachedContent(set, 0, &record));
    EXPECT_EQ(record.guid, 77);
  }
}

TEST_F(XdbCachedContent, AWholeContentIsRead) {
  Open();
  const XdbResultHandle set = NewSet();
  scripted_->Answer("set.getRecord", ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(0)},
                                                                  {"folderID", ScriptedValue::Integer(kLowest)},
                                                                  {"fileID", ScriptedValue::Integer(3)},
                                                                  {"albumID", ScriptedValue::Integer(4)},
                                                                  {"misc", ScriptedValue::Integer(1)},
                                                                  {"guid", ScriptedValue::Integer(9)}},
                                                                 true));
  XdbContentRecord record{};
  ASSERT_TRUE(XdbAccessor::XdbReadCachedContent(set, 0, &record));
  EXPECT_EQ(record.folderID, kLowest);
  EXPECT_EQ(record.fileID, 3);
  EXPECT_EQ(record.albumID, 4);
  EXPECT_EQ(record.misc, 1);
  EXPECT_EQ(record.guid, 9);
  EXPECT_EQ(record.yearsSince1900, 70);
}

}  // namespace
