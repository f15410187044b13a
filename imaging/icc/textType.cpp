#include "imaging/icc/textType.h"

XpResult textType::Read(XpAbstractFile& file, uint32_t size) {
  XpResult result = CheckSize(size, kTypeHeadBytes);
  if (result == kXpOk) {
    result = ReadTypeHead(file, kSignature);
  }
  return result != kXpOk ? result : ReadText(file, size - kTypeHeadBytes, text_);
}
