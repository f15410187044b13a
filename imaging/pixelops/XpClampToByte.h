#pragma once

#include <cstdint>

inline constexpr int32_t kXpByteMax = 255;

// 0 for values below 1, 255 for 255 or more, the value otherwise.
constexpr uint8_t XpClampToByte(int32_t value) {
  if (value < 1) {
    return 0;
  }
  if (value >= kXpByteMax) {
    return kXpByteMax;
  }
  return static_cast<uint8_t>(value);
}
