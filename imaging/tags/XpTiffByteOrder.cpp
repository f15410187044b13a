#include "imaging/tags/XpTiffByteOrder.h"

#include <algorithm>

void XpTiffSwapUnits(uint8_t* bytes, uint64_t byteSize, uint32_t unit) {
  if (unit <= 1) {
    return;
  }
  for (uint64_t at = 0; at + unit <= byteSize; at += unit) {
    std::reverse(bytes + at, bytes + at + unit);
  }
}
