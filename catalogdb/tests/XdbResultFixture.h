#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "catalogdb/grammar/CatalogSlotBlock.h"
#include "catalogdb/include/CatalogResultBits.h"
#include "catalogdb/tests/XdbNativeFixture.h"

namespace xdbtest {

// Sorting arrays, contents, bitmaps and result objects made through the
// runtime, with a result object played by closures: build(n) fills a fresh
// _Content through buildAux, invalidate() drops contents and adjust(n) calls
// the data's adjust. The database answers from the maps below.
class XdbResultFixture : public XdbNativeFixture {
 protected:
  // An ID beyond every array in the tests: it ranks -1.
  static constexpr int64_t kBeyond = INT32_MAX;

  void SetUp() override {
    XdbNativeFixture::SetUp();
    database_ = MakeDatabase();
    fsk::Set(the_, Path("xdb"), "Result",
             fsk::NewConstructor(
                 the_,
                 [this](FskMachine*, const fsk::Value& self, const std::vector<fsk::Value>& arguments) {
                   fsk::Value database = arguments.empty() ? fsk::Value() : arguments[0];
                   MakeResult(self, fsk::New(the_, Path("xdb.result"), "_Result", 0), database);
                   return fsk::Value();
                 },
                 1, Path("xdb.result")));
  }

  fsk::Value NewSortingArray(int64_t length) { return fsk::New(the_, Path("xdbBtree"), "SortingArray", length); }

  // The rank of id through compare.
  int64_t Rank(const fsk::Value& array, int64_t id) {
    return Integer(fsk::Call(the_, array, "compare", id, kBeyond)) - 1;
  }

  fsk::Value NewContent(int64_t length) { return fsk::New(the_, Path("xdb.result"), "_Content", length); }

  CatalogSlots SlotsOf(const fsk::Value& object) {
    return CatalogSlotsOfBlock(fxGetHostData(the_, &object.Slot()));
  }

  std::vector<int32_t> Slots(const fsk::Value& object) {
    CatalogSlots slots = SlotsOf(object);
    return std::vector<int32_t>(slots.slots, slots.slots + slots.length);
  }

  fsk::Value ContentWith(const std::vector<int32_t>& ids) {
    fsk::Value content = NewContent(static_cast<int64_t>(ids.size()));
    CatalogSlots slots = SlotsOf(content);
    std::copy(ids.begin(), ids.end(), slots.slots);
    return content;
  }

  // A sorting array whose slot id holds ranks[id].
  fsk::Value ArrayWith(const std::vector<int32_t>& ranks) {
    fsk::Value array = NewSortingArray(static_cast<int64_t>(ranks.size()));
    CatalogSlots slots = SlotsOf(array);
    std::copy(ranks.begin(), ranks.end(), slots.slots);
    return array;
  }

  fsk::Value NewBits(int64_t maxID) { return fsk::New(the_, Path("xdb.result"), "_Result", maxID); }

  CatalogResultBits& BitsOf(const fsk::Value& data) {
    return *static_cast<CatalogResultBits*>(fxGetHostData(the_, &data.Slot()));
  }

  // The words that cover 0 to maxID.
  std::vector<uint32_t> Words(const fsk::Value& data) {
    const CatalogResultBits& bits = BitsOf(data);
    return std::vector<uint32_t>(bits.bits, bits.bits + bits.maxID / 32 + 1);
  }

  void SetWords(const fsk::Value& data, const std::vector<uint32_t>& words) {
    std::copy(words.begin(), words.end(), BitsOf(data).bits);
  }

  // A result object over data, answering to database_.
  fsk::Value NewResult(const fsk::Value& data) {
    fsk::Value result = fsk::NewInstanceOf(the_, Path("xdb.result"));
    MakeResult(result, data, database_);
    return result;
  }

  fsk::Value ResultWith(int64_t maxID, const std::vector<int32_t>& ids) {
    fsk::Value result = NewResult(NewBits(maxID));
    for (int32_t id : ids) {
      fsk::Call(the_, result, "addID", id);
    }
    return result;
  }

  // The IDs of result's contents after build.
  std::vector<int32_t> ContentIDs(const fsk::Value& result) { return Slots(fsk::Get(the_, result, "contents")); }

  int64_t Count(const fsk::Value& result) { return Integer(fsk::Call(the_, result, "count")); }

  // What the database answers for a key.
  std::map<std::string, fsk::Value> sortingArrays_;
  std::map<std::string, int64_t> sortingOrders_;
  int invalidations_ = 0;
  fsk::Value database_;

 private:
  void MakeResult(const fsk::Value& result, const fsk::Value& data, const fsk::Value& database) {
    fsk::Set(the_, result, "data", data);
    fsk::Set(the_, result, "database", database);
    fsk::Set(the_, result, "db", database);
    fsk::Set(the_, result, "build",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value& self, const std::vector<fsk::Value>&) {
                   fsk::Value content = NewContent(Count(self));
                   fsk::Call(the_, self, "buildAux", content);
                   fsk::Set(the_, self, "contents", content);
                   return fsk::Value();
                 },
                 1));
    fsk::Set(the_, result, "invalidate",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value& self, const std::vector<fsk::Value>&) {
                   ++invalidations_;
                   fsk::Set(the_, self, "contents", fsk::Value());
                   return fsk::Value();
                 },
                 0));
    fsk::Set(the_, result, "adjust",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value& self, const std::vector<fsk::Value>& arguments) {
                   return fsk::Call(the_, fsk::Get(the_, self, "data"), "adjust", arguments.at(0));
                 },
                 1));
  }

  fsk::Value MakeDatabase() {
    fsk::Value database = fsk::NewObject(the_);
    fsk::Set(the_, database, "getSortingArray",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
                   auto found = sortingArrays_.find(fsk::ToString(the_, arguments.at(0)));
                   return found == sortingArrays_.end() ? fsk::Value::Null() : found->second;
                 },
                 1));
    fsk::Set(the_, database, "getSortingOrder",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
                   auto found = sortingOrders_.find(fsk::ToString(the_, arguments.at(0)));
                   return fsk::Value::Integer(found == sortingOrders_.end() ? 1 : found->second);
                 },
                 1));
    fsk::Set(the_, database, "getRecord",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
                   fsk::Value record = fsk::NewObject(the_);
                   fsk::Set(the_, record, "id", arguments.at(0));
                   fsk::Set(the_, record, "selected", fsk::Value::Boolean(true));
                   return record;
                 },
                 1));
    return database;
  }
};

}  // namespace xdbtest
