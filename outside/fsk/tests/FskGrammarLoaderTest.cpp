#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/Grammar.h"
#include "outside/fsk/tests/FskTestMachine.h"

namespace {

using fsk::Value;

class FskGrammarLoader : public FskTestMachine {
 protected:
  void UseFixture(const std::string& name) {
    SetEnv("KAVO_GRAMMAR_DIR", std::string(FSK_FIXTURE_GRAMMARS) + "/" + name);
  }

  Value Entry(int32_t index) { return fsk::GetAt(the_, fsk::Get(the_, fsk::Global(the_), "@"), index); }

  void ExpectFlags(const Value& holder, FskID id) {
    int32_t flag = 0;
    int32_t attributes = 0;
    fxPushSlot(the_, &holder.Slot());
    ASSERT_TRUE(fxGetPropertyFlags(the_, id, &flag, &attributes));
    EXPECT_EQ(flag, kGrammarNativeFlag);
    EXPECT_EQ(attributes, kGrammarNativeAttributes);
  }
};

TEST_F(FskGrammarLoader, RowsBecomeFunctionsConstructorsAndHostObjects) {
  UseFixture("good");
  ASSERT_EQ(FskLoadGrammar(the_, "CatalogGrammar"), 0) << trace_;

  Value f0 = Entry(0);
  EXPECT_TRUE(fxIsFunction(the_, &f0.Slot()));
  EXPECT_FALSE(fxIsConstructor(the_, &f0.Slot()));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, f0, "length")), 2);
  Value c1 = Entry(1);
  EXPECT_TRUE(fxIsConstructor(the_, &c1.Slot()));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, c1, "length")), 1);
  Value h2 = Entry(2);
  EXPECT_TRUE(fxIsHostObject(the_, &h2.Slot()));
  EXPECT_FALSE(fxIsFunction(the_, &h2.Slot()));
  EXPECT_TRUE(Entry(3).IsUndefined());
  Value f4 = Entry(4);
  EXPECT_TRUE(fxIsFunction(the_, &f4.Slot()));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, f4, "length")), 0);

  ExpectFlags(fsk::Global(the_), fxID(the_, "@"));
  Value table = fsk::Get(the_, fsk::Global(the_), "@");
  for (int32_t index : {0, 1, 2, 4}) {
    ExpectFlags(table, index);
  }
  fxPushSlot(the_, &table.Slot());
  EXPECT_FALSE(fxHasOwnID(the_, 3));
}

TEST_F(FskGrammarLoader, TheProgramBindsNativesAndConstants) {
  UseFixture("good");
  ASSERT_EQ(FskLoadGrammar(the_, "CatalogGrammar"), 0) << trace_;

  Value fixture = fsk::GetPath(the_, "fixture");
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Call(the_, fixture, "f0", 1, 2, 3)), 3);
  Value instance = fsk::New(the_, fixture, "Maker");
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Get(the_, instance, "made")));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, instance, fsk::GetPath(the_, "fixture.base")));
  EXPECT_TRUE(fxIsHostObject(the_, &instance.Slot()));
  Value base = fsk::GetPath(the_, "fixture.base");
  EXPECT_TRUE(fxIsHostObject(the_, &base.Slot()));
  EXPECT_TRUE(fsk::GetPath(the_, "fixture.none").IsUndefined());

  Value answer = fsk::GetPath(the_, "fixture.answer");
  EXPECT_EQ(answer.Type(), kFskIntegerType);
  EXPECT_EQ(fsk::ToInteger(the_, answer), 42);
  Value ratio = fsk::GetPath(the_, "fixture.ratio");
  EXPECT_EQ(ratio.Type(), kFskNumberType);
  EXPECT_EQ(fsk::ToNumber(the_, ratio), -1.5);
  EXPECT_EQ(fsk::ToString(the_, fsk::GetPath(the_, "fixture.label")), "say \"hi\"");
}

TEST_F(FskGrammarLoader, AGrammarMachineStartsWithTheGrammarsSymbols) {
  UseFixture("good");
  FskMachine* machine = nullptr;
  ASSERT_EQ(FskNewGrammarMachine("grammar", {"CatalogGrammar"}, &machine), 0) << trace_;
  EXPECT_EQ(fxFindID(machine, "fixture"), FskSymbolID(0));
  EXPECT_EQ(fxFindID(machine, "@"), FskSymbolID(5));
  EXPECT_EQ(fxFindID(machine, "label"), FskSymbolID(10));
  EXPECT_LT(fxFindID(machine, "length"), FskSymbolID(10));
  fxDeleteMachine(machine);
}

TEST_F(FskGrammarLoader, AnEmptySymbolTableIsTwoBytes) {
  std::vector<std::string> names{"left over"};
  const char empty[2] = {0, 0};
  EXPECT_EQ(FskParseSymbolTable(empty, 2, &names), 0);
  EXPECT_TRUE(names.empty());
  UseFixture("empty");
  EXPECT_EQ(FskLoadGrammar(the_, "CatalogGrammar"), 0) << trace_;
  Value table = fsk::Get(the_, fsk::Global(the_), "@");
  EXPECT_TRUE(table.IsObject());
}

struct TableCase {
  const char* label;
  std::string bytes;
  uint32_t size;
  FskErr expected;
  std::vector<std::string> names;
};

TEST_F(FskGrammarLoader, SymbolTablesAreReadWithinTheirSize) {
  const TableCase cases[] = {
      {"two names", std::string("\x00\x02" "ab\0c\0", 7), 7, 0, {"ab", "c"}},
      {"empty name", std::string("\x00\x01\0", 3), 3, 0, {""}},
      {"count past size", std::string("\x00\x03" "ab\0c\0", 7), 7, kFskErrGrammarInvalid, {}},
      {"unterminated", std::string("\x00\x01" "abc\0", 6), 5, kFskErrGrammarInvalid, {}},
      {"bytes after the names", std::string("\x00\x01" "a\0zz", 6), 6, kFskErrGrammarInvalid, {}},
      {"shorter than the count", std::string("\x00", 1), 1, kFskErrGrammarInvalid, {}},
  };
  for (const TableCase& test : cases) {
    std::vector<std::string> names;
    EXPECT_EQ(FskParseSymbolTable(test.bytes.data(), test.size, &names), test.expected) << test.label;
    EXPECT_EQ(names, test.names) << test.label;
  }
  std::vector<std::string> names;
  EXPECT_EQ(FskParseSymbolTable(nullptr, 2, &names), kFskErrGrammarInvalid);
}

struct RefusalCase {
  const char* fixture;
  FskErr expected;
  const char* reason;
};

TEST_F(FskGrammarLoader, MalformedGrammarsAreRefusedAndReported) {
  const RefusalCase cases[] = {
      {"overrun", kFskErrGrammarInvalid, "malformed symbol table"},
      {"unterminated", kFskErrGrammarInvalid, "malformed symbol table"},
      {"norecord", kFskErrGrammarInvalid, "has no fskGrammar"},
      {"wrongname", kFskErrGrammarInvalid, "names another grammar"},
      {"badprogram", kFskErrGrammarInvalid, "\"unlisted\" is not in the symbol table"},
      {"missing", kFskErrGrammarMissing, "no library"},
  };
  for (const RefusalCase& test : cases) {
    trace_.clear();
    UseFixture(test.fixture);
    EXPECT_EQ(FskLoadGrammar(the_, "CatalogGrammar"), test.expected) << test.fixture;
    EXPECT_EQ(trace_.rfind("# grammar CatalogGrammar: ", 0), 0u) << trace_;
    EXPECT_NE(trace_.find(test.reason), std::string::npos) << trace_;
    char code[16];
    std::snprintf(code, sizeof code, "(0x%04X)\n", static_cast<unsigned>(test.expected));
    EXPECT_NE(trace_.find(code), std::string::npos) << trace_;
  }
}

TEST_F(FskGrammarLoader, OnlyTheTwoGrammarsAreLoaded) {
  UseFixture("good");
  EXPECT_EQ(FskLoadGrammar(the_, "OtherGrammar"), kFskErrGrammarInvalid);
  EXPECT_EQ(FskLoadGrammar(the_, "../good/CatalogGrammar"), kFskErrGrammarInvalid);
}

TEST_F(FskGrammarLoader, AFailedGrammarMachineIsNotMade) {
  UseFixture("badprogram");
  FskMachine* machine = reinterpret_cast<FskMachine*>(1);
  EXPECT_EQ(FskNewGrammarMachine("grammar", {"CatalogGrammar"}, &machine), kFskErrGrammarInvalid);
  EXPECT_EQ(machine, nullptr);
  UseFixture("good");
  EXPECT_EQ(FskNewGrammarMachine("grammar", {"CatalogGrammar", "CatalogGrammarExt"}, &machine),
            kFskErrGrammarMissing);
  EXPECT_EQ(machine, nullptr);
}

TEST_F(FskGrammarLoader, TheFolderIsTheProgramsUnlessSet) {
  SetEnv("KAVO_GRAMMAR_DIR", "");
  char exe[4096] = {};
  ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(length, 0);
  std::string program(exe, static_cast<size_t>(length));
  EXPECT_EQ(FskGrammarFolder(), program.substr(0, program.rfind('/') + 1));
  SetEnv("KAVO_GRAMMAR_DIR", "/some/where");
  EXPECT_EQ(FskGrammarFolder(), "/some/where");
}

}  // namespace
