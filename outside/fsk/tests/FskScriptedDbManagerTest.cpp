#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMain.h"
#include "fsk/FskScript.h"
#include "outside/fsk/testsupport/FskScriptedDbManager.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using fsk::Value;
using fsktest::ScriptedAnswer;
using fsktest::ScriptedValue;

class FskScriptedDbManager : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    scripted_ = std::make_unique<fsktest::ScriptedDbManager>();
  }

  void TearDown() override {
    scripted_.reset();
    FskMainReset();
    HermeticTest::TearDown();
  }

  FskMachine* Start() {
    EXPECT_EQ(FskMainInitialize(3, 0, nullptr), 0);
    FskECMAScript vm = nullptr;
    EXPECT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0);
    FskMachine* the = FskECMAScriptGetXSMachine(vm);
    EXPECT_NE(the, nullptr);
    EXPECT_EQ(the, scripted_->Machine());
    return the;
  }

  Value NewMaster(FskMachine* the) { return fsk::New(the, fsk::GetPath(the, "dbManager"), "Master"); }

  std::unique_ptr<fsktest::ScriptedDbManager> scripted_;
};

TEST_F(FskScriptedDbManager, OpenAnswersAndIsLogged) {
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(350)));
  FskMachine* the = Start();
  FskSlot master;
  {
    fsk::HostBracket bracket(the);
    master = NewMaster(the).Slot();
    Value result = fsk::Call(the, Value(master), "open", "/t/DBFILES/", nullptr);
    EXPECT_EQ(fsk::ToInteger(the, result), 350);
  }
  fxRemember(the, &master);
  fxRemember(the, &master);
  EXPECT_EQ(scripted_->RememberedCount(), 1);

  ASSERT_EQ(scripted_->Calls().size(), 2u);
  EXPECT_EQ(scripted_->Calls()[0].receiver, "dbManager");
  EXPECT_EQ(scripted_->Calls()[0].method, "new Master");
  const fsktest::ScriptedCall& open = scripted_->Calls()[1];
  EXPECT_EQ(open.receiver, "master#1");
  EXPECT_EQ(open.Text(), "open(\"/t/DBFILES/\", null)");
  ASSERT_EQ(open.arguments.size(), 2u);
  EXPECT_EQ(open.arguments[0], ScriptedValue::String("/t/DBFILES/"));
  EXPECT_EQ(open.arguments[1].type, kFskNullType);

  fxForget(the, &master);
  EXPECT_EQ(scripted_->RememberedCount(), 0);
  EXPECT_EQ(FskMainTerminate(), 0);
  EXPECT_EQ(scripted_->Machine(), nullptr);
}

TEST_F(FskScriptedDbManager, AnswersAreTakenInOrderThenUndefined) {
  scripted_->Answer("Master.flush", ScriptedAnswer::Return(ScriptedValue::String("first")));
  scripted_->Answer("Master.flush", ScriptedAnswer::Throw("second fails"));
  FskMachine* the = Start();
  fsk::HostBracket bracket(the);
  Value master = NewMaster(the);
  EXPECT_EQ(fsk::ToString(the, fsk::Call(the, master, "flush")), "first");
  try {
    fsk::Call(the, master, "flush");
    ADD_FAILURE() << "no exception";
  } catch (const FskException& error) {
    EXPECT_STREQ(error.what(), "Error: second fails");
  }
  EXPECT_TRUE(fsk::Call(the, master, "flush").IsUndefined());
  EXPECT_EQ(scripted_->CallTexts(), (std::vector<std::string>{"new Master()", "flush()", "flush()", "flush()"}));
}

TEST_F(FskScriptedDbManager, ConstructionsKeepTheirArguments) {
  FskMachine* the = Start();
  fsk::HostBracket bracket(the);
  Value dbManager = fsk::GetPath(the, "dbManager");
  Value content = fsk::New(the, dbManager, "ContentMaster", 1235779200000.0, 1, 2, 3, 1, 0);
  EXPECT_TRUE(fsk::IsInstanceOf(the, content, fsk::Get(the, dbManager, "contentMaster")));
  EXPECT_EQ(fsk::ToNumber(the, fsk::Get(the, content, "date")), 1235779200000.0);
  EXPECT_EQ(fsk::ToInteger(the, fsk::Get(the, content, "albumID")), 3);
  Value album = fsk::New(the, dbManager, "ContentAlbumInfo", 0.0, "Trip", 2);
  EXPECT_FALSE(fsk::IsInstanceOf(the, album, fsk::Get(the, dbManager, "contentMaster")));
  EXPECT_EQ(fsk::ToString(the, fsk::Get(the, album, "title")), "Trip");
  EXPECT_EQ(fsk::ToInteger(the, fsk::GetPath(the, "xdb.integerIndex")), 64);

  Value master = NewMaster(the);
  fsk::Call(the, master, "addPhoto", content);
  EXPECT_EQ(scripted_->CallTexts().at(0), "new ContentMaster(1235779200000.0, 1, 2, 3, 1, 0)");
  EXPECT_EQ(scripted_->CallTexts().back(), "addPhoto([ContentMaster#1])");
}

TEST_F(FskScriptedDbManager, RecordsSetsAndTheResultCache) {
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(2)));
  scripted_->Answer("set.getRecord",
                    ScriptedAnswer::ReturnObject({{"folderID", ScriptedValue::Integer(100)}}, true));
  scripted_->Answer("set.getRecord", ScriptedAnswer::ReturnObject({{"title", ScriptedValue::String("x")}}));
  FskMachine* the = Start();
  fsk::HostBracket bracket(the);
  Value master = NewMaster(the);
  Value set = fsk::Call(the, master, "search", "a", 5);
  uint32_t words[4];
  fxGetValueRecord(the, &set.Slot(), words);
  Value cache = fsk::Get(the, master, "resultCache3");
  fsk::Call(the, cache, "push", words[0], words[1], words[2], words[3], set);
  Value cached = fsk::Call(the, cache, "get", words[0], words[1], words[2], words[3]);
  uint32_t again[4];
  fxGetValueRecord(the, &cached.Slot(), again);
  EXPECT_EQ(std::memcmp(words, again, sizeof words), 0);
  EXPECT_EQ(fsk::ToInteger(the, fsk::Call(the, cached, "count")), 2);

  Value contentMaster = fsk::GetPath(the, "dbManager.contentMaster");
  Value record = fsk::Call(the, cached, "getRecord", 0);
  EXPECT_TRUE(fsk::IsInstanceOf(the, record, contentMaster));
  EXPECT_EQ(fsk::ToInteger(the, fsk::Get(the, record, "folderID")), 100);
  Value other = fsk::Call(the, cached, "getRecord", 1);
  EXPECT_FALSE(fsk::IsInstanceOf(the, other, contentMaster));

  fsk::Call(the, cache, "free", words[0], words[1], words[2], words[3]);
  EXPECT_TRUE(fsk::Call(the, cache, "get", words[0], words[1], words[2], words[3]).IsUndefined());
  const std::vector<std::string> texts = scripted_->CallTexts();
  EXPECT_EQ(texts.at(1), "search(\"a\", 5)");
  EXPECT_EQ(scripted_->Calls().at(3).receiver, "resultCache3");
  EXPECT_EQ(texts.at(4), "count()");
  EXPECT_EQ(scripted_->Calls().at(4).receiver, "set#1");
}

TEST_F(FskScriptedDbManager, ThePreviousFactoryComesBack) {
  SetEnv("KAVO_GRAMMAR_DIR", Dir("empty").string());
  scripted_.reset();
  ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
  FskECMAScript vm = nullptr;
  EXPECT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0x8105);
  EXPECT_EQ(FskMainTerminate(), 0);
}

}  // namespace
