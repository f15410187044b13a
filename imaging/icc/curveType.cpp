#include "imaging/icc/curveType.h"

namespace {

// Type head and the count.
constexpr uint32_t kFixedBytes = 12;
constexpr uint32_t kEntryBytes = 2;

}  // namespace

XpResult curveType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = ReadTypeHeadOfSize(file, kSignature, size, kFixedBytes);
  entries_.clear();
  uint32_t count = 0;
  if (result == kXpOk) {
    result = ReadUInt32(file, count);
  }
  if (result == kXpOk && count > (size - kFixedBytes) / kEntryBytes) {
    result = kXpErrEndOfFile;
  }
  if (result == kXpOk) {
    result = Require(file, uint64_t{count} * kEntryBytes);
  }
  if (result != kXpOk) {
    return result;
  }
  entries_.resize(count);
  for (uint16_t& entry : entries_) {
    result = ReadUInt16(file, entry);
    if (result != kXpOk) {
      break;
    }
  }
  return result;
}
