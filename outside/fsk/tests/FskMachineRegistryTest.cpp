#include <string>

#include <gtest/gtest.h>

#include "fsk/FskMain.h"
#include "fsk/FskScript.h"
#include "fsk/FskTrace.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using fsk::Value;

int gDestructions = 0;
void CountDestruction(void*) { ++gDestructions; }

// A machine holding a host object in a cycle.
FskErr MakeCountedMachine(const char* name, FskMachine** out) {
  FskMachine* the = fxNewMachine(name);
  fsk::HostBracket bracket(the);
  fxNewHostObject(the, CountDestruction);
  Value host;
  fxPop(the, &host.Slot());
  Value peer = fsk::NewObject(the);
  fsk::Set(the, host, "peer", peer);
  fsk::Set(the, peer, "peer", host);
  *out = the;
  return 0;
}

class FskMachineRegistry : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    previousSink_ = FskSetTraceSink([this](std::string_view text) { trace_ += text; });
    savedDbManager_ = FskRegisterMachineFactory("dbManager", nullptr);
    FskRegisterMachineFactory("dbManager", savedDbManager_);
  }

  void TearDown() override {
    FskMainReset();
    FskRegisterMachineFactory("dbManager", savedDbManager_);
    FskRegisterMachineFactory("counted", nullptr);
    FskRegisterMachineFactory("failing", nullptr);
    FskSetTraceSink(std::move(previousSink_));
    HermeticTest::TearDown();
  }

  std::string trace_;

 private:
  FskTraceSink previousSink_;
  FskMachineFactory savedDbManager_;
};

TEST_F(FskMachineRegistry, FindingBeforeInitialisationFails) {
  FskECMAScript vm = reinterpret_cast<FskECMAScript>(1);
  EXPECT_NE(FskECMAScriptFindByName("dbManager", &vm), 0);
  EXPECT_EQ(vm, nullptr);
  EXPECT_EQ(FskMainTerminate(), static_cast<FskErr>(kXpErrWrongState));
}

TEST_F(FskMachineRegistry, AnUnregisteredNameGivesNoMachine) {
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  FskRegisterMachineFactory("dbManager", nullptr);
  FskECMAScript vm = reinterpret_cast<FskECMAScript>(1);
  EXPECT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0);
  EXPECT_EQ(vm, nullptr);
  EXPECT_EQ(FskECMAScriptGetXSMachine(vm), nullptr);
  EXPECT_EQ(FskECMAScriptFindByName("nothing", &vm), 0);
  EXPECT_EQ(vm, nullptr);
  EXPECT_EQ(FskMainTerminate(), 0);
}

TEST_F(FskMachineRegistry, AMissingGrammarGivesItsCode) {
  SetEnv("KAVO_GRAMMAR_DIR", Dir("no-grammars").string());
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  FskECMAScript vm = nullptr;
  EXPECT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0x8105);
  EXPECT_EQ(vm, nullptr);
  EXPECT_NE(trace_.find("# grammar CatalogGrammar: no library"), std::string::npos) << trace_;
  EXPECT_EQ(FskMainTerminate(), 0);
}

TEST_F(FskMachineRegistry, AFailingFactoryGivesItsCode) {
  FskRegisterMachineFactory("failing", [](const char*, FskMachine** out) {
    *out = nullptr;
    return static_cast<FskErr>(kXpErrOutOfMemory);
  });
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  FskECMAScript vm = nullptr;
  EXPECT_EQ(FskECMAScriptFindByName("failing", &vm), static_cast<FskErr>(kXpErrOutOfMemory));
  EXPECT_EQ(vm, nullptr);
  EXPECT_EQ(FskMainTerminate(), 0);
}

TEST_F(FskMachineRegistry, MachinesLiveUntilTheLastTerminate) {
  gDestructions = 0;
  FskRegisterMachineFactory("counted", MakeCountedMachine);
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  FskECMAScript vm = nullptr;
  ASSERT_EQ(FskECMAScriptFindByName("counted", &vm), 0);
  FskMachine* machine = FskECMAScriptGetXSMachine(vm);
  ASSERT_NE(machine, nullptr);
  EXPECT_STREQ(fxMachineName(machine), "counted");
  FskECMAScript again = nullptr;
  ASSERT_EQ(FskECMAScriptFindByName("counted", &again), 0);
  EXPECT_EQ(FskECMAScriptGetXSMachine(again), machine);

  EXPECT_EQ(FskMainTerminate(), 0);
  EXPECT_EQ(gDestructions, 0);
  ASSERT_EQ(FskECMAScriptFindByName("counted", &again), 0);
  EXPECT_EQ(FskECMAScriptGetXSMachine(again), machine);

  EXPECT_EQ(FskMainTerminate(), 0);
  EXPECT_EQ(gDestructions, 1);
  EXPECT_EQ(FskMainTerminate(), static_cast<FskErr>(kXpErrWrongState));
  EXPECT_NE(FskECMAScriptFindByName("counted", &again), 0);
}

TEST_F(FskMachineRegistry, RegisteringReturnsThePreviousFactory) {
  FskMachineFactory none = FskRegisterMachineFactory("counted", MakeCountedMachine);
  EXPECT_FALSE(none);
  FskMachineFactory previous = FskRegisterMachineFactory("counted", nullptr);
  ASSERT_TRUE(previous);
  FskMachine* machine = nullptr;
  EXPECT_EQ(previous("direct", &machine), 0);
  ASSERT_NE(machine, nullptr);
  fxDeleteMachine(machine);
}

}  // namespace
