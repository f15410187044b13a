#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/grammar/CatalogContentQuicksort.h"
#include "catalogdb/tests/XdbResultFixture.h"

namespace {

using fsk::Value;
using xdbtest::XdbResultFixture;

class XdbSortingArray : public XdbResultFixture {};
class XdbResultContent : public XdbResultFixture {};

TEST_F(XdbSortingArray, NewArrayHasNoRanks) {
  Value array = NewSortingArray(100);
  EXPECT_EQ(Integer(fsk::Get(the_, array, "length")), 100);
  EXPECT_EQ(Integer(fsk::Get(the_, array, "index")), 0);
  for (int64_t id : {0, 50, 99}) {
    EXPECT_EQ(Rank(array, id), -1) << id;
  }
}

TEST_F(XdbSortingArray, SetValueGrowsBySteps) {
  Value array = NewSortingArray(100);
  fsk::Call(the_, array, "setValue", 1500, 9);
  EXPECT_EQ(Integer(fsk::Get(the_, array, "length")), 2148);
  std::vector<int32_t> slots = Slots(array);
  ASSERT_EQ(slots.size(), 2148u);
  for (size_t id = 0; id < slots.size(); ++id) {
    int32_t expected = id < 100 ? -1 : (id == 1500 ? 9 : 0);
    ASSERT_EQ(slots[id], expected) << id;
  }
  // Within the length nothing grows.
  fsk::Call(the_, array, "setValue", 2147, 4);
  EXPECT_EQ(Integer(fsk::Get(the_, array, "length")), 2148);
  EXPECT_EQ(Rank(array, 2147), 4);
}

TEST_F(XdbSortingArray, CompareSubtractsRanksIn64Bits) {
  Value array = ArrayWith({INT32_MIN, INT32_MAX, 7, 3});
  struct Case {
    int64_t a, b, expected;
  };
  const Case cases[] = {
      {2, 3, 4},
      {3, 2, -4},
      {1, 0, int64_t{INT32_MAX} - INT32_MIN},
      {0, 1, int64_t{INT32_MIN} - INT32_MAX},
      // IDs outside the slots rank -1.
      {2, 4, 8},
      {-5, 3, -4},
      {kBeyond, kBeyond, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Integer(fsk::Call(the_, array, "compare", c.a, c.b)), c.expected) << c.a << " " << c.b;
  }
}

TEST_F(XdbSortingArray, BadInputRaisesEinval) {
  Value array = NewSortingArray(10);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, array, "setValue", -1, 3); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, array, "setValue", kBeyond, 3); }), EINVAL);
  EXPECT_EQ(Integer(fsk::Get(the_, array, "length")), 10);
}

TEST_F(XdbSortingArray, ArrayWithoutDataRaisesEinval) {
  // A failed construction leaves an array without data.
  Value failed = NewSortingArray(-1);
  Value closed = NewSortingArray(4);
  fsk::Call(the_, closed, "close");
  for (const Value& array : {failed, closed}) {
    EXPECT_EQ(Raised([&] { fsk::Call(the_, array, "compare", 0, 1); }), EINVAL);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, array, "setValue", 0, 1); }), EINVAL);
  }
}

TEST_F(XdbResultContent, GetAtOutsideTheSlotsIsMinusOne) {
  Value content = NewContent(5);
  EXPECT_EQ(Integer(fsk::Get(the_, content, "length")), 5);
  for (int64_t index : {0, 4, 5, 6, -1}) {
    EXPECT_EQ(Integer(fsk::Call(the_, content, "getAt", index)), -1) << index;
  }
  Value filled = ContentWith({10, 20, 30});
  EXPECT_EQ(Integer(fsk::Call(the_, filled, "getAt", 2)), 30);
  EXPECT_EQ(Integer(fsk::Call(the_, filled, "getAt", 3)), -1);
}

TEST_F(XdbResultContent, ReverseReversesInPlace) {
  Value content = ContentWith({1, 2, 3, 4});
  fsk::Call(the_, content, "reverse");
  EXPECT_EQ(Slots(content), (std::vector<int32_t>{4, 3, 2, 1}));
}

TEST_F(XdbResultContent, ContentWithoutDataRaisesEinval) {
  Value failed = NewContent(-3);
  Value closed = NewContent(3);
  fsk::Call(the_, closed, "close");
  Value order = fsk::NewFunction(
      the_, [](FskMachine*, const Value&, const std::vector<Value>&) { return Value::Integer(0); }, 2);
  for (const Value& content : {failed, closed}) {
    EXPECT_EQ(Raised([&] { fsk::Call(the_, content, "getAt", 0); }), EINVAL);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, content, "reverse"); }), EINVAL);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, content, "sort", order); }), EINVAL);
  }
}

// The quicksort as a direct recursive transcription: recursion on the left
// part, a loop on the right.
void ReferenceQuicksort(std::vector<int32_t>& slots, int64_t lo, int64_t hi,
                        const std::function<int64_t(int32_t, int32_t)>& order) {
  while (lo < hi) {
    int32_t pivot = slots[lo];
    int64_t j = lo;
    for (int64_t i = lo + 1; i <= hi; ++i) {
      if (order(slots[i], pivot) < 0) {
        ++j;
        std::swap(slots[j], slots[i]);
      }
    }
    std::swap(slots[lo], slots[j]);
    ReferenceQuicksort(slots, lo, j - 1, order);
    lo = j + 1;
  }
}

TEST_F(XdbResultContent, SortKeepsTheOrderOfTheQuicksort) {
  std::mt19937 random(34);
  std::uniform_int_distribution<int32_t> values(0, 999);
  std::vector<int32_t> ids(2000);
  for (int32_t& id : ids) {
    id = values(random);
  }
  // Orders by tens, so equal elements are many and their order shows.
  auto order = [](int32_t a, int32_t b) { return int64_t{a / 10} - int64_t{b / 10}; };
  std::vector<int32_t> expected = ids;
  ReferenceQuicksort(expected, 0, static_cast<int64_t>(expected.size()) - 1, order);

  Value content = ContentWith(ids);
  int calls = 0;
  int definedThis = 0;
  Value function = fsk::NewFunction(
      the_,
      [&](FskMachine*, const Value& self, const std::vector<Value>& arguments) {
        ++calls;
        definedThis += self.IsUndefined() ? 0 : 1;
        return Value::Integer(order(static_cast<int32_t>(Integer(arguments.at(0))),
                                    static_cast<int32_t>(Integer(arguments.at(1)))));
      },
      2);
  fsk::Call(the_, content, "sort", function);
  EXPECT_EQ(Slots(content), expected);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(definedThis, 0);
}

TEST_F(XdbResultContent, SortOfReverseOrderThroughTheRuntime) {
  std::vector<int32_t> ids(1000);
  for (size_t index = 0; index < ids.size(); ++index) {
    ids[index] = static_cast<int32_t>(ids.size() - 1 - index);
  }
  Value content = ContentWith(ids);
  Value function = fsk::NewFunction(
      the_,
      [&](FskMachine*, const Value&, const std::vector<Value>& arguments) {
        return Value::Integer(Integer(arguments.at(0)) - Integer(arguments.at(1)));
      },
      2);
  fsk::Call(the_, content, "sort", function);
  std::vector<int32_t> expected = ids;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Slots(content), expected);
}

TEST_F(XdbResultContent, QuicksortOfFortyThousandReversedStaysShallow) {
  constexpr int32_t kCount = 40000;
  std::vector<int32_t> slots(kCount);
  for (int32_t index = 0; index < kCount; ++index) {
    slots[static_cast<size_t>(index)] = kCount - 1 - index;
  }
  auto before = [](int32_t element, int32_t pivot) { return element < pivot; };
  auto current = [&slots]() { return slots.data(); };
  CatalogContentQuicksort sort(before, current);
  sort.Sort(0, kCount - 1);
  for (int32_t index = 0; index < kCount; ++index) {
    ASSERT_EQ(slots[static_cast<size_t>(index)], index);
  }
  // The smaller side recurses: at most log2(40000) + 1 levels.
  EXPECT_LE(sort.Depth(), 17);
}

TEST_F(XdbResultContent, SortRaisesWhenTheFunctionClosesTheContent) {
  Value content = ContentWith({3, 1, 2});
  Value function = fsk::NewFunction(
      the_,
      [&](FskMachine*, const Value&, const std::vector<Value>&) {
        fsk::Call(the_, content, "close");
        return Value::Integer(-1);
      },
      2);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, content, "sort", function); }), EINVAL);
}

}  // namespace
