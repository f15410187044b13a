#pragma once

#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "fsk/FskTrace.h"
#include "platform/testsupport/HermeticTest.h"

// A hermetic test with a fresh machine, a host bracket open on it and the
// trace sink captured.
class FskTestMachine : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    previousSink_ = FskSetTraceSink([this](std::string_view text) { trace_ += text; });
    the_ = fxNewMachine("test");
    fxBeginHost(the_);
  }

  void TearDown() override {
    fxDeleteMachine(the_);
    the_ = nullptr;
    FskSetTraceSink(std::move(previousSink_));
    HermeticTest::TearDown();
  }

  FskMachine* the_ = nullptr;
  std::string trace_;

 private:
  FskTraceSink previousSink_;
};
