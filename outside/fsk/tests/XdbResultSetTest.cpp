#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbResultSet.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using fsk::Value;

// Named as the class it tests; the class itself is ::XdbResultSet here.
class XdbResultSet : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    the_ = machine_->Machine();
    bracket_ = std::make_unique<fsk::HostBracket>(the_);
    database_ = MakeDatabase();
  }

  void TearDown() override {
    sets_.clear();
    bracket_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  ::XdbResultSet& NewSet() {
    sets_.push_back(std::make_unique<::XdbResultSet>(the_, database_));
    return *sets_.back();
  }

  ::XdbResultSet& SetOf(const std::vector<int32_t>& ids) {
    ::XdbResultSet& set = NewSet();
    EXPECT_EQ(set.Create(100), kXpOk);
    for (int32_t id : ids) {
      EXPECT_EQ(set.Add(id), kXpOk) << id;
    }
    return set;
  }

  std::vector<int32_t> IDs(::XdbResultSet& set) {
    std::vector<int32_t> ids;
    for (int32_t position = 0;; ++position) {
      int32_t id = -1;
      EXPECT_EQ(set.IdAt(position, &id), kXpOk);
      if (id < 0) {
        return ids;
      }
      ids.push_back(id);
    }
  }

  int64_t CountOf(::XdbResultSet& set) {
    int64_t count = -1;
    EXPECT_EQ(set.Count(&count), kXpOk);
    return count;
  }

  // A sorting array for a key: slot id holds ranks[id].
  void AddSortingArray(const std::string& key, const std::map<int32_t, int32_t>& ranks) {
    Value array = fsk::New(the_, fsk::GetPath(the_, "xdbBtree"), "SortingArray", 0);
    for (const auto& [id, rank] : ranks) {
      fsk::Call(the_, array, "setValue", id, rank);
    }
    arrays_[key] = array;
  }

  FskMachine* the_ = nullptr;
  Value database_;
  std::map<std::string, Value> arrays_;

 private:
  Value MakeDatabase() {
    Value database = fsk::NewObject(the_);
    fsk::Set(the_, database, "getSortingArray",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const Value&, const std::vector<Value>& arguments) {
                   auto found = arrays_.find(fsk::ToString(the_, arguments.at(0)));
                   return found == arrays_.end() ? Value::Null() : found->second;
                 },
                 1));
    fsk::Set(the_, database, "getSortingOrder",
             fsk::NewFunction(
                 the_, [](FskMachine*, const Value&, const std::vector<Value>&) { return Value::Integer(1); }, 1));
    fsk::Set(the_, database, "getRecord",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine*, const Value&, const std::vector<Value>& arguments) {
                   Value record = fsk::NewObject(the_);
                   fsk::Set(the_, record, "id", arguments.at(0));
                   return record;
                 },
                 1));
    return database;
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<fsk::HostBracket> bracket_;
  std::vector<std::unique_ptr<::XdbResultSet>> sets_;
};

TEST_F(XdbResultSet, UnionAndIntersectionSortedByAFakeDatabase) {
  ::XdbResultSet& a = SetOf({1, 5, 40000});
  ::XdbResultSet& b = SetOf({5, 7});
  EXPECT_EQ(CountOf(a), 3);
  EXPECT_EQ(IDs(a), (std::vector<int32_t>{1, 5, 40000}));

  ::XdbResultSet& both = NewSet();
  ASSERT_EQ(::XdbResultSet::And(a, b, &both), kXpOk);
  EXPECT_EQ(CountOf(both), 1);
  EXPECT_EQ(IDs(both), (std::vector<int32_t>{5}));

  ::XdbResultSet& either = NewSet();
  ASSERT_EQ(::XdbResultSet::Or(b, a, &either), kXpOk);
  EXPECT_EQ(CountOf(either), 4);
  EXPECT_EQ(IDs(either), (std::vector<int32_t>{1, 5, 7, 40000}));

  AddSortingArray("title", {{1, 3}, {5, 2}, {7, 0}, {40000, 1}});
  ASSERT_EQ(either.Sort({"title"}), kXpOk);
  EXPECT_EQ(IDs(either), (std::vector<int32_t>{7, 40000, 5, 1}));
  // A change drops the sorted contents.
  ASSERT_EQ(either.Remove(7), kXpOk);
  EXPECT_EQ(IDs(either), (std::vector<int32_t>{1, 5, 40000}));
}

TEST_F(XdbResultSet, NotTestAndRecords) {
  ::XdbResultSet& a = SetOf({0, 2});
  ::XdbResultSet& inverse = NewSet();
  ASSERT_EQ(::XdbResultSet::Not(a, &inverse), kXpOk);
  bool present = true;
  ASSERT_EQ(inverse.Test(2, &present), kXpOk);
  EXPECT_FALSE(present);
  ASSERT_EQ(inverse.Test(1, &present), kXpOk);
  EXPECT_TRUE(present);
  EXPECT_EQ(CountOf(inverse), 99);

  std::vector<Value> records;
  ASSERT_EQ(a.Records(&records), kXpOk);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, records[1], "id")), 2);
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Get(the_, records[1], "selected")));
}

TEST_F(XdbResultSet, UniqueByAKey) {
  ::XdbResultSet& a = SetOf({1, 2, 3, 60});
  AddSortingArray("album", {{1, 4}, {2, 4}, {3, 1}, {60, 1}});
  ::XdbResultSet& unique = NewSet();
  ASSERT_EQ(a.Unique("album", &unique), kXpOk);
  EXPECT_EQ(IDs(unique), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(unique.Add(70), kXpOk);
  EXPECT_EQ(CountOf(unique), 3);
}

TEST_F(XdbResultSet, FileBitmapKeepsItsIDs) {
  std::string path = (Dir("db") / "result.bitmap").string();
  {
    ::XdbResultSet& set = NewSet();
    ASSERT_EQ(set.Open(100, path), kXpOk);
    ASSERT_EQ(set.Add(9), kXpOk);
    ASSERT_EQ(set.Add(5000), kXpOk);
    ASSERT_EQ(set.Close(), kXpOk);
  }
  ::XdbResultSet& again = NewSet();
  ASSERT_EQ(again.Open(5000, path), kXpOk);
  EXPECT_EQ(IDs(again), (std::vector<int32_t>{9, 5000}));
  ASSERT_EQ(again.Close(), kXpOk);
}

TEST_F(XdbResultSet, FailuresAreResults) {
  ::XdbResultSet& unmade = NewSet();
  int64_t count = 0;
  EXPECT_EQ(unmade.Count(&count), kXpErrNotOpen);
  EXPECT_EQ(unmade.Create(-1), kXpErrBadArgument);
  EXPECT_NE(unmade.Open(10, (Dir("db") / "missing" / "x.bitmap").string()), kXpOk);
  ::XdbResultSet& set = SetOf({1});
  EXPECT_EQ(set.Add(-4), kXpErrBadArgument);
  ::XdbResultSet& out = NewSet();
  EXPECT_EQ(::XdbResultSet::And(set, unmade, &out), kXpErrBadArgument);
  ::XdbResultSet& unique = NewSet();
  EXPECT_EQ(set.Unique("missing", &unique), kXpErrBadArgument);
}

}  // namespace
