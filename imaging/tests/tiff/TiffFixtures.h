#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// A picture written with libtiff: 8-bit RGB, contiguous, in strips.
struct TiffLayout {
  uint32_t width = 1;
  uint32_t height = 1;
  // Red, green, blue per pixel, top row first.
  std::vector<uint8_t> rgb;
  uint16_t compression = 1;
  // 0: no Orientation tag.
  uint16_t orientation = 0;
  bool hasDotRange = false;
  uint16_t dotLow = 0;
  uint16_t dotHigh = 0;
  std::vector<uint8_t> iccProfile;
  bool bigEndian = false;
  uint32_t rowsPerStrip = 16;
};

// An RGB buffer of one colour.
std::vector<uint8_t> SolidRgb(uint32_t width, uint32_t height, uint8_t red, uint8_t green,
                              uint8_t blue);
// Writes the picture; false when libtiff failed.
bool WriteTiff(const std::filesystem::path& path, const TiffLayout& layout);
