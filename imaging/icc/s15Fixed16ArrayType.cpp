#include "imaging/icc/s15Fixed16ArrayType.h"

XpResult s15Fixed16ArrayType::Read(XpAbstractFile& file, uint32_t size) {
  return ReadNumberList(file, size, kSignature, kNumberBytes, numbers_);
}

s15Fixed16Number s15Fixed16ArrayType::GetAt(size_t index) const {
  CheckIndex(index, numbers_.size());
  return numbers_[index];
}

void s15Fixed16ArrayType::SetAt(size_t index, const s15Fixed16Number& number) {
  CheckIndex(index, numbers_.size());
  numbers_[index] = number;
}
