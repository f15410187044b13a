#include "platform/memory/XpByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <cstring>

namespace {

constexpr size_t kWordBytes = 8;
// Room to place a word at every offset of an 8-byte line, with guard bytes.
constexpr size_t kBufferBytes = 3 * kWordBytes;
constexpr uint8_t kGuard = 0xA5;

struct ByteOrderCase {
  const char* name;
  std::array<uint8_t, kWordBytes> bytes;
  uint16_t little16;
  uint16_t big16;
  uint32_t little32;
  uint32_t big32;
  uint64_t little64;
  uint64_t big64;
};

const ByteOrderCase kCases[] = {
    {"zero", {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 0, 0, 0},
    {"ascending",
     {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08},
     0x0201,
     0x0102,
     0x04030201,
     0x01020304,
     0x0807060504030201,
     0x0102030405060708},
    {"high bits set",
     {0xFF, 0x80, 0x7F, 0x00, 0xFE, 0x01, 0xC3, 0x3C},
     0x80FF,
     0xFF80,
     0x007F80FF,
     0xFF807F00,
     0x3CC301FE007F80FF,
     0xFF807F00FE01C33C},
    {"all ones",
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     0xFFFF,
     0xFFFF,
     0xFFFFFFFF,
     0xFFFFFFFF,
     0xFFFFFFFFFFFFFFFF,
     0xFFFFFFFFFFFFFFFF},
    {"only the last byte", {0, 0, 0, 0, 0, 0, 0, 0x80}, 0, 0, 0, 0, 0x8000000000000000, 0x80},
};

class XpByteOrderTest : public ::testing::TestWithParam<ByteOrderCase> {
 protected:
  // The case's bytes placed at offset in a guarded buffer.
  const uint8_t* Place(size_t offset) {
    buffer_.fill(kGuard);
    std::memcpy(buffer_.data() + offset, GetParam().bytes.data(), kWordBytes);
    return buffer_.data() + offset;
  }

  uint8_t* Blank(size_t offset) {
    buffer_.fill(kGuard);
    return buffer_.data() + offset;
  }

  // The first count bytes at offset are the case's, and every other byte
  // still holds the guard.
  void ExpectStored(size_t offset, size_t count) const {
    for (size_t at = 0; at < buffer_.size(); ++at) {
      const bool inWord = at >= offset && at < offset + count;
      const uint8_t expected = inWord ? GetParam().bytes[at - offset] : kGuard;
      EXPECT_EQ(buffer_[at], expected) << "offset " << offset << ", byte " << at;
    }
  }

  std::array<uint8_t, kBufferBytes> buffer_{};
};

TEST_P(XpByteOrderTest, LoadsEveryWidthInBothOrdersAtEveryOffset) {
  const ByteOrderCase& c = GetParam();
  for (size_t offset = 0; offset < kWordBytes; ++offset) {
    SCOPED_TRACE(offset);
    const uint8_t* at = Place(offset);
    EXPECT_EQ(XpLoadLittle16(at), c.little16);
    EXPECT_EQ(XpLoadBig16(at), c.big16);
    EXPECT_EQ(XpLoadLittle32(at), c.little32);
    EXPECT_EQ(XpLoadBig32(at), c.big32);
    EXPECT_EQ(XpLoadLittle64(at), c.little64);
    EXPECT_EQ(XpLoadBig64(at), c.big64);
    EXPECT_EQ(XpLoad16(at, false), c.little16);
    EXPECT_EQ(XpLoad16(at, true), c.big16);
    EXPECT_EQ(XpLoad32(at, false), c.little32);
    EXPECT_EQ(XpLoad32(at, true), c.big32);
    EXPECT_EQ(XpLoad64(at, false), c.little64);
    EXPECT_EQ(XpLoad64(at, true), c.big64);
  }
}

TEST_P(XpByteOrderTest, StoresEveryWidthInBothOrdersAtEveryOffsetAndNothingBeside) {
  const ByteOrderCase& c = GetParam();
  for (size_t offset = 0; offset < kWordBytes; ++offset) {
    XpStoreLittle16(Blank(offset), c.little16);
    ExpectStored(offset, 2);
    XpStoreBig16(Blank(offset), c.big16);
    ExpectStored(offset, 2);
    XpStoreLittle32(Blank(offset), c.little32);
    ExpectStored(offset, 4);
    XpStoreBig32(Blank(offset), c.big32);
    ExpectStored(offset, 4);
    XpStoreLittle64(Blank(offset), c.little64);
    ExpectStored(offset, 8);
    XpStoreBig64(Blank(offset), c.big64);
    ExpectStored(offset, 8);
    XpStore16(Blank(offset), c.little16, false);
    ExpectStored(offset, 2);
    XpStore16(Blank(offset), c.big16, true);
    ExpectStored(offset, 2);
    XpStore32(Blank(offset), c.little32, false);
    ExpectStored(offset, 4);
    XpStore32(Blank(offset), c.big32, true);
    ExpectStored(offset, 4);
    XpStore64(Blank(offset), c.little64, false);
    ExpectStored(offset, 8);
    XpStore64(Blank(offset), c.big64, true);
    ExpectStored(offset, 8);
  }
}

INSTANTIATE_TEST_SUITE_P(Words, XpByteOrderTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ByteOrderCase>& info) {
                           std::string name = info.param.name;
                           for (char& character : name) {
                             if (character == ' ') {
                               character = '_';
                             }
                           }
                           return name;
                         });

TEST(XpByteOrder, HostOrderIsTheOrderOfMemory) {
  const uint32_t word = 0x11223344;
  uint8_t bytes[sizeof word] = {};
  std::memcpy(bytes, &word, sizeof word);
  EXPECT_EQ(XpLoad32(bytes, kXpHostIsBigEndian), word);
}

TEST(XpByteOrder, WorksInConstantExpressions) {
  constexpr uint8_t kBytes[] = {0x12, 0x34};
  constexpr uint16_t kBig = XpLoadBig16(kBytes);
  constexpr uint16_t kLittle = XpLoadLittle16(kBytes);
  EXPECT_EQ(kBig, 0x1234);
  EXPECT_EQ(kLittle, 0x3412);
}

}  // namespace
