#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bitmaptest {

// The makings of a test bitmap. Pixel (x, row) of the data, row 0 the
// first (bottom) row, has channel c = Value(x, row, c).
struct BitmapSpec {
  bool fileHeader = true;
  uint32_t infoSize = 40;
  int32_t width = 2;
  int32_t height = 2;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  // Bytes between the headers (and masks) and the pixels.
  uint32_t gap = 0;
  // Written as the file header's pixel offset; 0 means the true one.
  uint32_t pixelOffset = 0;
  // Bytes cut off the end.
  size_t truncate = 0;
};

inline uint8_t Value(int32_t x, int32_t row, int32_t c) {
  return static_cast<uint8_t>(x * 16 + row * 64 + c + 1);
}

inline void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline size_t Stride(const BitmapSpec& spec) {
  return (static_cast<size_t>(spec.bitCount) * static_cast<size_t>(spec.width) + 31) / 32 * 4;
}

// The pixel bytes start after the headers, the masks (40-byte header with
// compression 3) and the gap; the offset written says whatever spec says.
inline std::vector<uint8_t> BuildBitmap(const BitmapSpec& spec) {
  const size_t fileHeader = spec.fileHeader ? 14 : 0;
  const size_t masks = spec.infoSize == 40 && spec.compression == 3 ? 12 : 0;
  const size_t pixels = fileHeader + spec.infoSize + masks + spec.gap;
  const size_t stride = Stride(spec);
  const int32_t rows = spec.height < 0 ? -spec.height : spec.height;
  std::vector<uint8_t> bytes(pixels + stride * static_cast<size_t>(rows), 0xEE);
  if (spec.fileHeader) {
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    PutU32(bytes, 10, spec.pixelOffset != 0 ? spec.pixelOffset : static_cast<uint32_t>(pixels));
  }
  const size_t info = fileHeader;
  PutU32(bytes, info, spec.infoSize);
  PutU32(bytes, info + 4, static_cast<uint32_t>(spec.width));
  PutU32(bytes, info + 8, static_cast<uint32_t>(spec.height));
  PutU16(bytes, info + 12, 1);
  PutU16(bytes, info + 14, spec.bitCount);
  PutU32(bytes, info + 16, spec.compression);
  const int32_t channels = spec.bitCount / 8;
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t x = 0; x < spec.width && channels > 0; ++x) {
      for (int32_t c = 0; c < channels; ++c) {
        bytes[pixels + static_cast<size_t>(row) * stride + static_cast<size_t>(x * channels + c)] =
            Value(x, row, c);
      }
    }
  }
  bytes.resize(bytes.size() - spec.truncate);
  return bytes;
}

}  // namespace bitmaptest
