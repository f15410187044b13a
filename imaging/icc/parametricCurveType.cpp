#include "imaging/icc/parametricCurveType.h"

#include <iterator>

namespace {

constexpr double kDefaultGamma = 2.2;
// Type head, function type and its reserved word.
constexpr uint32_t kFixedBytes = 12;

size_t ParameterCount(uint16_t functionType) {
  static constexpr size_t kCounts[] = {1, 3, 4, 5, 7};
  return functionType < std::size(kCounts) ? kCounts[functionType]
                                           : parametricCurveType::kMaxParameters;
}

}  // namespace

parametricCurveType::parametricCurveType() : parameters_{s15Fixed16Number(kDefaultGamma)} {}

parametricCurveType::parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                                         const s15Fixed16Number& b)
    : parameters_{g, a, b} {}

parametricCurveType::parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                                         const s15Fixed16Number& b, const s15Fixed16Number& c)
    : parameters_{g, a, b, c} {}

parametricCurveType::parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                                         const s15Fixed16Number& b, const s15Fixed16Number& c,
                                         const s15Fixed16Number& d)
    : parameters_{g, a, b, c, d} {}

parametricCurveType::parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                                         const s15Fixed16Number& b, const s15Fixed16Number& c,
                                         const s15Fixed16Number& d, const s15Fixed16Number& e,
                                         const s15Fixed16Number& f)
    : parameters_{g, a, b, c, d, e, f} {}

XpResult parametricCurveType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = ReadTypeHeadOfSize(file, kSignature, size, kFixedBytes);
  uint16_t functionType = 0;
  uint16_t reserved = 0;
  if (result == kXpOk) {
    result = ReadUInt16(file, functionType);
  }
  if (result == kXpOk) {
    result = ReadUInt16(file, reserved);
  }
  if (result != kXpOk) {
    return result;
  }
  parameters_.clear();
  parameters_.reserve(kMaxParameters);
  const size_t count = ParameterCount(functionType);
  for (size_t index = 0; index < count; ++index) {
    s15Fixed16Number parameter;
    result = parameter.Read(file);
    if (result != kXpOk) {
      break;
    }
    parameters_.push_back(parameter);
  }
  return result;
}
