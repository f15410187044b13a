#include "imaging/icc/icc_type.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

XpResult icc_type::ReadTypeHeadOfSize(XpAbstractFile& file, IccSignature expected,
                                      uint32_t size, uint32_t minimum) {
  const XpResult result = ReadTypeHead(file, expected);
  return result != kXpOk ? result : CheckSize(size, minimum);
}

XpResult icc_type::ReadText(XpAbstractFile& file, uint32_t count, XpStringA& text) {
  XpResult result = Require(file, count);
  if (result != kXpOk) {
    return result;
  }
  if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    return kXpErrOutOfMemory;
  }
  std::vector<char> bytes(count);
  result = ReadBytes(file, bytes.data(), count);
  if (result != kXpOk) {
    return result;
  }
  const auto end = std::find(bytes.begin(), bytes.end(), '\0');
  text = XpStringA(bytes.data(), static_cast<int32_t>(end - bytes.begin()));
  return kXpOk;
}

void icc_type::CheckIndex(size_t index, size_t count) {
  if (index >= count) {
    throw std::out_of_range("invalid vector<T> subscript");
  }
}
