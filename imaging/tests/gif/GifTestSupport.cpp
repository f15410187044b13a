#include "imaging/tests/gif/GifTestSupport.h"

std::array<uint8_t, 3> PixelAt(const XpPixmapBase& pixmap, int32_t x, int32_t y) {
  const uint8_t* pixel = pixmap.GetPlane(0)->Row(y) + static_cast<size_t>(x) * 3;
  return {pixel[0], pixel[1], pixel[2]};
}

std::vector<std::array<uint8_t, 3>> AllPixels(const XpPixmapBase& pixmap) {
  std::vector<std::array<uint8_t, 3>> pixels;
  for (int32_t y = 0; y < pixmap.height; ++y) {
    for (int32_t x = 0; x < pixmap.width; ++x) {
      pixels.push_back(PixelAt(pixmap, x, y));
    }
  }
  return pixels;
}
