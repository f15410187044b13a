#include "imaging/tags/XpTiffByteOrder.h"

#include <algorithm>
#include <cstring>

uint16_t XpTiffLoad16(const uint8_t* bytes, bool bigEndian) {
  uint16_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return bigEndian ? __builtin_bswap16(value) : value;
}

uint32_t XpTiffLoad32(const uint8_t* bytes, bool bigEndian) {
  uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return bigEndian ? __builtin_bswap32(value) : value;
}

void XpTiffStore16(uint8_t* bytes, uint16_t value, bool bigEndian) {
  const uint16_t stored = bigEndian ? __builtin_bswap16(value) : value;
  std::memcpy(bytes, &stored, sizeof stored);
}

void XpTiffStore32(uint8_t* bytes, uint32_t value, bool bigEndian) {
  const uint32_t stored = bigEndian ? __builtin_bswap32(value) : value;
  std::memcpy(bytes, &stored, sizeof stored);
}

void XpTiffSwapUnits(uint8_t* bytes, uint64_t byteSize, uint32_t unit) {
  if (unit <= 1) {
    return;
  }
  for (uint64_t at = 0; at + unit <= byteSize; at += unit) {
    std::reverse(bytes + at, bytes + at + unit);
  }
}
