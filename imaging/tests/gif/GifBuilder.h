#pragma once

#include <cstdint>
#include <vector>

// Hand-made GIF files for tests. The LZW data uses 8-bit literals with a
// clear code often enough that the code width never grows, so any index
// 0-255 can be written whatever the colour maps hold.
class GifBuilder {
 public:
  struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
  };

  // "GIF89a" and the logical screen; an empty map means none. Maps of
  // other sizes than a power of two are padded with black.
  GifBuilder& Screen(uint16_t width, uint16_t height, const std::vector<Rgb>& globalMap,
                     uint8_t background);
  // A graphic-control extension whose sub-block has the given length byte
  // (4 is the well-formed one); transparent below 0 means none.
  GifBuilder& GraphicControl(uint16_t delay, int transparent, uint8_t length = 4);
  // An image descriptor with pixels given top row first; with interlaced,
  // the rows are stored in the four-pass order.
  GifBuilder& Image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                    const std::vector<uint8_t>& pixels, const std::vector<Rgb>& localMap = {},
                    bool interlaced = false);
  GifBuilder& Trailer();

  const std::vector<uint8_t>& Bytes() const { return data_; }

 private:
  void U8(uint8_t value) { data_.push_back(value); }
  void U16(uint16_t value);
  void Map(const std::vector<Rgb>& map);
  void LzwData(const std::vector<uint8_t>& indexes);

  std::vector<uint8_t> data_;
};
