#include "imaging/tags/XpTiffTagData.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpTiffTagDataIFD.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpTiffTagData = testsupport::HermeticTest;

// A value of the type with the bytes given as its elements.
std::unique_ptr<XpTiffTagDataBase> ValueOf(uint16_t type, uint32_t count, const void* bytes) {
  std::unique_ptr<XpTiffTagDataBase> value(XpTiffTagDataCreate(type, 1, count));
  EXPECT_NE(value, nullptr);
  if (value != nullptr) {
    std::memcpy(value->GetData(), bytes, value->GetByteSize());
  }
  return value;
}

TEST_F(XpTiffTagData, EachTypeHasItsCodeElementSizeAndSwapUnit) {
  const struct {
    uint16_t type;
    uint32_t elementSize;
    uint32_t swapUnit;
  } cases[] = {
      {1, 1, 1}, {2, 1, 1}, {3, 2, 2}, {4, 4, 4}, {5, 8, 4},  {6, 1, 1},
      {7, 1, 1}, {8, 2, 2}, {9, 4, 4}, {10, 8, 4}, {11, 4, 4}, {12, 8, 8},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.type);
    std::unique_ptr<XpTiffTagDataBase> value(XpTiffTagDataCreate(entry.type, 0x1234, 3));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->GetType(), entry.type);
    EXPECT_EQ(value->GetElementSize(), entry.elementSize);
    EXPECT_EQ(value->GetSwapUnit(), entry.swapUnit);
    EXPECT_EQ(value->GetTag(), 0x1234);
    EXPECT_EQ(value->GetCount(), 3u);
    EXPECT_EQ(value->GetByteSize(), 3u * entry.elementSize);
    EXPECT_FALSE(value->IsSubIFD());
  }
  std::unique_ptr<XpTiffTagDataIFD> pointer(XpTiffTagDataIFD::Create(34665, 2));
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(pointer->GetType(), 0x8004);
  EXPECT_EQ(pointer->GetElementSize(), 4u);
  EXPECT_EQ(pointer->GetSwapUnit(), 4u);
  EXPECT_TRUE(pointer->IsSubIFD());
  // Codes outside 1-12 make no value.
  for (uint16_t type : {0, 13, 14, 0x8004}) {
    EXPECT_EQ(XpTiffTagDataCreate(type, 1, 1), nullptr) << type;
  }
}

TEST_F(XpTiffTagData, TheBufferIsZeroedWithOneMoreElement) {
  for (uint16_t type = 1; type <= 12; ++type) {
    SCOPED_TRACE(type);
    std::unique_ptr<XpTiffTagDataBase> value(XpTiffTagDataCreate(type, 1, 5));
    ASSERT_NE(value, nullptr);
    const uint64_t size = value->GetByteSize() + value->GetElementSize();
    const std::vector<uint8_t> zeros(size);
    EXPECT_EQ(std::memcmp(value->GetData(), zeros.data(), size), 0);
  }
  // Even an empty value has its zero element to look at.
  std::unique_ptr<XpTiffTagDataBase> empty(XpTiffTagDataCreate(2, 1, 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->GetByteSize(), 0u);
  EXPECT_EQ(empty->GetData()[0], 0);
  EXPECT_EQ(empty->GetValueText(0).ToMultiByte().ToStdString(), "");
}

TEST_F(XpTiffTagData, ElementTextsFollowTheirTypes) {
  const uint8_t byte200 = 200;
  const int8_t sbyte = static_cast<int8_t>(0xC8);
  const uint16_t shortMax = 65535;
  const int16_t sshort = -2;
  const uint32_t longHigh = 0x80000000u;
  const int32_t slong = -7;
  const uint32_t rational[2] = {1, 3};
  const int32_t srational[2] = {-1, 3};
  const float single = 1.5f;
  const double twice = -0.25;
  const char undefined[] = {'a', 'b', '\0', 'c', 'd'};
  const std::string letters(300, 'x');
  const struct {
    uint16_t type;
    uint32_t count;
    const void* bytes;
    std::string text;
  } cases[] = {
      {1, 1, &byte200, "200"},
      {6, 1, &sbyte, "-56"},
      {3, 1, &shortMax, "65535"},
      {8, 1, &sshort, "-2"},
      // LONG values of 2^31 and above print negative.
      {4, 1, &longHigh, "-2147483648"},
      {9, 1, &slong, "-7"},
      {5, 1, rational, "1/3"},
      {10, 1, srational, "-1/3"},
      {11, 1, &single, "1.500000"},
      {12, 1, &twice, "-0.250000"},
      {7, 5, undefined, "ab"},
      // At most 255 bytes of ASCII text.
      {2, 301, letters.c_str(), std::string(255, 'x')},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.type);
    auto value = ValueOf(entry.type, entry.count, entry.bytes);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->GetValueText(0).ToMultiByte().ToStdString(), entry.text);
  }
}

TEST_F(XpTiffTagData, ByteTextsIgnoreTheIndexAndNumbersStopAtTheCount) {
  auto ascii = ValueOf(2, 5, "abcd");
  EXPECT_EQ(ascii->GetByteSize(), 5u);
  for (uint32_t index : {0u, 3u, 9u}) {
    EXPECT_EQ(ascii->GetValueText(index).ToMultiByte().ToStdString(), "abcd") << index;
  }
  // An UNDEFINED value without NUL ends after its count.
  auto undefined = ValueOf(7, 3, "xyz");
  EXPECT_EQ(undefined->GetValueText(2).ToMultiByte().ToStdString(), "xyz");

  const uint16_t shorts[2] = {7, 9};
  auto value = ValueOf(3, 2, shorts);
  EXPECT_EQ(value->GetValueText(1).ToMultiByte().ToStdString(), "9");
  EXPECT_EQ(value->GetValueText(2).ToMultiByte().ToStdString(), "");
  EXPECT_EQ(value->GetValueText(0xFFFFFFFFu).ToMultiByte().ToStdString(), "");
}

TEST_F(XpTiffTagData, EightBitTextKeepsUndecodableBytesAsEscapes) {
  const uint8_t bytes[] = {'a', 0xFF, 0xC3, 0xA9, 0};
  auto value = ValueOf(2, 5, bytes);
  const XpString text = value->GetValueText(0);
  EXPECT_EQ(text, XpString(u"a\xDCFF\u00E9"));
  EXPECT_EQ(text.ToMultiByte().ToStdString(), std::string("a\xFF\xC3\xA9"));
}

TEST_F(XpTiffTagData, DumpShowsTwentyElementsAndNothingForByteTexts) {
  std::vector<uint32_t> numbers(25);
  for (uint32_t index = 0; index < numbers.size(); ++index) {
    numbers[index] = index * 10;
  }
  std::unique_ptr<XpTiffTagDataBase> value(XpTiffTagDataCreate(4, 274, 25));
  std::memcpy(value->GetData(), numbers.data(), value->GetByteSize());
  std::string expected = "  274(0x0112) x  25 (4) = 0";
  for (uint32_t index = 1; index < 20; ++index) {
    expected += ", " + std::to_string(index * 10);
  }
  EXPECT_EQ(value->Dump().ToMultiByte().ToStdString(), expected);

  // A sub-IFD value shows its raw offsets as LONG.
  std::unique_ptr<XpTiffTagDataIFD> pointer(XpTiffTagDataIFD::Create(34665, 1));
  std::memcpy(pointer->GetData(), numbers.data() + 3, 4);
  EXPECT_EQ(pointer->Dump().ToMultiByte().ToStdString(), "34665(0x8769) x   1 (4) = 30");

  EXPECT_EQ(ValueOf(2, 3, "ab")->Dump().ToMultiByte().ToStdString(), "");
  EXPECT_EQ(ValueOf(7, 3, "ab")->Dump().ToMultiByte().ToStdString(), "");
}

TEST_F(XpTiffTagData, CloneIsADeepCopyOfTheSameClass) {
  const uint32_t rational[2] = {72, 1};
  auto value = ValueOf(5, 1, rational);
  std::unique_ptr<XpTiffTagDataBase> copy(value->Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetType(), 5);
  EXPECT_EQ(copy->GetTag(), value->GetTag());
  EXPECT_EQ(copy->GetCount(), 1u);
  EXPECT_NE(copy->GetData(), value->GetData());
  copy->GetData()[0] = 99;
  EXPECT_EQ(value->GetValueText(0).ToMultiByte().ToStdString(), "72/1");
  EXPECT_EQ(copy->GetValueText(0).ToMultiByte().ToStdString(), "99/1");
}

}  // namespace
