#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/icc/XYZNumber.h"
#include "imaging/icc/XYZType.h"
#include "imaging/icc/curveType.h"
#include "imaging/icc/dateTimeNumber.h"
#include "imaging/icc/multiLocalizedUnicodeType.h"
#include "imaging/icc/parametricCurveType.h"
#include "imaging/icc/s15Fixed16ArrayType.h"
#include "imaging/icc/textDescriptionType.h"
#include "imaging/icc/textType.h"
#include "imaging/tests/icc/IccProfileBuilder.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using IccTagTypes = testsupport::HermeticTest;

// Reads value from a memory file over bytes with the tag size given; the
// file starts in little-endian order, which every reader must replace.
[[nodiscard]] XpResult ReadType(icc_type& value, std::vector<uint8_t> bytes, uint32_t size) {
  XpMemoryFile file(bytes.data(), bytes.size(), kXpByteOrderLittleEndian, false);
  return value.Read(file, size);
}

uint32_t SizeOf(const std::vector<uint8_t>& bytes) { return static_cast<uint32_t>(bytes.size()); }

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

std::vector<int32_t> RawOf(const std::vector<s15Fixed16Number>& numbers) {
  std::vector<int32_t> raw;
  for (const s15Fixed16Number& number : numbers) {
    raw.push_back(number.GetRaw());
  }
  return raw;
}

// What a value holds after a read, as one comparable text.
std::string Held(const icc_type& value) {
  if (const auto* text = dynamic_cast<const textType*>(&value)) {
    return "text '" + std::string(text->GetText().View()) + "'";
  }
  if (const auto* desc = dynamic_cast<const textDescriptionType*>(&value)) {
    return "desc '" + std::string(desc->GetText().View()) + "'";
  }
  if (const auto* curve = dynamic_cast<const curveType*>(&value)) {
    return "curv " + std::to_string(curve->GetEntries().size());
  }
  if (const auto* para = dynamic_cast<const parametricCurveType*>(&value)) {
    return "para " + std::to_string(para->GetParameters().size());
  }
  if (const auto* numbers = dynamic_cast<const s15Fixed16ArrayType*>(&value)) {
    return "sf32 " + std::to_string(numbers->GetCount());
  }
  if (const auto* xyz = dynamic_cast<const XYZType*>(&value)) {
    return "XYZ " + std::to_string(xyz->GetCount());
  }
  return "mluc";
}

struct TypeCase {
  std::string name;
  std::function<std::unique_ptr<icc_type>()> make;
  std::vector<uint8_t> bytes;
  uint32_t size;
  XpResult result;
  std::string held;
};

template <typename T>
std::function<std::unique_ptr<icc_type>()> Make() {
  return [] { return std::make_unique<T>(); };
}

void RunCases(const std::vector<TypeCase>& cases) {
  for (const TypeCase& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::unique_ptr<icc_type> value = entry.make();
    EXPECT_EQ(ReadType(*value, entry.bytes, entry.size), entry.result);
    EXPECT_EQ(Held(*value), entry.held);
  }
}

constexpr XpResult kEnd = kXpErrEndOfFile;
constexpr XpResult kWrong = kXpErrIccWrongType;
const std::vector<uint32_t> kSevenNumbers = {0x10000, 0x20000, 0x30000, 0x40000,
                                             0x50000, 0x60000, 0x70000};

TEST_F(IccTagTypes, EachTypeReadsItsLayout) {
  std::vector<TypeCase> cases = {
      {"desc n = 0", Make<textDescriptionType>(), IccDescData("", 0), 12, kXpOk, "desc ''"},
      {"desc without NUL", Make<textDescriptionType>(), IccDescData("abcde", 5), 17, kXpOk,
       "desc 'abcde'"},
      {"desc ends at NUL", Make<textDescriptionType>(), IccDescData(std::string("ab\0cd", 5), 5),
       17, kXpOk, "desc 'ab'"},
      {"desc with its other parts", Make<textDescriptionType>(), IccDescData("Display"),
       SizeOf(IccDescData("Display")), kXpOk, "desc 'Display'"},
      {"curv n = 0", Make<curveType>(), IccCurveData({}), 12, kXpOk, "curv 0"},
      {"curv n = 1", Make<curveType>(), IccCurveData({0x0233}), 14, kXpOk, "curv 1"},
      {"sf32 size 20", Make<s15Fixed16ArrayType>(), IccNumbersData("sf32", {1, 2, 3}), 20, kXpOk,
       "sf32 3"},
      {"sf32 size 8", Make<s15Fixed16ArrayType>(), IccNumbersData("sf32", {}), 8, kXpOk,
       "sf32 0"},
      {"XYZ size 20", Make<XYZType>(), Padded(IccNumbersData("XYZ ", {1, 2, 3}), 20), 20, kXpOk,
       "XYZ 1"},
      {"XYZ size 31", Make<XYZType>(), Padded(IccNumbersData("XYZ ", {1, 2, 3}), 31), 31, kXpOk,
       "XYZ 1"},
      {"text size 12", Make<textType>(), IccTextData("abcd"), 12, kXpOk, "text 'abcd'"},
      {"text ends at NUL", Make<textType>(), IccTextData(std::string("ab\0d", 4)), 12, kXpOk,
       "text 'ab'"},
      {"text size 8", Make<textType>(), IccTextData(""), 8, kXpOk, "text ''"},
      {"mluc", Make<multiLocalizedUnicodeType>(), IccNumbersData("mluc", {1, 12}), 16, kXpOk,
       "mluc"},
  };
  const struct {
    uint16_t functionType;
    size_t parameters;
  } para[] = {{0, 1}, {1, 3}, {2, 4}, {3, 5}, {4, 7}, {7, 7}};
  for (const auto& entry : para) {
    const std::vector<uint8_t> bytes = IccParaData(entry.functionType, kSevenNumbers);
    cases.push_back({"para type " + std::to_string(entry.functionType),
                     Make<parametricCurveType>(), bytes, SizeOf(bytes), kXpOk,
                     "para " + std::to_string(entry.parameters)});
  }
  RunCases(cases);
}

TEST_F(IccTagTypes, DataOfAnotherTypeIsRefused) {
  RunCases({
      {"text as desc", Make<textDescriptionType>(), IccTextData("abcdefgh"), 16, kWrong,
       "desc ''"},
      {"desc as text", Make<textType>(), IccDescData("abc"), SizeOf(IccDescData("abc")), kWrong,
       "text ''"},
      {"para as curv", Make<curveType>(), IccParaData(0, {1}), 16, kWrong, "curv 0"},
      {"curv as para", Make<parametricCurveType>(), IccCurveData({1, 2}), 16, kWrong, "para 1"},
      {"XYZ as sf32", Make<s15Fixed16ArrayType>(), IccNumbersData("XYZ ", {1, 2, 3}), 20, kWrong,
       "sf32 0"},
      {"sf32 as XYZ", Make<XYZType>(), IccNumbersData("sf32", {1, 2, 3}), 20, kWrong, "XYZ 0"},
      {"desc as mluc", Make<multiLocalizedUnicodeType>(), IccDescData("abc"), 16, kWrong, "mluc"},
  });
}

// The same bytes under another type signature.
std::vector<uint8_t> Resigned(std::vector<uint8_t> bytes) {
  const std::string other = "abcd";
  std::copy(other.begin(), other.end(), bytes.begin());
  return bytes;
}

TEST_F(IccTagTypes, TheSignatureIsCheckedBeforeTheSize) {
  const struct {
    std::string name;
    std::function<std::unique_ptr<icc_type>()> make;
    std::vector<uint8_t> bytes;
    uint32_t minimum;
    std::string held;
  } types[] = {
      {"desc", Make<textDescriptionType>(), IccDescData("", 0), 12, "desc ''"},
      {"curv", Make<curveType>(), IccCurveData({}), 12, "curv 0"},
      {"para", Make<parametricCurveType>(), IccParaData(0, {1}), 12, "para 1"},
      {"mluc", Make<multiLocalizedUnicodeType>(), IccNumbersData("mluc", {1, 12}), 12, "mluc"},
      {"text", Make<textType>(), IccTextData("abcd"), 8, "text ''"},
      {"sf32", Make<s15Fixed16ArrayType>(), IccNumbersData("sf32", {1}), 8, "sf32 0"},
      {"XYZ", Make<XYZType>(), IccNumbersData("XYZ ", {1, 2, 3}), 8, "XYZ 0"},
  };
  std::vector<TypeCase> cases;
  for (const auto& type : types) {
    const std::vector<uint8_t> wrong = Resigned(type.bytes);
    for (const uint32_t tiny : {0u, 3u, type.minimum - 1}) {
      const std::string size = " size " + std::to_string(tiny);
      cases.push_back({type.name + " tiny" + size, type.make, type.bytes, tiny, kEnd, type.held});
      cases.push_back({type.name + " tiny, wrong signature" + size, type.make, wrong, tiny, kWrong,
                       type.held});
    }
    cases.push_back({type.name + " wrong signature", type.make, wrong, SizeOf(wrong), kWrong,
                     type.held});
    cases.push_back({type.name + " data ends inside the signature", type.make,
                     std::vector<uint8_t>(type.bytes.begin(), type.bytes.begin() + 3), 3, kEnd,
                     type.held});
  }
  RunCases(cases);
}

TEST_F(IccTagTypes, HostileCountsAndSizesFailBeforeAnythingIsAllocated) {
  std::vector<TypeCase> cases = {
      {"desc n = 0xFFFFFFFF, size 40", Make<textDescriptionType>(),
       Padded(IccDescData("abc", 0xFFFFFFFF), 40), 40, kEnd, "desc ''"},
      {"desc n one past size - 12", Make<textDescriptionType>(),
       Padded(IccDescData(std::string(29, 'x'), 29), 100), 40, kEnd, "desc ''"},
      {"desc n = size - 12", Make<textDescriptionType>(),
       Padded(IccDescData(std::string(28, 'x'), 28), 100), 40, kXpOk,
       "desc '" + std::string(28, 'x') + "'"},
      {"desc n past the file", Make<textDescriptionType>(), IccDescData("abc", 1000), 0xFFFFFFFF,
       kEnd, "desc ''"},
      {"desc size 11", Make<textDescriptionType>(), IccDescData("", 0), 11, kEnd, "desc ''"},
      {"curv n = 0x7FFFFFFF, size 16", Make<curveType>(),
       Padded(IccNumbersData("curv", {0x7FFFFFFF}), 16), 16, kEnd, "curv 0"},
      {"curv n = (size - 12) / 2", Make<curveType>(), IccCurveData({1, 2}), 16, kXpOk, "curv 2"},
      {"curv n one past (size - 12) / 2", Make<curveType>(), Padded(IccCurveData({1, 2, 3}), 18),
       17, kEnd, "curv 0"},
      {"curv n past the file", Make<curveType>(), IccNumbersData("curv", {1000}), 0xFFFFFFFF,
       kEnd, "curv 0"},
      {"curv size 11", Make<curveType>(), IccCurveData({}), 11, kEnd, "curv 0"},
      {"text size past the file", Make<textType>(), Padded(IccTextData("abc"), 100), 0xFFFFFFFF,
       kEnd, "text ''"},
      {"sf32 size 0xFFFFFFF0", Make<s15Fixed16ArrayType>(),
       Padded(IccNumbersData("sf32", {}), 100), 0xFFFFFFF0, kEnd, "sf32 0"},
      {"XYZ size 0xFFFFFFF0", Make<XYZType>(), Padded(IccNumbersData("XYZ ", {}), 100),
       0xFFFFFFF0, kEnd, "XYZ 0"},
      {"para cut after three numbers", Make<parametricCurveType>(),
       IccParaData(4, {0x10000, 0x20000, 0x30000}), 40, kEnd, "para 3"},
  };
  for (uint32_t size = 0; size < 8; ++size) {
    const std::string small = " size " + std::to_string(size);
    cases.push_back({"text" + small, Make<textType>(), IccTextData("abcd"), size, kEnd, "text ''"});
    cases.push_back({"sf32" + small, Make<s15Fixed16ArrayType>(), IccNumbersData("sf32", {1}),
                     size, kEnd, "sf32 0"});
    cases.push_back({"XYZ" + small, Make<XYZType>(), IccNumbersData("XYZ ", {1, 2, 3}), size,
                     kEnd, "XYZ 0"});
  }
  RunCases(cases);
}

TEST_F(IccTagTypes, AHugeSizeReservesNothing) {
  const std::vector<uint8_t> numbers = Padded(IccNumbersData("sf32", {}), 100);
  s15Fixed16ArrayType array;
  EXPECT_EQ(ReadType(array, numbers, 0xFFFFFFF0), kXpErrEndOfFile);
  EXPECT_EQ(array.GetCapacityForTest(), 0u);
  const std::vector<uint8_t> xyzBytes = Padded(IccNumbersData("XYZ ", {}), 100);
  XYZType xyz;
  EXPECT_EQ(ReadType(xyz, xyzBytes, 0xFFFFFFF0), kXpErrEndOfFile);
  EXPECT_EQ(xyz.GetCapacityForTest(), 0u);
}

TEST_F(IccTagTypes, NumbersComeInBigEndianOrder) {
  curveType curve;
  ASSERT_EQ(ReadType(curve, IccCurveData({0x0100, 0xFFFF}), 16), kXpOk);
  EXPECT_EQ(curve.GetEntries(), (std::vector<uint16_t>{0x0100, 0xFFFF}));

  const std::vector<uint32_t> raw = {0x00026666, 0x0000F2A7, 0x00000D59, 0x00013333, 0x0000A3D7};
  parametricCurveType para;
  ASSERT_EQ(ReadType(para, IccParaData(3, raw), 32), kXpOk);
  EXPECT_EQ(RawOf(para.GetParameters()), std::vector<int32_t>(raw.begin(), raw.end()));

  s15Fixed16ArrayType array;
  ASSERT_EQ(ReadType(array, IccNumbersData("sf32", {0x00010000, 0xFFFF8000, 0x80000000}), 20),
            kXpOk);
  EXPECT_EQ(RawOf(array.GetNumbers()),
            (std::vector<int32_t>{0x10000, -0x8000, static_cast<int32_t>(0x80000000)}));

  XYZType xyz;
  ASSERT_EQ(ReadType(xyz, IccNumbersData("XYZ ", {1, 2, 3, 4, 5, 0xFFFFFFFF}), 32), kXpOk);
  ASSERT_EQ(xyz.GetCount(), 2u);
  EXPECT_EQ(RawOf({xyz.GetAt(1).GetX(), xyz.GetAt(1).GetY(), xyz.GetAt(1).GetZ()}),
            (std::vector<int32_t>{4, 5, -1}));
}

TEST_F(IccTagTypes, MlucReadsItsHeadAndStoresNothing) {
  multiLocalizedUnicodeType mluc(0x656E, 0x5553, {'h', 'i'});
  EXPECT_EQ(ReadType(mluc, IccNumbersData("mluc", {1, 12, 0x64650000}), 28), kXpOk);
  EXPECT_EQ(mluc.GetLanguageCode(), 0x656E);
  EXPECT_EQ(mluc.GetCountryCode(), 0x5553);
  EXPECT_EQ(mluc.GetText(), (std::vector<uint16_t>{'h', 'i'}));
  // The record count must be there.
  EXPECT_EQ(ReadType(mluc, IccNumbersData("mluc", {}), 16), kXpErrEndOfFile);
}

TEST_F(IccTagTypes, AReadReplacesTheListItHeld) {
  curveType curve({1, 2, 3});
  ASSERT_EQ(ReadType(curve, IccCurveData({9}), 14), kXpOk);
  EXPECT_EQ(curve.GetEntries(), std::vector<uint16_t>{9});
  parametricCurveType para;
  ASSERT_EQ(ReadType(para, IccParaData(1, kSevenNumbers), 24), kXpOk);
  EXPECT_EQ(RawOf(para.GetParameters()), (std::vector<int32_t>{0x10000, 0x20000, 0x30000}));
}

TEST_F(IccTagTypes, IndexedAccessOutsideTheListThrows) {
  s15Fixed16ArrayType array({s15Fixed16Number(1.0), s15Fixed16Number(2.0)});
  array.SetAt(1, s15Fixed16Number(-1.0));
  EXPECT_EQ(array.GetAt(1).GetRaw(), -0x10000);
  XYZType xyz({XYZNumber()});
  xyz.SetAt(0, XYZNumber(s15Fixed16Number(1.0), s15Fixed16Number(0.5), s15Fixed16Number(0.25)));
  EXPECT_EQ(xyz.GetAt(0).GetZ().GetRaw(), 0x4000);

  const std::vector<std::function<void()>> outside = {
      [&] { static_cast<void>(array.GetAt(2)); },
      [&] { array.SetAt(2, s15Fixed16Number()); },
      [&] { static_cast<void>(xyz.GetAt(1)); },
      [&] { xyz.SetAt(5, XYZNumber()); },
      [] { static_cast<void>(s15Fixed16ArrayType().GetAt(0)); },
  };
  for (size_t index = 0; index < outside.size(); ++index) {
    SCOPED_TRACE(index);
    try {
      outside[index]();
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& error) {
      EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
    }
  }
  EXPECT_EQ(array.GetCount(), 2u);
  EXPECT_EQ(xyz.GetCount(), 1u);
}

TEST_F(IccTagTypes, ParametricCurvesStartAsGammaTwoPointTwo) {
  EXPECT_EQ(RawOf(parametricCurveType().GetParameters()), std::vector<int32_t>{0x00023333});
  const s15Fixed16Number one(1.0);
  const s15Fixed16Number two(2.0);
  EXPECT_EQ(parametricCurveType(one, two, one).GetParameters().size(), 3u);
  EXPECT_EQ(parametricCurveType(one, two, one, two).GetParameters().size(), 4u);
  EXPECT_EQ(RawOf(parametricCurveType(one, two, one, two, one).GetParameters()),
            (std::vector<int32_t>{0x10000, 0x20000, 0x10000, 0x20000, 0x10000}));
  EXPECT_EQ(parametricCurveType(one, two, one, two, one, two, one).GetParameters().size(), 7u);
}

TEST_F(IccTagTypes, DateAndXYZNumbersReadTheirFields) {
  std::vector<uint8_t> bytes = IccBytes().U16(2009).U16(5).U16(6).U16(23).U16(59).U16(58).Data();
  dateTimeNumber date;
  {
    XpMemoryFile file(bytes.data(), bytes.size(), kXpByteOrderLittleEndian, false);
    ASSERT_EQ(date.Read(file), kXpOk);
  }
  EXPECT_EQ(std::vector<int>({date.GetYear(), date.GetMonth(), date.GetDay(), date.GetHours(),
                              date.GetMinutes(), date.GetSeconds()}),
            std::vector<int>({2009, 5, 6, 23, 59, 58}));
  {
    XpMemoryFile cut(bytes.data(), 11, false);
    EXPECT_EQ(dateTimeNumber().Read(cut), kXpErrEndOfFile);
  }
  date.SetYear(2010);
  date.SetSeconds(1);
  EXPECT_EQ(date.GetYear(), 2010);
  EXPECT_EQ(date.GetSeconds(), 1);

  std::vector<uint8_t> xyzBytes = IccBytes().U32(0xF6D6).U32(0x10000).U32(0xFFFF0000).Data();
  XYZNumber xyz;
  {
    XpMemoryFile file(xyzBytes.data(), xyzBytes.size(), false);
    ASSERT_EQ(xyz.Read(file), kXpOk);
  }
  EXPECT_EQ(RawOf({xyz.GetX(), xyz.GetY(), xyz.GetZ()}),
            (std::vector<int32_t>{0xF6D6, 0x10000, -0x10000}));
  XpMemoryFile cut(xyzBytes.data(), 10, false);
  EXPECT_EQ(XYZNumber().Read(cut), kXpErrEndOfFile);
}

}  // namespace
