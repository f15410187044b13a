#include "imaging/icc/multiLocalizedUnicodeType.h"

namespace {

// Type head and the record count.
constexpr uint32_t kFixedBytes = 12;

}  // namespace

XpResult multiLocalizedUnicodeType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = ReadTypeHeadOfSize(file, kSignature, size, kFixedBytes);
  uint32_t recordCount = 0;
  return result != kXpOk ? result : ReadUInt32(file, recordCount);
}
