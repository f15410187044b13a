#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecords.h"
#include "camerastore/xdb/XdbSearches.h"
#include "fsk/FskDate.h"
#include "fsk/FskMain.h"
#include "outside/fsk/testsupport/FskScriptedDbManager.h"
#include "platform/testsupport/HermeticTest.h"

namespace xdbtest {

using fsktest::ScriptedAnswer;
using fsktest::ScriptedValue;

// 2009-02-15T00:00:00Z, the script clock's default time in these tests.
inline constexpr double kClockFebruary15 = 1234656000000.0;
inline constexpr char16_t kDatabasePath[] = u"/m/CAM/DBFILES/";
inline constexpr int32_t kSentinel = 0x5A5A5A5A;

// The glue against a scripted "dbManager" machine, with a fixed script
// clock. Every test ends with the runtime stopped and the connection
// state cleared.
class GlueTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    scripted_ = std::make_unique<fsktest::ScriptedDbManager>();
    previousClock_ = FskSetClock([this] { return now_; });
  }

  void TearDown() override {
    FskSetClock(std::move(previousClock_));
    if (FskMainStartCount() > 0) {
      XdbRuntimeStop();
    }
    *XdbMasterSlot() = FskSlot();
    scripted_.reset();
    FskMainReset();
    XdbConnectionMachine() = nullptr;
    HermeticTest::TearDown();
  }

  // Starts the runtime, makes the Master and opens kDatabasePath; the log
  // is then marked, so that Logged() shows what came after.
  void Open() {
    scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbOpened)));
    ASSERT_EQ(XdbRuntimeStart(), 0);
    ASSERT_EQ(XdbCreateMaster(), 0);
    ASSERT_EQ(XdbOpenDatabase(kDatabasePath), kXdbOpened);
    Mark();
  }

  void Mark() { mark_ = scripted_->Calls().size(); }

  // The calls since the mark, as text.
  std::vector<std::string> Logged() const {
    std::vector<std::string> texts = scripted_->CallTexts();
    return std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(mark_), texts.end());
  }

  // The calls since the mark.
  std::vector<fsktest::ScriptedCall> LoggedCalls() const {
    const auto& calls = scripted_->Calls();
    return std::vector<fsktest::ScriptedCall>(calls.begin() + static_cast<std::ptrdiff_t>(mark_), calls.end());
  }

  // A set from a search, registered in the result cache.
  XdbResultHandle NewSet() {
    scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
    XdbResultHandle handle{};
    EXPECT_EQ(XdbSearchAll("d", &handle), 0);
    return handle;
  }

  void SetClock(double now) { now_ = now; }

  std::unique_ptr<fsktest::ScriptedDbManager> scripted_;

 private:
  size_t mark_ = 0;
  double now_ = kClockFebruary15;
  FskClock previousClock_;
};

// A script value as a number, whether the runtime holds it as an integer or
// a number; NaN for anything else.
inline double NumberOf(const ScriptedValue& value) {
  if (value.type == kFskIntegerType) {
    return static_cast<double>(value.integer);
  }
  return value.type == kFskNumberType ? value.number : std::nan("");
}

}  // namespace xdbtest
