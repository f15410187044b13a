#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Opaque token of a drawable bitmap. Null means "no bitmap handle".
using XpBitmapHandle = void*;

inline constexpr uint32_t kXpBitmapInfoHeaderSize = 40;
inline constexpr uint32_t kXpBitmapCompressionRgb = 0;

// The 40-byte device-independent bitmap header, field for field. Fixed-width
// fields only: the layout must not depend on the size of long.
struct XpBitmapInfoHeader {
  uint32_t biSize = kXpBitmapInfoHeaderSize;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = kXpBitmapCompressionRgb;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

static_assert(std::is_standard_layout_v<XpBitmapInfoHeader>);
static_assert(sizeof(XpBitmapInfoHeader) == kXpBitmapInfoHeaderSize);
static_assert(offsetof(XpBitmapInfoHeader, biPlanes) == 12);
static_assert(offsetof(XpBitmapInfoHeader, biCompression) == 16);
static_assert(offsetof(XpBitmapInfoHeader, biSizeImage) == 20);
static_assert(offsetof(XpBitmapInfoHeader, biClrImportant) == 36);
