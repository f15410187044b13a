#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/grammarext/CatalogExtSupport.h"
#include "catalogdb/include/CatalogResultBits.h"
#include "catalogdb/tests/XdbExtFixture.h"
#include "fsk/FskMemory.h"

namespace {

using fsk::Value;
using xdbtest::Bytes;
using xdbtest::kIdLimit;
using xdbtest::kIllegalDB;
namespace names = CatalogGrammarNames;
using IDs = std::vector<int64_t>;

// A block of little-endian 32-bit slots.
Bytes Slots(const std::vector<uint32_t>& slots) {
  Bytes bytes(slots.size() * 4);
  for (size_t i = 0; i < slots.size(); ++i) {
    CatalogStoreLittle32(bytes.data() + i * 4, slots[i]);
  }
  return bytes;
}

class XdbBlockIndexes : public xdbtest::XdbExtFixture {
 protected:
  void SetUp() override {
    XdbExtFixture::SetUp();
    ids_ = std::make_shared<IDs>();
    target_ = NewTarget(ids_);
  }

  // An ID sector of 8 slots: IDs in 0 to 5, count in 6, next in 7.
  Value NewSector(int64_t blockCount) {
    Value sector = fsk::NewInstanceOf(the_, Path(names::kExtIdsSector));
    fsk::Set(the_, sector, "count", Value::Integer(6));
    fsk::Set(the_, sector, "next", Value::Integer(7));
    fsk::Set(the_, sector, "maxCount", Value::Integer(6));
    Value index = fsk::NewObject(the_);
    fsk::Set(the_, index, "blockCount", Value::Integer(blockCount));
    fsk::Set(the_, index, "getBlock",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                   return sectors_.at(static_cast<size_t>(fsk::ToInteger(the, arguments.at(0)))).object;
                 },
                 1));
    fsk::Set(the_, sector, "index", index);
    return sector;
  }

  Value Files() { return Path(names::kExtDcfFiles); }

  std::shared_ptr<IDs> ids_;
  Value target_;
  // Sector blocks by block number, for getBlock.
  std::vector<TestBlock> sectors_;
};

TEST_F(XdbBlockIndexes, SubRemoveReplacesTheFirstUsedSlot) {
  Bytes bytes = Slots({4, 9, 4, 0, 0, 0, 3, 0});
  TestBlock block = NewBlock(bytes);
  Value sector = NewSector(1);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, sector, "subRemove", block.object, 4, 0)));
  EXPECT_EQ(bytes, Slots({0, 9, 4, 0, 0, 0, 3, 0}));
  EXPECT_EQ(*block.changes, 1);
  // Slot 3 is past the used count.
  Bytes unused = Slots({1, 2, 3, 8, 0, 0, 3, 0});
  TestBlock other = NewBlock(unused);
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, sector, "subRemove", other.object, 8, 5)));
  EXPECT_EQ(*other.changes, 0);
}

TEST_F(XdbBlockIndexes, CorruptSectorsRaiseWithTheBlockUnchanged) {
  Value sector = NewSector(4);
  // A used count above maxCount, a negative one, and count/next slots
  // outside the block.
  const std::vector<std::pair<Bytes, int64_t>> cases{
      {Slots({4, 4, 4, 4, 4, 4, 7, 0}), 8},
      {Slots({4, 4, 4, 4, 4, 4, 0xFFFFFFFF, 0}), 8},
      {Slots({4, 4, 4, 4, 4, 4}), 6},
  };
  for (const auto& [content, length] : cases) {
    Bytes bytes = content;
    TestBlock block = NewBlock(bytes);
    fsk::Set(the_, block.object, "length", Value::Integer(length * 4));
    EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, sector, "subRemove", block.object, 4, 5); }, kIllegalDB));
    EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, sector, "addID", block.object, target_); }, kIllegalDB));
    EXPECT_EQ(bytes, content);
    EXPECT_EQ(*block.changes, 0);
  }
  EXPECT_TRUE(ids_->empty());
}

TEST_F(XdbBlockIndexes, AddIDFollowsTheSectorChain) {
  std::vector<Bytes> blocks{Slots({0, 0, 0, 0, 0, 0, 0, 0}), Slots({11, 0, 12, 0, 0, 0, 3, 2}),
                            Slots({13, 14, 0, 0, 0, 0, 2, 0})};
  for (Bytes& bytes : blocks) {
    sectors_.push_back(NewBlock(bytes));
  }
  Value sector = NewSector(3);
  fsk::Call(the_, sector, "addID", sectors_[1].object, target_);
  EXPECT_EQ(*ids_, (IDs{11, 12, 13, 14}));
}

TEST_F(XdbBlockIndexes, AddIDStopsAtACycle) {
  std::vector<Bytes> blocks{Slots({0, 0, 0, 0, 0, 0, 0, 0}), Slots({11, 0, 0, 0, 0, 0, 1, 2}),
                            Slots({12, 0, 0, 0, 0, 0, 1, 1})};
  for (Bytes& bytes : blocks) {
    sectors_.push_back(NewBlock(bytes));
  }
  std::vector<Bytes> before = blocks;
  Value sector = NewSector(3);
  EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, sector, "addID", sectors_[1].object, target_); }, kIllegalDB));
  EXPECT_EQ(blocks, before);
  // A sector that names itself.
  ids_->clear();
  CatalogStoreLittle32(blocks[2].data() + 28, 2);
  EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, sector, "addID", sectors_[2].object, target_); }, kIllegalDB));
}

TEST_F(XdbBlockIndexes, BitmapWalksCallBackPerBit) {
  using Call = std::tuple<int64_t, bool, bool>;
  auto calls = std::make_shared<std::vector<Call>>();
  Value bitmap = fsk::NewInstanceOf(the_, Path(names::kExtBitmapIndex));
  fsk::Set(the_, bitmap, "onCallback",
           fsk::NewFunction(
               the_,
               [calls, this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                 bool sameTarget = fsk::ToInteger(the, fsk::Get(the, arguments.at(1), "marker")) == 77;
                 calls->emplace_back(fsk::ToInteger(the, arguments.at(0)), fsk::ToBoolean(the, arguments.at(2)),
                                     sameTarget);
                 return Value();
               },
               3));
  fsk::Set(the_, target_, "marker", Value::Integer(77));
  fsk::Call(the_, bitmap, "eachCompareUp", 0b0101, 0b0110, target_);
  EXPECT_EQ(*calls, (std::vector<Call>{{0, false, true}, {1, true, true}}));
  calls->clear();
  fsk::Call(the_, bitmap, "eachCompareUp", INT64_C(0x80000000), 0, target_);
  EXPECT_EQ(*calls, (std::vector<Call>{{31, false, true}}));

  using Search = std::tuple<int64_t, int64_t, int64_t, bool>;
  auto searches = std::make_shared<std::vector<Search>>();
  fsk::Set(the_, bitmap, "onSearchCallback",
           fsk::NewFunction(
               the_,
               [searches](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                 searches->emplace_back(fsk::ToInteger(the, arguments.at(0)), fsk::ToInteger(the, arguments.at(1)),
                                        fsk::ToInteger(the, arguments.at(2)), fsk::ToBoolean(the, arguments.at(3)));
                 return Value();
               },
               4));
  fsk::Call(the_, bitmap, "eachSearchUp", 5, 6, INT64_C(0x80000012));
  EXPECT_EQ(*searches, (std::vector<Search>{{1, 5, 6, true}, {4, 5, 6, false}, {31, 5, 6, false}}));
}

TEST_F(XdbBlockIndexes, SubAddIDsNumbersOrReadsTheSlots) {
  Bytes bytes = Slots({0, 7, 0, 9, 5});
  TestBlock block = NewBlock(bytes);
  fsk::Set(the_, target_, "_fileCount", Value::Integer(20));
  fsk::Call(the_, Files(), "subAddIDs", block.object, target_, 0, 3, false);
  EXPECT_EQ(*ids_, (IDs{21, 23}));
  EXPECT_EQ(Integer(fsk::Get(the_, target_, "_fileCount")), 24);

  ids_->clear();
  fsk::Call(the_, Files(), "subAddIDs", block.object, target_, 1, 4, true);
  EXPECT_EQ(*ids_, (IDs{7, 9, 5}));
  EXPECT_EQ(Integer(fsk::Get(the_, target_, "_fileCount")), 24);

  ids_->clear();
  for (const auto& range :
       std::vector<std::pair<int64_t, int64_t>>{{0, 5}, {-1, 2}, {5, 5}, {0, -1}}) {
    const int64_t from = range.first;
    const int64_t to = range.second;
    EXPECT_TRUE(RaisedNative(
        [&] { fsk::Call(the_, Files(), "subAddIDs", block.object, target_, from, to, false); }, kIllegalDB))
        << from << ".." << to;
  }
  EXPECT_TRUE(ids_->empty());
  EXPECT_EQ(Integer(fsk::Get(the_, target_, "_fileCount")), 24);
}

TEST_F(XdbBlockIndexes, GetNextZeroHandsOutTheLowestClearBit) {
  auto nextZero = [&](Bytes& bytes, int64_t index, int64_t limit) {
    TestBlock block = NewBlock(bytes);
    fsk::Set(the_, block.object, "index", Value::Integer(index));
    return Integer(fsk::Call(the_, Path(names::kExtDatabaseID), "getNextZero", block.object, limit));
  };
  Bytes first(8, 0);
  EXPECT_EQ(nextZero(first, 0, 63), 1);
  EXPECT_EQ(first[0], 0x02);
  EXPECT_EQ(nextZero(first, 0, 63), 2);
  Bytes second(8, 0);
  EXPECT_EQ(nextZero(second, 1, 63), 0);
  EXPECT_EQ(second[0], 0x01);

  // Full words and bytes are passed over; b == limit is still handed out.
  Bytes words{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0};
  EXPECT_EQ(nextZero(words, 3, 47), 47);
  EXPECT_EQ(words[5], 0xFF);
  // Runs of full words, a first block whose byte 0 lacks only ID 0, and a
  // clear bit in the last bytes, after the last whole word.
  Bytes runs(20, 0xFF);
  runs[0] = 0xFE;
  runs[16] = 0xFB;
  EXPECT_EQ(nextZero(runs, 0, 1000), 16 * 8 + 2);
  EXPECT_EQ(runs[0], 0xFE);
  Bytes tail(19, 0xFF);
  tail[18] = 0x7F;
  EXPECT_EQ(nextZero(tail, 1, 1000), 18 * 8 + 7);
  EXPECT_EQ(nextZero(tail, 1, 1000), -1);

  Bytes limited{0xFF, 0, 0, 0};
  TestBlock block = NewBlock(limited);
  fsk::Set(the_, block.object, "index", Value::Integer(0));
  EXPECT_TRUE(RaisedNative(
      [&] { fsk::Call(the_, Path(names::kExtDatabaseID), "getNextZero", block.object, 7); }, kIdLimit));
  EXPECT_EQ(limited, (Bytes{0xFF, 0, 0, 0}));
  EXPECT_EQ(*block.changes, 0);

  Bytes full(8, 0xFF);
  EXPECT_EQ(nextZero(full, 0, 63), -1);
  EXPECT_EQ(full, Bytes(8, 0xFF));
}

TEST_F(XdbBlockIndexes, BubbleSearchMatchesValuesOrUnsignedRanges) {
  Value data = Path(names::kExtData);
  auto search = [&](Bytes& bytes, int64_t offset, int64_t stride, int64_t count, int64_t base, Value low, Value high,
                    Value thisArg = Value(), Value transform = Value()) {
    ids_->clear();
    TestBlock block = NewBlock(bytes);
    fsk::CallMethod(the_, data, "bubbleSearch",
                    {target_, block.object, Value::Integer(offset), Value::Integer(stride), Value::Integer(count),
                     Value::Integer(base), low, high, thisArg, transform});
    return *ids_;
  };
  Bytes values = Slots({5, 6, 5});
  EXPECT_EQ(search(values, 0, 4, 3, 10, Value::Integer(5), Value()), (IDs{11, 13}));
  EXPECT_EQ(search(values, 0, 4, 3, 10, Value::Integer(5), Value::Integer(6)), (IDs{11, 12, 13}));
  EXPECT_EQ(search(values, 0, 4, 0, 10, Value::Integer(5), Value()), IDs{});
  Bytes big = Slots({0xFFFFFFFF, 3, 0x80000000});
  EXPECT_EQ(search(big, 0, 4, 3, 0, Value::Integer(0), Value::Integer(10)), (IDs{2}));
  EXPECT_EQ(search(big, 0, 4, 3, 0, Value::Integer(0x80000000), Value::Integer(0xFFFFFFFF)), (IDs{1, 3}));
  EXPECT_EQ(search(big, 0, 4, 3, 0, Value::Integer(-1), Value()), (IDs{1}));

  // Rows of two dwords: field 1 of each, offset and stride rounded down.
  Bytes rows = Slots({100, 1, 200, 2, 300, 1});
  EXPECT_EQ(search(rows, 5, 9, 3, 0, Value::Integer(1), Value()), (IDs{1, 3}));

  // A transform sees each value with its thisArg.
  Value mask = fsk::NewObject(the_);
  fsk::Set(the_, mask, "bit", Value::Integer(2));
  Value transform = fsk::NewFunction(
      the_,
      [](FskMachine* the, const Value& self, const std::vector<Value>& arguments) {
        return Value::Integer(fsk::ToInteger(the, arguments.at(0)) & fsk::ToInteger(the, fsk::Get(the, self, "bit")));
      },
      1);
  Bytes flags = Slots({1, 2, 3, 6});
  EXPECT_EQ(search(flags, 0, 4, 4, 100, Value::Integer(2), Value(), mask, transform), (IDs{102, 103, 104}));
}

TEST_F(XdbBlockIndexes, DataSpansOutsideTheBlockRaise) {
  Value data = Path(names::kExtData);
  Bytes bytes(32, 0);
  TestBlock block = NewBlock(bytes);
  Bytes sorting(64, 0);
  struct Case {
    int64_t offset;
    int64_t stride;
    int64_t count;
  };
  for (const Case& c : std::vector<Case>{{0, 4, 9}, {4, 4, 8}, {32, 4, 1}, {0, 8, 5}, {-4, 4, 1}, {0, -4, 2},
                                         {0, INT64_C(0x4000000000000000), 3}}) {
    EXPECT_TRUE(RaisedNative(
        [&] {
          fsk::Call(the_, data, "bubbleSearch", target_, block.object, c.offset, c.stride, c.count, 0, 0);
        },
        kIllegalDB))
        << c.offset << " " << c.stride << " " << c.count;
    EXPECT_TRUE(RaisedNative(
        [&] {
          fsk::Call(the_, data, "copySortingArray", Address(sorting.data()), block.object, c.offset, c.stride,
                    c.count);
        },
        kIllegalDB));
  }
  EXPECT_TRUE(ids_->empty());
  EXPECT_EQ(sorting, Bytes(64, 0));
  // The last value may end the block.
  fsk::Call(the_, data, "bubbleSearch", target_, block.object, 0, 4, 8, 0, 0);
  fsk::Call(the_, data, "bubbleSearch", target_, block.object, 28, 0, 3, 0, 0);
  EXPECT_EQ(*ids_, (IDs{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3}));
}

TEST_F(XdbBlockIndexes, CopySortingArrayFillsSlotsFromOne) {
  Value data = Path(names::kExtData);
  Bytes rows = Slots({100, 1, 200, 2, 300, 3});
  TestBlock block = NewBlock(rows);
  Bytes sorting = Slots({0xAAAAAAAA, 0, 0, 0, 0xBBBBBBBB});
  fsk::Call(the_, data, "copySortingArray", Address(sorting.data()), block.object, 0, 8, 3);
  EXPECT_EQ(sorting, Slots({0xAAAAAAAA, 100, 200, 300, 0xBBBBBBBB}));
  Value negate = fsk::NewFunction(
      the_,
      [](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
        return Value::Integer(1000 - fsk::ToInteger(the, arguments.at(0)));
      },
      1);
  fsk::Call(the_, data, "copySortingArray", Address(sorting.data()), block.object, 4, 8, 3, Value(), negate);
  EXPECT_EQ(sorting, Slots({0xAAAAAAAA, 999, 998, 997, 0xBBBBBBBB}));
}

TEST_F(XdbBlockIndexes, DatabaseObjectsAndTheirBitmaps) {
  Value database = Path(names::kExtDatabase);
  Value prototype = fsk::NewObject(the_);
  Value clone = fsk::Call(the_, database, "clone", prototype);
  EXPECT_TRUE(fsk::IsInstanceOf(the_, clone, prototype));

  // A result bitmap in memory covering IDs 0 to 64, with invalidate().
  Value bitmap = fsk::New(the_, Path(names::kResult), "_Result", 64);
  auto invalidations = std::make_shared<int>(0);
  Value owner = fsk::NewInstanceOf(the_, database);
  fsk::Set(the_, owner, "data", bitmap);
  fsk::Set(the_, owner, "invalidate",
           fsk::NewFunction(
               the_,
               [invalidations](FskMachine*, const Value&, const std::vector<Value>&) {
                 ++*invalidations;
                 return Value();
               },
               0));
  auto* bits = static_cast<CatalogResultBits*>(fxGetHostData(the_, &bitmap.Slot()));
  EXPECT_EQ(Integer(fsk::Call(the_, database, "_getData", bitmap)), Address(bits->bits));
  for (int64_t id : {1, 33, 63, 64, 65, -1}) {
    fsk::Call(the_, owner, "addID", id);
  }
  EXPECT_EQ(*invalidations, 6);
  // 64 is the bitmap's maxID: ignored, as are IDs beyond it.
  EXPECT_EQ(bits->bits[0], 0x2U);
  EXPECT_EQ(bits->bits[1], 0x80000002U);
  EXPECT_EQ(bits->bits[2], 0U);

  EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, database, "_getData", prototype); }, kIllegalDB));
  Value chunk = NewChunk("abcd");
  EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, database, "_getData", chunk); }, kIllegalDB));

  // getData and close over this object's memory.
  void* memory = FskMemPtrAllocClear(16);
  Value held = NewHostObject(memory, names::kExtDatabase, {"getData", "close"});
  EXPECT_EQ(Integer(fsk::Call(the_, held, "getData")), Address(memory));
  fsk::Call(the_, held, "close");
  EXPECT_EQ(fxGetHostData(the_, &held.Slot()), nullptr);
  EXPECT_EQ(Integer(fsk::Call(the_, held, "getData")), 0);
  fsk::Call(the_, held, "close");
}

}  // namespace
