#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbSearches.h"
#include "fsk/FskMain.h"
#include "platform/result/XpResult.h"

namespace {

using XdbGlueConnection = xdbtest::GlueTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

constexpr FskErr kRefusedStart = 0x8123;

FskErr RefuseStart(uint32_t, int, char**) { return kRefusedStart; }

TEST_F(XdbGlueConnection, AFailingRuntimeStartGivesItsCode) {
  XdbRuntimeInitializer previous = XdbSetRuntimeInitializer(RefuseStart);
  const int32_t result = XdbRuntimeStart();
  XdbSetRuntimeInitializer(previous);
  EXPECT_EQ(result, kRefusedStart);
  EXPECT_EQ(scripted_->Machine(), nullptr);
}

TEST_F(XdbGlueConnection, AFailingMachineFactoryGivesItsCode) {
  constexpr FskErr kRefusedMachine = 0x8124;
  FskMachineFactory scripted = FskRegisterMachineFactory("dbManager", [](const char*, FskMachine** out) {
    *out = nullptr;
    return kRefusedMachine;
  });
  const int32_t result = XdbRuntimeStart();
  FskRegisterMachineFactory("dbManager", std::move(scripted));
  EXPECT_EQ(result, kRefusedMachine);
}

TEST_F(XdbGlueConnection, WithoutDbManagerEveryCallGivesItsFailureAtOnce) {
  FskMachineFactory scripted = FskRegisterMachineFactory("dbManager", nullptr);
  const int32_t started = XdbRuntimeStart();
  FskRegisterMachineFactory("dbManager", std::move(scripted));
  EXPECT_EQ(started, kXdbNoMachine);
  EXPECT_EQ(XdbConnectionMachine(), nullptr);

  int32_t newId = xdbtest::kSentinel;
  XdbContentRecord content{};
  XdbAlbumRecord album{};
  XdbRecordBuffer buffer{};
  XdbResultHandle handle{};
  int32_t value = xdbtest::kSentinel;
  struct Case {
    const char* name;
    int32_t result;
    int32_t expected;
  };
  const Case cases[] = {
      {"XdbCreateMaster", XdbCreateMaster(), -9999},
      {"XdbOpenDatabase", XdbOpenDatabase(xdbtest::kDatabasePath), -7},
      {"XdbCloseDatabase", XdbCloseDatabase(), -9999},
      {"XdbDeleteDatabase", XdbDeleteDatabase(xdbtest::kDatabasePath), -7},
      {"XdbFlush", XdbFlush(), -9999},
      {"XdbAddPhoto", XdbAddPhoto(content, &newId), -7},
      {"XdbCreateAlbum", XdbCreateAlbum(album, &newId), -9999},
      {"XdbDeletePhoto", XdbDeletePhoto(1), -300},
      {"XdbCompact", XdbCompact(), -5},
      {"XdbGetRecordFromID", XdbGetRecordFromID(1, &buffer), -300},
      {"XdbSearchAll", XdbSearchAll("d", &handle), -9999},
      {"XdbSort", XdbSort(handle, "g", "", &handle), -5},
      {"XdbGetID", XdbGetID(handle, 0, &value), -300},
      {"XdbCount", XdbCount(handle, &value), -9999},
      {"XdbGetCachedRecord", XdbGetCachedRecord(handle, 0, &buffer), -300},
      {"XdbResultFreeAll", XdbResultFreeAll(), -9999},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, c.expected) << c.name;
  }
  EXPECT_EQ(newId, xdbtest::kSentinel);
  EXPECT_EQ(value, xdbtest::kSentinel);
  EXPECT_EQ(XdbRuntimeStop(), 0);
}

TEST_F(XdbGlueConnection, OpenAnswering350AsksForTheGuidIndex) {
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(350)));
  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  EXPECT_EQ(XdbOpenDatabase(u"/m/CAM/DBFILES/"), 350);
  EXPECT_EQ(scripted_->CallTexts(),
            (Texts{"new Master()", "open(\"/m/CAM/DBFILES/\", null)", "createIndex(\"guid\", 64, null)"}));
  ASSERT_EQ(scripted_->Calls().size(), 3u);
  EXPECT_EQ(scripted_->Calls()[1].receiver, "master#1");
  EXPECT_EQ(scripted_->Calls()[1].arguments[0], ScriptedValue::String("/m/CAM/DBFILES/"));
}

TEST_F(XdbGlueConnection, OpenAnsweringAnythingElseGives352WithoutIndex) {
  const ScriptedValue answers[] = {ScriptedValue::Integer(0), ScriptedValue::Integer(351), ScriptedValue::Integer(-1),
                                   ScriptedValue::Undefined()};
  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  for (const ScriptedValue& answer : answers) {
    Mark();
    scripted_->Answer("Master.open", ScriptedAnswer::Return(answer));
    EXPECT_EQ(XdbOpenDatabase(xdbtest::kDatabasePath), 352) << answer.Text();
    EXPECT_EQ(Logged(), (Texts{"open(\"/m/CAM/DBFILES/\", null)"})) << answer.Text();
  }
}

TEST_F(XdbGlueConnection, PathBytesReachTheScriptUnchanged) {
  // An escaped byte of a non-UTF-8 mount point goes back to that byte.
  const char16_t path[] = u"/m/C\xDCE9M/\u00C9t\u00E9/DBFILES/";
  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  Mark();
  EXPECT_EQ(XdbOpenDatabase(path), 352);
  ASSERT_EQ(LoggedCalls().size(), 1u);
  EXPECT_EQ(LoggedCalls()[0].arguments[0], ScriptedValue::String("/m/C\xE9M/\xC3\x89t\xC3\xA9/DBFILES/"));
}

TEST_F(XdbGlueConnection, ThrowsOfOpenAndCreateIndexGiveMinus7) {
  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  scripted_->Answer("Master.open", ScriptedAnswer::Throw("no folder"));
  EXPECT_EQ(XdbOpenDatabase(xdbtest::kDatabasePath), -7);
  // The database is open, yet the index failed.
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(350)));
  scripted_->Answer("Master.createIndex", ScriptedAnswer::Throw("no index"));
  Mark();
  EXPECT_EQ(XdbOpenDatabase(xdbtest::kDatabasePath), -7);
  EXPECT_EQ(Logged(), (Texts{"open(\"/m/CAM/DBFILES/\", null)", "createIndex(\"guid\", 64, null)"}));
}

TEST_F(XdbGlueConnection, CloseEmptiesTheCacheThenDropsTheIndexAndCloses) {
  Open();
  EXPECT_EQ(XdbCloseDatabase(), 0);
  EXPECT_EQ(Logged(), (Texts{"freeAll()", "deleteIndex(\"guid\")", "close()"}));
}

TEST_F(XdbGlueConnection, CloseWithAThrowingDeleteIndexDoesNotClose) {
  Open();
  scripted_->Answer("Master.deleteIndex", ScriptedAnswer::Throw("no index"));
  EXPECT_EQ(XdbCloseDatabase(), -9999);
  EXPECT_EQ(Logged(), (Texts{"freeAll()", "deleteIndex(\"guid\")"}));
}

TEST_F(XdbGlueConnection, CloseEmptiesTheCacheEvenWhenFreeAllThrows) {
  Open();
  scripted_->Answer("resultCache3.freeAll", ScriptedAnswer::Throw("busy"));
  EXPECT_EQ(XdbCloseDatabase(), 0);
  EXPECT_EQ(Logged(), (Texts{"freeAll()", "deleteIndex(\"guid\")", "close()"}));
}

TEST_F(XdbGlueConnection, DeleteEmptiesTheCacheThenDeletes) {
  Open();
  EXPECT_EQ(XdbDeleteDatabase(u"/m/CAM/DBFILES.tmp/"), 0);
  EXPECT_EQ(Logged(), (Texts{"freeAll()", "deleteDatabase(\"/m/CAM/DBFILES.tmp/\")"}));
}

TEST_F(XdbGlueConnection, TheMasterSlotIsRememberedOnceAcrossReopens) {
  // A start of our own keeps the machine alive past XdbRuntimeStop.
  ASSERT_EQ(FskMainInitialize(0, 0, nullptr), 0);
  Open();
  EXPECT_EQ(scripted_->RememberedCount(), 1);
  EXPECT_EQ(XdbCloseDatabase(), 0);
  EXPECT_EQ(XdbCreateMaster(), 0);
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(350)));
  EXPECT_EQ(XdbOpenDatabase(xdbtest::kDatabasePath), 350);
  EXPECT_EQ(scripted_->RememberedCount(), 1);
  // The new Master receives the calls.
  EXPECT_EQ(scripted_->Calls().back().receiver, "master#2");

  FskMachine* machine = XdbConnectionMachine();
  EXPECT_EQ(XdbRuntimeStop(), 0);
  EXPECT_EQ(scripted_->RememberedCount(), 0);
  EXPECT_EQ(XdbConnectionMachine(), machine);
  EXPECT_EQ(FskMainTerminate(), 0);
}

TEST_F(XdbGlueConnection, AFailedMasterIsNotRememberedAndKeepsTheOldOne) {
  ASSERT_EQ(FskMainInitialize(0, 0, nullptr), 0);
  Open();
  scripted_->Answer("dbManager.Master", ScriptedAnswer::Throw("no memory"));
  EXPECT_EQ(XdbCreateMaster(), -9999);
  EXPECT_EQ(scripted_->RememberedCount(), 1);
  EXPECT_EQ(XdbFlush(), 0);
  EXPECT_EQ(scripted_->Calls().back().receiver, "master#1");
  EXPECT_EQ(XdbRuntimeStop(), 0);
  EXPECT_EQ(scripted_->RememberedCount(), 0);
  EXPECT_EQ(FskMainTerminate(), 0);
}

TEST_F(XdbGlueConnection, StopGivesTheRuntimeResult) {
  Open();
  EXPECT_EQ(XdbRuntimeStop(), 0);
  EXPECT_EQ(scripted_->Machine(), nullptr);
  // A second stop finds the runtime stopped.
  EXPECT_EQ(XdbRuntimeStop(), static_cast<int32_t>(kXpErrWrongState));
}

}  // namespace
