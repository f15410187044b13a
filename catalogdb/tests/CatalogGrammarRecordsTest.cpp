#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/common/CatalogPlaceholderNative.h"
#include "catalogdb/grammar/CatalogGrammarTable.h"
#include "catalogdb/grammarext/CatalogGrammarExtTable.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "fsk/FskScript.h"
#include "fsk/FskTrace.h"
#include "fsk/Grammar.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using fsk::Value;
namespace names = CatalogGrammarNames;

// Rows whose natives are still placeholders: none.
const std::vector<int> kCatalogGrammarRowsToBuild;
const std::vector<int> kCatalogGrammarExtRowsToBuild;

class CatalogGrammarRecords : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    previousSink_ = FskSetTraceSink([this](std::string_view text) { trace_ += text; });
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << trace_;
    the_ = machine_->Machine();
    fxBeginHost(the_);
  }

  void TearDown() override {
    machine_.reset();
    FskSetTraceSink(std::move(previousSink_));
    HermeticTest::TearDown();
  }

  static const GrammarRecord* Record(const std::string& name) {
    std::string path = FskGrammarFolder() + "/lib" + name + ".so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
      return nullptr;
    }
    void* symbol = dlsym(library, kGrammarRecordSymbol);
    return symbol != nullptr ? *static_cast<const GrammarRecord* const*>(symbol) : nullptr;
  }

  static std::vector<std::string> Symbols(const GrammarRecord* record) {
    std::vector<std::string> symbols;
    EXPECT_EQ(FskParseSymbolTable(record->symbols, record->symbolsSize, &symbols), 0);
    return symbols;
  }

  Value Path(const char* path) { return fsk::GetPath(the_, path); }

  bool SameObject(const Value& a, const Value& b) {
    uint32_t left[4];
    uint32_t right[4];
    fxGetValueRecord(the_, &a.Slot(), left);
    fxGetValueRecord(the_, &b.Slot(), right);
    return a.IsObject() && std::memcmp(left, right, sizeof left) == 0;
  }

  FskMachine* the_ = nullptr;
  std::string trace_;

 private:
  std::unique_ptr<fsktest::GrammarMachine> machine_;
  FskTraceSink previousSink_;
};

TEST_F(CatalogGrammarRecords, RecordsNameTheirGrammarAndSymbols) {
  const GrammarRecord* grammar = Record("CatalogGrammar");
  const GrammarRecord* ext = Record("CatalogGrammarExt");
  ASSERT_NE(grammar, nullptr);
  ASSERT_NE(ext, nullptr);
  EXPECT_STREQ(grammar->name, "CatalogGrammar");
  EXPECT_STREQ(ext->name, "CatalogGrammarExt");

  std::vector<std::string> symbols = Symbols(grammar);
  ASSERT_GE(symbols.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(symbols.begin(), symbols.begin() + 6),
            (std::vector<std::string>{"Object", "xdbAtom", "signatureIO", "@", "parse", "serialize"}));
  std::vector<std::string> extSymbols = Symbols(ext);
  ASSERT_GT(extSymbols.size(), 32u);
  EXPECT_EQ(extSymbols[32], "@");
  EXPECT_GT(grammar->codeSize, 0u);
  EXPECT_GT(ext->codeSize, 0u);

  // The machine's symbols start with CatalogGrammar's.
  EXPECT_EQ(fxFindID(the_, "Object"), FskSymbolID(0));
  EXPECT_EQ(fxFindID(the_, "@"), FskSymbolID(3));
}

TEST_F(CatalogGrammarRecords, EveryRowIsInTheNativeTable) {
  // The machine holds CatalogGrammarExt's "@", loaded last.
  Value table = Path("@");
  EXPECT_FALSE(fsk::GetAt(the_, table, 55).IsUndefined());
  EXPECT_TRUE(fsk::GetAt(the_, table, 56).IsUndefined());

  FskMachine* alone = nullptr;
  ASSERT_EQ(FskNewGrammarMachine("alone", {"CatalogGrammar"}, &alone), 0) << trace_;
  {
    fsk::HostBracket bracket(alone);
    Value grammarTable = fsk::GetPath(alone, "@");
    EXPECT_FALSE(fsk::GetAt(alone, grammarTable, 112).IsUndefined());
    EXPECT_TRUE(fsk::GetAt(alone, grammarTable, 113).IsUndefined());
  }
  fxDeleteMachine(alone);
}

struct RowCase {
  bool ext;
  int row;
  int16_t kind;
  int16_t argc;
};

TEST_F(CatalogGrammarRecords, RowsHaveTheirKindsAndCounts) {
  const RowCase cases[] = {
      {false, 13, kNativeConstructor, 1}, {false, 22, kNativeFunction, 3},
      {false, 46, kNativeFunction, 4},    {false, 62, kNativeConstructor, 5},
      {false, 96, kNativeConstructor, 0}, {false, 97, kNativeHostObject, 0},
      {false, 2, kNativeHostObject, 0},   {false, 110, kNativeFunction, 1},
      {true, 38, kNativeFunction, 5},     {true, 46, kNativeFunction, 10},
      {true, 47, kNativeFunction, 7},     {true, 0, kNativeFunction, 1},
  };
  FskMachine* alone = nullptr;
  ASSERT_EQ(FskNewGrammarMachine("alone", {"CatalogGrammar"}, &alone), 0) << trace_;
  for (const RowCase& test : cases) {
    const NativeRow& row = test.ext ? kCatalogGrammarExtRows[test.row] : kCatalogGrammarRows[test.row];
    EXPECT_EQ(row.kind, test.kind) << test.row;
    EXPECT_EQ(row.argc, test.argc) << test.row;

    FskMachine* machine = test.ext ? the_ : alone;
    fsk::HostBracket bracket(machine);
    Value entry = fsk::GetAt(machine, fsk::GetPath(machine, "@"), test.row);
    if (test.kind == kNativeHostObject) {
      EXPECT_TRUE(fxIsHostObject(machine, &entry.Slot())) << test.row;
      continue;
    }
    EXPECT_EQ(fxIsConstructor(machine, &entry.Slot()), test.kind == kNativeConstructor) << test.row;
    EXPECT_EQ(fsk::ToInteger(machine, fsk::Get(machine, entry, "length")), test.argc) << test.row;
  }
  fxDeleteMachine(alone);
}

struct ConstantCase {
  const char* path;
  int64_t value;
};

TEST_F(CatalogGrammarRecords, ConstantsAreDefined) {
  const ConstantCase cases[] = {
      {"xdb.integerIndex", 64},
      {"xdb.atomSize", 12},
      {"xdb.littleEndianOrdering", 4},
      {"xdb.descending", -1},
      {"xdb.rawAtom.type", 0x52415740},
      {"xdb.database.defaultSize", 64},
      {"xdbBtree.index.pageSize", -1},
      {"xdb.primary.cacheSize", 2},
      {"xdb.primary.defaultSize", 1024},
      {"CatalogGrammarExt.OVERWRITE", 1},
      {"CatalogGrammarExt.CREATE_LACKFILES", 2},
      {"CatalogGrammarExt.ILLEGAL_DB", 1001},
      {"CatalogGrammarExt.ILLEGAL_ID", 1002},
      {"CatalogGrammarExt.NOSUPPORT", 1003},
      {"CatalogGrammarExt.ILLEGAL_OPERATION", 1004},
      {"CatalogGrammarExt.DIRTY", 1005},
      {"CatalogGrammarExt.ID_LIMIT", 1006},
      {"CatalogGrammarExt.LACKFILES", 1007},
      {"CatalogGrammarExt.ILLEGAL_BACKUP", 1008},
      {"CatalogGrammarExt.limitID", 40000},
      {"CatalogGrammarExt.helper.version", 10000},
      {"CatalogGrammarExt.dcfIndex.filesCount", 400},
      {"CatalogGrammarExt.dateIndex.yearOffset", 1970},
  };
  for (const ConstantCase& test : cases) {
    Value value = Path(test.path);
    EXPECT_EQ(value.Type(), kFskIntegerType) << test.path;
    EXPECT_EQ(fsk::ToInteger(the_, value), test.value) << test.path;
  }
}

TEST_F(CatalogGrammarRecords, ObjectPathsAndPrototypes) {
  const char* objects[] = {
      names::kSignatureIO, names::kXdbAtom, names::kAtom, names::kXdb, names::kAtomFile, names::kRawAtom,
      names::kRawZAtom, names::kXmlAtom, names::kXmlZAtom, names::kFreeAtom, names::kFreelist, names::kPrimary,
      names::kSecondaries, names::kDatabase, names::kResult, names::kResultContent, names::kResultBits,
      names::kResultBitmap, names::kXdbBtree, names::kDefaultPage, names::kOverflowPage, names::kIndex,
      names::kSortingArray, names::kExt, names::kExtCache, names::kExtCacheLine, names::kExtBlockTableFile,
      names::kExtBlock, names::kExtIndex, names::kExtIdsIndex, names::kExtIdsSector, names::kExtBitmapIndex,
      names::kExtDcfIndex, names::kExtDcfFiles, names::kExtDateIndex, names::kExtDatabaseID, names::kExtData,
      names::kExtHelper, names::kExtField, names::kExtDateField, names::kExtDatabase,
  };
  for (const char* path : objects) {
    EXPECT_TRUE(Path(path).IsObject()) << path;
  }
  struct Construction {
    const char* constructor;
    const char* prototype;
  };
  const Construction constructions[] = {
      {names::kAtomFromFile, names::kAtom},
      {names::kRawAtomConstructor, names::kRawAtom},
      {names::kRawZAtomConstructor, names::kRawZAtom},
      {names::kXmlAtomConstructor, names::kXmlAtom},
      {names::kXmlZAtomConstructor, names::kXmlZAtom},
      {names::kIntegerPage, names::kDefaultPage},
      {names::kNumberPage, names::kDefaultPage},
      {names::kStringPage, names::kDefaultPage},
      {names::kOverflowPageConstructor, names::kOverflowPage},
      {names::kSortingArrayConstructor, names::kSortingArray},
      {names::kResultContentConstructor, names::kResultContent},
      {names::kResultBitsConstructor, names::kResultBits},
      {names::kResultBitmapConstructor, names::kResultBitmap},
  };
  for (const Construction& test : constructions) {
    Value constructor = Path(test.constructor);
    EXPECT_TRUE(fxIsConstructor(the_, &constructor.Slot())) << test.constructor;
    EXPECT_TRUE(SameObject(fsk::Get(the_, constructor, "prototype"), Path(test.prototype))) << test.constructor;
  }

  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kIndex), Path(names::kAtomFile)));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kDatabase), Path(names::kAtomFile)));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kPrimary), Path(names::kIndex)));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kOverflowPage), Path(names::kDefaultPage)));
  Value overflowPage = Path(names::kOverflowPage);
  EXPECT_TRUE(fxIsHostObject(the_, &overflowPage.Slot()));
  Value rawAtom = Path(names::kRawAtom);
  EXPECT_TRUE(fxIsHostObject(the_, &rawAtom.Slot()));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kExtIdsIndex), Path(names::kExtBlockTableFile)));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, Path(names::kExtHelper), Path(names::kExtBlockTableFile)));
  for (const char* conversion : {names::kUtcToLocal, names::kLocalToUTC, names::kUtcToUTCDate}) {
    Value function = Path(conversion);
    EXPECT_TRUE(fxIsFunction(the_, &function.Slot())) << conversion;
  }
}

std::vector<int> PlaceholderRows(const NativeRow* rows, size_t count) {
  std::vector<int> placeholders;
  for (size_t row = 0; row < count; ++row) {
    if (CatalogIsPlaceholder(rows[row])) {
      placeholders.push_back(static_cast<int>(row));
    }
  }
  return placeholders;
}

std::string Listing(const std::vector<int>& rows) {
  std::string text;
  for (int row : rows) {
    text += (text.empty() ? "" : " ") + std::to_string(row);
  }
  return text;
}

TEST_F(CatalogGrammarRecords, PlaceholderRowsAreTheRowsStillToBuild) {
  std::vector<int> grammar = PlaceholderRows(kCatalogGrammarRows, kCatalogGrammarRowCount);
  std::vector<int> ext = PlaceholderRows(kCatalogGrammarExtRows, kCatalogGrammarExtRowCount);
  RecordProperty("CatalogGrammarPlaceholders", Listing(grammar));
  RecordProperty("CatalogGrammarExtPlaceholders", Listing(ext));
  EXPECT_EQ(grammar, kCatalogGrammarRowsToBuild);
  EXPECT_EQ(ext, kCatalogGrammarExtRowsToBuild);

  // Calling a placeholder raises ENOSYS.
  Value table = Path("@");
  for (int row : ext) {
    Value entry = fsk::GetAt(the_, table, row);
    try {
      fsk::CallFunction(the_, entry, Value(), {});
      ADD_FAILURE() << row << " did not raise";
    } catch (const FskException& error) {
      EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, Value(error.Value()), "code")), ENOSYS) << row;
    }
  }
}

TEST_F(CatalogGrammarRecords, TheExtGrammarLoadsAlone) {
  FskMachine* alone = nullptr;
  EXPECT_EQ(FskNewGrammarMachine("alone", {"CatalogGrammarExt"}, &alone), 0) << trace_;
  EXPECT_NE(alone, nullptr);
  fxDeleteMachine(alone);
}

}  // namespace
