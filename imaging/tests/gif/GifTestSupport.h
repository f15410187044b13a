#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "imaging/pixmap/XpPixmapBase.h"

// Blue, green, red of the pixel at (x, y) of a BGR 24-bit pixmap.
std::array<uint8_t, 3> PixelAt(const XpPixmapBase& pixmap, int32_t x, int32_t y);
// Every pixel, row by row.
std::vector<std::array<uint8_t, 3>> AllPixels(const XpPixmapBase& pixmap);
