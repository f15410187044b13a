#include "imaging/icc/textDescriptionType.h"

namespace {

// Type head and the ASCII count.
constexpr uint32_t kFixedBytes = 12;

}  // namespace

XpResult textDescriptionType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = ReadTypeHeadOfSize(file, kSignature, size, kFixedBytes);
  uint32_t count = 0;
  if (result == kXpOk) {
    result = ReadUInt32(file, count);
  }
  if (result == kXpOk && count > size - kFixedBytes) {
    result = kXpErrEndOfFile;
  }
  return result != kXpOk ? result : ReadText(file, count, text_);
}
