#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbDataRows.h"
#include "outside/fsk/tests/XdbBlockStoreFixture.h"
#include "platform/result/XpResult.h"

namespace {

using fsk::Value;
using IDs = std::vector<int64_t>;

constexpr int64_t kRows = 3000;
constexpr int32_t kDateField = 2;
constexpr int32_t kFlagsField = 5;

// Row id: field 2 = id / 100 (a day number), field 5 = flags id mod 8.
uint32_t DayOf(int64_t id) { return static_cast<uint32_t>(id / 100); }
uint32_t FlagsOf(int64_t id) { return static_cast<uint32_t>(id % 8); }

// Named as the class it tests; the class itself is ::XdbDataRows here.
class XdbDataRows : public xdbtest::XdbBlockStoreFixture {
 protected:
  static IDs Matching(bool (*match)(int64_t id)) {
    IDs ids;
    for (int64_t id = 1; id <= kRows; ++id) {
      if (match(id)) {
        ids.push_back(id);
      }
    }
    return ids;
  }

  IDs Find(::XdbDataRows& rows, const ::XdbDataRows::Search& search) {
    IDs ids;
    EXPECT_EQ(rows.FindIDs(search, &ids), kXpOk);
    return ids;
  }

  void ExpectSearches(::XdbDataRows& rows) {
    ::XdbDataRows::Search one{kDateField, 17, std::nullopt, Value(), Value()};
    EXPECT_EQ(Find(rows, one), Matching([](int64_t id) { return DayOf(id) == 17; }));

    ::XdbDataRows::Search range{kDateField, 9, 11, Value(), Value()};
    EXPECT_EQ(Find(rows, range), Matching([](int64_t id) { return DayOf(id) >= 9 && DayOf(id) <= 11; }));

    // Bit 2 of the flags, through a transform closure with its thisArg.
    Value mask = fsk::NewObject(the_);
    fsk::Set(the_, mask, "bit", Value::Integer(4));
    Value transform = fsk::NewFunction(
        the_,
        [](FskMachine* the, const Value& self, const std::vector<Value>& arguments) {
          int64_t bit = fsk::ToInteger(the, fsk::Get(the, self, "bit"));
          return Value::Integer((fsk::ToInteger(the, arguments.at(0)) & bit) != 0 ? 1 : 0);
        },
        1);
    ::XdbDataRows::Search flagged{kFlagsField, 1, std::nullopt, mask, transform};
    EXPECT_EQ(Find(rows, flagged), Matching([](int64_t id) { return (FlagsOf(id) & 4) != 0; }));
  }
};

TEST_F(XdbDataRows, SearchesFindExactlyTheMatchingIDsAcrossPages) {
  std::string path = FilePath("data");
  {
    ::XdbDataRows rows(the_);
    ASSERT_EQ(rows.Create(path), kXpOk);
    for (int64_t id = 1; id <= kRows; ++id) {
      ASSERT_EQ(rows.SetField(id, kDateField, DayOf(id)), kXpOk) << id;
      ASSERT_EQ(rows.SetField(id, kFlagsField, FlagsOf(id)), kXpOk) << id;
    }
    EXPECT_EQ(rows.RowCount(), kRows);
    ExpectSearches(rows);
    ASSERT_EQ(rows.Close(), kXpOk);
  }
  // 64 bytes of header, then three whole pages of 1024 rows.
  EXPECT_EQ(FileBytes(path).size(), 64U + 3U * 1024U * 32U);

  ::XdbDataRows rows(the_);
  ASSERT_EQ(rows.Open(path), kXpOk);
  EXPECT_EQ(rows.RowCount(), kRows);
  uint32_t value = 0;
  EXPECT_EQ(rows.GetField(2049, kDateField, &value), kXpOk);
  EXPECT_EQ(value, 20U);
  ExpectSearches(rows);
  EXPECT_EQ(rows.Close(), kXpOk);
}

TEST_F(XdbDataRows, ChangedRowsOfPagesInTheFileLandInPlace) {
  std::string path = FilePath("data");
  {
    ::XdbDataRows rows(the_);
    ASSERT_EQ(rows.Create(path), kXpOk);
    for (int64_t id = 1; id <= kRows; ++id) {
      ASSERT_EQ(rows.SetFields(id, 0, {static_cast<uint32_t>(id), DayOf(id)}), kXpOk) << id;
    }
    ASSERT_EQ(rows.Close(), kXpOk);
  }
  // First, last and page-edge rows of each page, changed after a reopen.
  const IDs changed = {1, 2, 1024, 1025, 2048, 2049, kRows};
  auto changedValue = [](int64_t id) { return static_cast<uint32_t>(0xA0000000U + id); };
  {
    ::XdbDataRows rows(the_);
    ASSERT_EQ(rows.Open(path), kXpOk);
    for (int64_t id : changed) {
      ASSERT_EQ(rows.SetFields(id, 1, {changedValue(id), 7}), kXpOk) << id;
    }
    ASSERT_EQ(rows.Close(), kXpOk);
  }
  EXPECT_EQ(FileBytes(path).size(), 64U + 3U * 1024U * 32U);
  ::XdbDataRows rows(the_);
  ASSERT_EQ(rows.Open(path), kXpOk);
  for (int64_t id = 1; id <= kRows; ++id) {
    bool isChanged = std::find(changed.begin(), changed.end(), id) != changed.end();
    std::vector<uint32_t> values(3, 0);
    ASSERT_EQ(rows.GetFields(id, 0, &values), kXpOk) << id;
    std::vector<uint32_t> expected = {static_cast<uint32_t>(id), isChanged ? changedValue(id) : DayOf(id),
                                      isChanged ? 7U : 0U};
    EXPECT_EQ(values, expected) << id;
  }
  EXPECT_EQ(rows.Close(), kXpOk);
}

TEST_F(XdbDataRows, ADatabaseTargetSetsTheBitsOfItsBitmap) {
  ::XdbDataRows rows(the_);
  ASSERT_EQ(rows.Create(FilePath("data")), kXpOk);
  constexpr int64_t kCount = 40;
  for (int64_t id = 1; id <= kCount; ++id) {
    ASSERT_EQ(rows.SetField(id, 0, id % 2 == 0 ? 1 : 0), kXpOk);
  }
  // The bitmap covers IDs 0 to kCount + 1, so that kCount itself is kept.
  Value database = fsk::GetPath(the_, "CatalogGrammarExt.database");
  Value bitmap = fsk::New(the_, fsk::GetPath(the_, "xdb.result"), "_Result", kCount + 1);
  Value target = fsk::NewInstanceOf(the_, database);
  fsk::Set(the_, target, "data", bitmap);
  auto invalidations = std::make_shared<int>(0);
  fsk::Set(the_, target, "invalidate",
           fsk::NewFunction(
               the_,
               [invalidations](FskMachine*, const Value&, const std::vector<Value>&) {
                 ++*invalidations;
                 return Value();
               },
               0));
  ASSERT_EQ(rows.Find({0, 1, std::nullopt, Value(), Value()}, target), kXpOk);
  EXPECT_EQ(*invalidations, kCount / 2);
  auto address = fsk::ToInteger(the_, fsk::Call(the_, database, "_getData", bitmap));
  const auto* words = reinterpret_cast<const uint32_t*>(static_cast<intptr_t>(address));
  EXPECT_EQ(words[0], 0x55555554U);
  EXPECT_EQ(words[1], 0x00000155U);
  EXPECT_EQ(rows.Close(), kXpOk);
}

TEST_F(XdbDataRows, SortingArraysTakeOneSlotPerID) {
  ::XdbDataRows rows(the_);
  ASSERT_EQ(rows.Create(FilePath("data")), kXpOk);
  constexpr int64_t kCount = 1100;
  for (int64_t id = 1; id <= kCount; ++id) {
    ASSERT_EQ(rows.SetField(id, 0, static_cast<uint32_t>(5000 - id)), kXpOk);
  }
  std::vector<uint32_t> slots(kCount + 2, 0xAAAAAAAAU);
  EXPECT_EQ(rows.CopySortingArray({0, 0, std::nullopt, Value(), Value()}, slots.data(), kCount), kXpErrBadArgument);
  EXPECT_EQ(slots[1], 0xAAAAAAAAU);
  ASSERT_EQ(rows.CopySortingArray({0, 0, std::nullopt, Value(), Value()}, slots.data(), kCount + 1), kXpOk);
  EXPECT_EQ(slots[0], 0xAAAAAAAAU);
  EXPECT_EQ(slots[kCount + 1], 0xAAAAAAAAU);
  for (int64_t id = 1; id <= kCount; ++id) {
    ASSERT_EQ(slots[static_cast<size_t>(id)], static_cast<uint32_t>(5000 - id)) << id;
  }
  EXPECT_EQ(rows.Close(), kXpOk);
}

TEST_F(XdbDataRows, FieldsAndIDsOutsideTheRowsAreRefused) {
  ::XdbDataRows rows(the_);
  uint32_t value = 0;
  EXPECT_EQ(rows.SetField(1, 0, 1), kXpErrNotOpen);
  ASSERT_EQ(rows.Create(FilePath("data")), kXpOk);
  EXPECT_EQ(rows.SetField(0, 0, 1), kXpErrBadArgument);
  EXPECT_EQ(rows.SetField(1, 8, 1), kXpErrBadArgument);
  EXPECT_EQ(rows.SetField(1, -1, 1), kXpErrBadArgument);
  ASSERT_EQ(rows.SetField(3, 7, 0xFFFFFFFFU), kXpOk);
  EXPECT_EQ(rows.GetField(3, 7, &value), kXpOk);
  EXPECT_EQ(value, 0xFFFFFFFFU);
  // Rows below are added as zeros.
  EXPECT_EQ(rows.GetField(2, 7, &value), kXpOk);
  EXPECT_EQ(value, 0U);
  EXPECT_EQ(rows.GetField(4, 0, &value), kXpErrBadArgument);
  // Several fields at once, within the row only.
  EXPECT_EQ(rows.SetFields(1, 6, {1, 2, 3}), kXpErrBadArgument);
  ASSERT_EQ(rows.SetFields(5, 5, {1, 2, 3}), kXpOk);
  std::vector<uint32_t> values(4, 9);
  EXPECT_EQ(rows.GetFields(5, 5, &values), kXpErrBadArgument);
  EXPECT_EQ(values, (std::vector<uint32_t>{0, 0, 0, 0}));
  ASSERT_EQ(rows.GetFields(5, 4, &values), kXpOk);
  EXPECT_EQ(values, (std::vector<uint32_t>{0, 1, 2, 3}));
  IDs ids;
  EXPECT_EQ(rows.FindIDs({9, 0, std::nullopt, Value(), Value()}, &ids), kXpErrBadArgument);
  EXPECT_EQ(rows.Close(), kXpOk);
}

}  // namespace
