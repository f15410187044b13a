#include "imaging/icc/textType.h"

XpResult textType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = ReadTypeHeadOfSize(file, kSignature, size, kTypeHeadBytes);
  return result != kXpOk ? result : ReadText(file, size - kTypeHeadBytes, text_);
}
