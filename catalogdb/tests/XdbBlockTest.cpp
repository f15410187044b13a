#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbExtFixture.h"

namespace {

using fsk::Value;
using xdbtest::Bytes;
using xdbtest::kIllegalDB;

class XdbBlock : public xdbtest::XdbExtFixture {
 protected:
  template <typename... Arguments>
  Value Call(const TestBlock& block, const char* method, Arguments&&... arguments) {
    return fsk::Call(the_, block.object, method, std::forward<Arguments>(arguments)...);
  }
};

TEST_F(XdbBlock, ReadsTypedLittleEndianValues) {
  Bytes bytes{0x00, 0x04, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF};
  TestBlock block = NewBlock(bytes);
  EXPECT_EQ(Integer(Call(block, "getBit", 10)), 4);
  EXPECT_EQ(Integer(Call(block, "getBit", 11)), 0);
  EXPECT_EQ(Integer(Call(block, "getWord", 1)), 0x1234);
  // 2i + 2 == length is the last word.
  EXPECT_EQ(Integer(Call(block, "getWord", 3)), 0xFFFF);
  EXPECT_EQ(Integer(Call(block, "getDWord", 1)), -2);
  EXPECT_EQ(Integer(Call(block, "getUDWord", 1)), 0xFFFFFFFE);
  EXPECT_EQ(Integer(Call(block, "getDWord", 0)), 0x12340400);
}

TEST_F(XdbBlock, ReadsAndWritesOutsideTheBlockRaiseWithNothingChanged) {
  struct Case {
    const char* method;
    std::vector<Value> arguments;
  };
  const std::vector<Case> cases{
      {"getBit", {Value::Integer(64)}},       {"getBit", {Value::Integer(-1)}},
      {"getWord", {Value::Integer(4)}},       {"getWord", {Value::Integer(-1)}},
      {"getDWord", {Value::Integer(2)}},      {"getUDWord", {Value::Integer(2)}},
      {"getString", {Value::Integer(6), Value::Integer(3)}},
      {"getString", {Value::Integer(-1), Value::Integer(2)}},
      {"setBit", {Value::Integer(64), Value::Integer(1)}},
      {"setWord", {Value::Integer(4), Value::Integer(1)}},
      {"setDWord", {Value::Integer(2), Value::Integer(1)}},
      {"setDWord", {Value::Integer(INT64_C(0x4000000000000000)), Value::Integer(1)}},
      {"setString", {Value::Integer(6), Value::String("a"), Value::Integer(3)}},
      {"setString", {Value::Integer(0), Value::String("a"), Value::Integer(0)}},
  };
  for (const Case& c : cases) {
    Bytes bytes(8, 0x5A);
    TestBlock block = NewBlock(bytes);
    bool raised = RaisedNative([&] { fsk::CallMethod(the_, block.object, c.method, c.arguments); }, kIllegalDB);
    EXPECT_TRUE(raised) << c.method;
    EXPECT_EQ(bytes, Bytes(8, 0x5A)) << c.method;
    EXPECT_EQ(*block.changes, 0) << c.method;
  }
}

TEST_F(XdbBlock, WritesStoreLittleEndianAndReportTheChange) {
  Bytes bytes(8, 0);
  TestBlock block = NewBlock(bytes);
  Call(block, "setBit", 10, 1);
  Call(block, "setBit", 0, true);
  Call(block, "setBit", 0, 0);
  EXPECT_EQ(bytes, (Bytes{0x00, 0x04, 0, 0, 0, 0, 0, 0}));
  Call(block, "setWord", 0, 0x12345);
  Call(block, "setDWord", 1, -2);
  EXPECT_EQ(bytes, (Bytes{0x45, 0x23, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(*block.changes, 5);
}

TEST_F(XdbBlock, SetStringCutsAtACharacterBoundary) {
  struct Case {
    std::string text;
    int64_t size;
    Bytes stored;
  };
  const std::vector<Case> cases{
      {"abc", 4, {0x61, 0x62, 0x63, 0x00, 0xEE, 0xEE}},
      {"abcd", 4, {0x61, 0x62, 0x63, 0x00, 0xEE, 0xEE}},
      {"ab", 4, {0x61, 0x62, 0x00, 0xEE, 0xEE, 0xEE}},
      // "aé" is 61 C3 A9: its last character does not fit whole.
      {"a\xC3\xA9", 3, {0x61, 0x00, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"a\xC3\xA9", 4, {0x61, 0xC3, 0xA9, 0x00, 0xEE, 0xEE}},
      // A three-byte character followed by text.
      {"\xE3\x81\x82z", 3, {0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"\xE3\x81\x82z", 4, {0xE3, 0x81, 0x82, 0x00, 0xEE, 0xEE}},
      {"", 1, {0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"abc", 1, {0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    Bytes bytes(6, 0xEE);
    TestBlock block = NewBlock(bytes);
    Call(block, "setString", 0, c.text, c.size);
    EXPECT_EQ(bytes, c.stored) << c.text << " in " << c.size;
    EXPECT_EQ(*block.changes, 1);
  }
}

TEST_F(XdbBlock, GetStringStopsAtTheNulOrTheFieldsEnd) {
  Bytes bytes{0x61, 0x62, 0x63, 0x64, 0x65, 0x00, 0x78, 0x00};
  TestBlock block = NewBlock(bytes);
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 0, 4)), "abcd");
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 0, 8)), "abcde");
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 6, 2)), "x");
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 5, 3)), "");
  // A field without a NUL that ends the block.
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 6, 1)), "x");
  EXPECT_EQ(fsk::ToString(the_, Call(block, "getString", 8, 0)), "");
}

TEST_F(XdbBlock, RangeOperationsCombineBytesAndBits) {
  struct Case {
    const char* method;
    Bytes source;
    int64_t offset;
    int64_t count;
    Bytes destination;
    Bytes result;
  };
  const std::vector<Case> cases{
      {"copyBitsTo", {0x12, 0x34}, 0, 12, {0xFF, 0xFF}, {0x12, 0x04}},
      {"copyBitsTo", {0x12, 0x34}, 0, 16, {0xFF, 0xFF}, {0x12, 0x34}},
      {"copyBitsTo", {0x00, 0x12, 0x34}, 1, 4, {0xFF, 0xFF}, {0x02, 0xFF}},
      {"orBitsTo", {0x00, 0xFF}, 0, 12, {0x00, 0xA0}, {0x00, 0xAF}},
      {"andBitsTo", {0xF0, 0x00}, 0, 12, {0xFF, 0xFF}, {0xF0, 0xF0}},
      {"copyTo", {1, 2, 3, 4, 5}, 1, 3, {9, 9, 9, 9}, {2, 3, 4, 9}},
      {"andTo", {0x0F, 0xF0, 0x3C, 0xFF, 0x81}, 0, 5, {0xFF, 0xFF, 0xFF, 0x00, 0xFF}, {0x0F, 0xF0, 0x3C, 0x00, 0x81}},
      {"orTo", {0x01, 0x02, 0x03, 0x04, 0x05}, 0, 5, {0x10, 0, 0, 0, 0x10}, {0x11, 0x02, 0x03, 0x04, 0x15}},
      // and/or take the source from the offset rounded down to a word.
      {"orTo", {0x01, 0x02, 0x03, 0x04, 0x05}, 3, 2, {0, 0}, {0x01, 0x02}},
      {"orBitsTo", {0x01, 0xFF, 0x03, 0x04}, 2, 9, {0, 0}, {0x01, 0x01}},
      {"copyTo", {1, 2}, 0, 0, {9}, {9}},
  };
  for (const Case& c : cases) {
    Bytes source = c.source;
    Bytes destination = c.destination;
    TestBlock block = NewBlock(source);
    Call(block, c.method, Address(destination.data()), c.offset, c.count);
    EXPECT_EQ(destination, c.result) << c.method << " " << c.count;
    EXPECT_EQ(source, c.source) << c.method;
  }
}

TEST_F(XdbBlock, CopyToAllowsOverlap) {
  Bytes bytes{1, 2, 3, 4, 5, 6};
  TestBlock block = NewBlock(bytes);
  Call(block, "copyTo", Address(bytes.data() + 2), 0, 4);
  EXPECT_EQ(bytes, (Bytes{1, 2, 1, 2, 3, 4}));
}

TEST_F(XdbBlock, WholeBlockOperations) {
  Bytes full(8, 0xFF);
  TestBlock block = NewBlock(full);
  EXPECT_EQ(Integer(Call(block, "bitCount", 0)), 64);
  EXPECT_EQ(Integer(Call(block, "bitCount", -3)), 64);
  EXPECT_EQ(Integer(Call(block, "bitCount", 12)), 12);
  EXPECT_EQ(Integer(Call(block, "bitCount", 100)), 64);
  EXPECT_FALSE(fsk::ToBoolean(the_, Call(block, "isZero")));
  Call(block, "clear");
  EXPECT_EQ(full, Bytes(8, 0));
  EXPECT_EQ(*block.changes, 1);
  EXPECT_TRUE(fsk::ToBoolean(the_, Call(block, "isZero")));
  EXPECT_EQ(Integer(Call(block, "bitCount", 0)), 0);

  // Only whole 32-bit words count.
  Bytes six(6, 0xFF);
  TestBlock shortBlock = NewBlock(six);
  EXPECT_EQ(Integer(Call(shortBlock, "bitCount", 0)), 32);
  EXPECT_EQ(Integer(Call(shortBlock, "bitCount", 40)), 32);

  Bytes sparse{0x01, 0, 0, 0x80};
  TestBlock sparseBlock = NewBlock(sparse);
  EXPECT_EQ(Integer(Call(sparseBlock, "bitCount", 0)), 2);
  EXPECT_EQ(Integer(Call(sparseBlock, "bitCount", 31)), 1);
}

TEST_F(XdbBlock, ABlockWithoutMemoryIsRefused) {
  Bytes bytes(4, 0);
  TestBlock block = NewBlock(bytes);
  fsk::Set(the_, block.object, "pointer", Value::Integer(0));
  EXPECT_TRUE(RaisedNative([&] { Call(block, "isZero"); }, kIllegalDB));
  fsk::Set(the_, block.object, "pointer", Value::Integer(Address(bytes.data())));
  fsk::Set(the_, block.object, "length", Value::Integer(-4));
  EXPECT_TRUE(RaisedNative([&] { Call(block, "clear"); }, kIllegalDB));
}

}  // namespace
