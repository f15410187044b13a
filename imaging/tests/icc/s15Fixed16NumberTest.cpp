#include "imaging/icc/s15Fixed16Number.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using s15Fixed16Number = testsupport::HermeticTest;
using Number = ::s15Fixed16Number;

int32_t Raw(uint32_t bits) { return static_cast<int32_t>(bits); }

TEST_F(s15Fixed16Number, RawValuesConvertToDoubles) {
  const struct {
    uint32_t raw;
    double value;
  } cases[] = {
      {0xFFFF8000, -0.5},     {0x00010000, 1.0},   {0x80000000, -32768.0},
      {0xFFFF0000, -1.0},     {0x00000000, 0.0},   {0x00000001, 1.0 / 65536.0},
      {0x7FFFFFFF, 32767.0 + 65535.0 / 65536.0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.raw);
    EXPECT_EQ(Number(Raw(entry.raw)).GetValue(), entry.value);
  }
}

TEST_F(s15Fixed16Number, DoublesInRangeGiveTheirRawValue) {
  const struct {
    double value;
    uint32_t raw;
  } cases[] = {
      {1.5, 0x00018000},
      {-0.5, 0xFFFF8000},
      {-32768.0, 0x80000000},
      {Number::kMaxValue, 0x7FFFFFFF},
      {32767.99998474121, 0x7FFFFFFF},
      {0.0, 0},
      {-1.0, 0xFFFF0000},
      {2.2, 0x00023333},
      // The fraction is cut, not rounded, and the magnitude negated.
      {-2.2, 0xFFFDCCCD},
      {1.0 / 131072.0, 0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.value);
    EXPECT_EQ(Number(entry.value).GetRaw(), Raw(entry.raw));
    Number number(Raw(0x12345));
    EXPECT_TRUE(number.SetValue(entry.value));
    EXPECT_EQ(number.GetRaw(), Raw(entry.raw));
  }
}

TEST_F(s15Fixed16Number, DoublesOutOfRangeLeaveTheRawValue) {
  const double outside[] = {40000.0,
                            32768.0,
                            -32768.00001,
                            -40000.0,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  for (const double value : outside) {
    SCOPED_TRACE(value);
    Number number(Raw(0x12345));
    EXPECT_FALSE(number.SetValue(value));
    EXPECT_EQ(number.GetRaw(), 0x12345);
    EXPECT_EQ(Number(value).GetRaw(), 0);
  }
}

TEST_F(s15Fixed16Number, ReadTakesFourBigEndianBytes) {
  std::vector<uint8_t> bytes = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01};
  XpMemoryFile file(bytes.data(), bytes.size(), kXpByteOrderLittleEndian, false);
  Number number;
  ASSERT_EQ(number.Read(file), kXpOk);
  EXPECT_EQ(number.GetValue(), -0.5);
  // Two bytes left: the number stays as it was.
  EXPECT_EQ(number.Read(file), kXpErrEndOfFile);
  EXPECT_EQ(number.GetRaw(), Raw(0xFFFF8000));
}

}  // namespace
