#pragma once

#include <cstdint>

// A width and height, or an x and y position.
struct XpSize {
  XpSize() = default;
  XpSize(int32_t cxIn, int32_t cyIn) : cx(cxIn), cy(cyIn) {}

  friend bool operator==(const XpSize&, const XpSize&) = default;

  int32_t cx = 0;
  int32_t cy = 0;
};
