#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbResultFixture.h"

namespace {

using fsk::Value;
using xdbtest::XdbResultFixture;

class XdbResultSort : public XdbResultFixture {
 protected:
  // Sorts result by the keys given as strings.
  void SortBy(const Value& result, const std::vector<std::string>& keys) {
    std::vector<Value> arguments;
    for (const std::string& key : keys) {
      arguments.push_back(Value::String(key));
    }
    fsk::CallMethod(the_, result, "sort", arguments);
  }

  const std::vector<int32_t> ids_ = {1, 2, 3, 4, 5, 6};
};

TEST_F(XdbResultSort, FirstKeyWithoutArrayLeavesBuildOrder) {
  sortingArrays_["date"] = ArrayWith({0, 6, 5, 4, 3, 2, 1});
  Value result = ResultWith(10, ids_);
  SortBy(result, {"missing", "date"});
  EXPECT_EQ(ContentIDs(result), ids_);
}

TEST_F(XdbResultSort, SecondKeyBreaksTiesInItsOrder) {
  // Key 1 ascending: IDs 1-3 rank 0, IDs 4-6 rank 1; key 2 descending by ID.
  sortingArrays_["album"] = ArrayWith({-1, 1, 0, 1, 0, 1, 0});
  sortingArrays_["name"] = ArrayWith({-1, 1, 2, 3, 4, 5, 6});
  sortingOrders_["name"] = -1;
  Value result = ResultWith(10, ids_);
  SortBy(result, {"album", "name"});
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{6, 4, 2, 5, 3, 1}));
  // A key that ends the list also ends it after the first key.
  SortBy(result, {"album", "missing", "name"});
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{2, 4, 6, 1, 3, 5}));
}

TEST_F(XdbResultSort, IDBeyondTheArrayRanksMinusOne) {
  // IDs 1 and 2 have ranks 5 and 0; ID 40 is beyond the array.
  sortingArrays_["date"] = ArrayWith({-1, 5, 0});
  Value result = ResultWith(50, {1, 2, 40});
  SortBy(result, {"date"});
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{40, 2, 1}));
  sortingOrders_["date"] = -1;
  SortBy(result, {"date"});
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{1, 2, 40}));
}

TEST_F(XdbResultSort, KeysAfterThe256thAreIgnored) {
  // Keys 0-254 tie everything; key 255 puts even IDs first; key 256 would
  // order the ties by descending ID.
  std::vector<std::string> keys;
  for (int key = 0; key < 300; ++key) {
    keys.push_back("k" + std::to_string(key));
    sortingArrays_[keys.back()] = ArrayWith({0, 0, 0, 0, 0, 0, 0});
  }
  sortingArrays_["k255"] = ArrayWith({0, 1, 0, 1, 0, 1, 0});
  sortingArrays_["k256"] = ArrayWith({0, 1, 2, 3, 4, 5, 6});
  sortingOrders_["k256"] = -1;
  Value result = ResultWith(10, ids_);
  SortBy(result, keys);
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{2, 4, 6, 1, 3, 5}));
  // With 257 keys in effect the last one would decide the ties.
  keys.resize(256);
  keys.push_back("k256");
  SortBy(result, std::vector<std::string>(keys.begin() + 1, keys.end()));
  EXPECT_EQ(ContentIDs(result), (std::vector<int32_t>{6, 4, 2, 5, 3, 1}));
}

TEST_F(XdbResultSort, UniqueKeepsTheFirstOfEachRank) {
  sortingArrays_["album"] = ArrayWith({-1, 3, 3, 5});
  fsk::Set(the_, database_, "marker", Value::Integer(7));
  Value result = ResultWith(10, {1, 2, 3});
  Value unique = fsk::Call(the_, result, "unique", "album");
  EXPECT_TRUE(fsk::IsInstanceOf(the_, unique, Path("xdb.result")));
  fsk::Call(the_, unique, "build", 0);
  EXPECT_EQ(ContentIDs(unique), (std::vector<int32_t>{1, 3}));
  // The new result was made with this result's database.
  EXPECT_EQ(Integer(fsk::Get(the_, fsk::Get(the_, unique, "database"), "marker")), 7);
}

TEST_F(XdbResultSort, UniqueWithoutArrayRaisesEinval) {
  Value result = ResultWith(10, {1, 2});
  EXPECT_EQ(Raised([&] { fsk::Call(the_, result, "unique", "missing"); }), EINVAL);
}

TEST_F(XdbResultSort, ClosedSortingArrayRaisesEinval) {
  Value array = ArrayWith({0, 1, 2});
  fsk::Call(the_, array, "close");
  sortingArrays_["date"] = array;
  Value result = ResultWith(10, {1, 2});
  EXPECT_EQ(Raised([&] { SortBy(result, {"date"}); }), EINVAL);
}

}  // namespace
