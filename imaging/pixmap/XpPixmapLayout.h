#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/result/XpResult.h"

inline constexpr int32_t kXpPlaneCount = 4;
// Subsampling value of an empty plane: width, height and stride 0.
inline constexpr int32_t kXpSubsamplingEmpty = 32;
// Largest pixel block a pixmap may have.
inline constexpr uint64_t kXpMaxPixmapBlockSize = 0xFFFFFFFFu;

// How one plane is laid out relative to the pixmap's size.
struct XpPlaneFormat {
  int32_t bytesPerPixel;
  int32_t alignment;  // row alignment in bytes
  int32_t subsamplingX;
  int32_t subsamplingY;
};

struct XpPlaneLayout {
  int32_t width = 0;
  int32_t height = 0;
  size_t stride = 0;
  size_t offset = 0;  // from the start of the block
};

// Planes lie one after another in one block.
struct XpPixmapLayout {
  std::array<XpPlaneLayout, kXpPlaneCount> planes;
  size_t blockSize = 0;
};

// Lays out a pixmap of width x height. kXpErrGeneric for a width or height
// below 1; kXpErrOutOfMemory when the block would exceed
// kXpMaxPixmapBlockSize (the computation cannot wrap).
[[nodiscard]] XpResult XpComputePixmapLayout(
    const std::array<XpPlaneFormat, kXpPlaneCount>& formats, int32_t width, int32_t height,
    XpPixmapLayout& layout);
