#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"

namespace {

using XdbCommitRecovery = xdbtest::AccessorTest;
using xdbtest::kBackup;
using xdbtest::kDatabase;
using xdbtest::kWorkCopy;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;

struct RecoveryCase {
  const char* name;
  std::vector<const char*> before;
  XpResult result;
  // The copy that "DBFILES" holds afterwards; "" when there is none.
  const char* marker;
};

TEST_F(XdbCommitRecovery, TheFactoryKeepsTheNewestWholeCopy) {
  const RecoveryCase cases[] = {
      {"db", {kDatabase}, kXpOk, kDatabase},
      {"db+tmp", {kDatabase, kWorkCopy}, kXpOk, kDatabase},
      {"db+bak", {kDatabase, kBackup}, kXpOk, kDatabase},
      {"db+tmp+bak", {kDatabase, kWorkCopy, kBackup}, kXpOk, kDatabase},
      // Between the two renames of a swap: its edits were not committed.
      {"tmp+bak", {kWorkCopy, kBackup}, kXpOk, kBackup},
      {"bak", {kBackup}, kXpOk, kBackup},
      {"tmp", {kWorkCopy}, kXpOk, kWorkCopy},
      {"none", {}, kXpErrGeneric, ""},
  };
  for (const RecoveryCase& c : cases) {
    std::filesystem::remove_all(Card());
    MakeFolder(".");
    for (const char* folder : c.before) {
      MakeDatabase(folder, folder);
    }
    AnswerOpens(1);
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    EXPECT_EQ(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), c.result) << c.name;
    EXPECT_EQ(accessor != nullptr, c.result == kXpOk) << c.name;
    if (c.result == kXpOk) {
      EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase}) << c.name;
      EXPECT_EQ(Marker(kDatabase), c.marker) << c.name;
    } else {
      EXPECT_TRUE(Folders().empty()) << c.name;
      EXPECT_TRUE(std::filesystem::is_empty(Card())) << c.name;
    }
    if (accessor != nullptr) {
      accessor->Release();
    }
  }
}

TEST_F(XdbCommitRecovery, OnlyAnOpenedDatabaseMakesAnAccessor) {
  struct Case {
    const char* name;
    ScriptedAnswer answer;
    XpResult result;
  };
  const Case cases[] = {
      {"throws (-7)", ScriptedAnswer::Throw("no card"), kXpErrGeneric},
      {"352", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbNotOpened)), kXpErrOpenFailed},
  };
  MakeDatabase(kDatabase, "old");
  for (const Case& c : cases) {
    scripted_->Answer("Master.open", c.answer);
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    EXPECT_EQ(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), c.result) << c.name;
    EXPECT_EQ(accessor, nullptr) << c.name;
  }
}

TEST_F(XdbCommitRecovery, TheReaderFactoryWantsAnOpenedDatabase) {
  XdbAccessor::IXdbReader* reader = nullptr;
  EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, CardRoot()), kXpErrOutOfMemory);
  EXPECT_EQ(reader, nullptr);
  MakeDatabase(kDatabase, "old");
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbNotOpened)));
  EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, CardRoot()), kXpErrOutOfMemory);
  EXPECT_EQ(reader, nullptr);
  AnswerOpens(1);
  ASSERT_EQ(XdbAccessor::CreateXdbReader(&reader, CardRoot()), kXpOk);
  ASSERT_NE(reader, nullptr);
  reader->Release();
}

}  // namespace
