#include "imaging/icc/XYZType.h"

XpResult XYZType::Read(XpAbstractFile& file, uint32_t size) {
  return ReadNumberList(file, size, kSignature, kNumberBytes, numbers_);
}

XYZNumber XYZType::GetAt(size_t index) const {
  CheckIndex(index, numbers_.size());
  return numbers_[index];
}

void XYZType::SetAt(size_t index, const XYZNumber& number) {
  CheckIndex(index, numbers_.size());
  numbers_[index] = number;
}
