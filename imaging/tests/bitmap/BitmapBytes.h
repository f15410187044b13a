#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bitmaptest {

// The makings of a test bitmap. Pixel (x, row) of the data, row 0 the
// first (bottom) row, has channel c = Value(x, row, c).
struct BitmapParams {
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

inline size_t Stride(const BitmapParams& params) {
  return (static_cast<size_t>(params.bitCount) * static_cast<size_t>(params.width) + 31) / 32 * 4;
}

// The pixel bytes start after the headers, the masks (40-byte header with
// compression 3) and the gap; the offset written says whatever params says.
inline std::vector<uint8_t> BuildBitmap(const BitmapParams& params) {
  const size_t fileHeader = params.fileHeader ? 14 : 0;
  const size_t masks = params.infoSize == 40 && params.compression == 3 ? 12 : 0;
  const size_t pixels = fileHeader + params.infoSize + masks + params.gap;
  const size_t stride = Stride(params);
  const int32_t rows = params.height < 0 ? -params.height : params.height;
  std::vector<uint8_t> bytes(pixels + stride * static_cast<size_t>(rows), 0xEE);
  if (params.fileHeader) {
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    PutU32(bytes, 10, params.pixelOffset != 0 ? params.pixelOffset : static_cast<uint32_t>(pixels));
  }
  const size_t info = fileHeader;
  PutU32(bytes, info, params.infoSize);
  PutU32(bytes, info + 4, static_cast<uint32_t>(params.width));
  PutU32(bytes, info + 8, static_cast<uint32_t>(params.height));
  PutU16(bytes, info + 12, 1);
  PutU16(bytes, info + 14, params.bitCount);
  PutU32(bytes, info + 16, params.compression);
  const int32_t channels = params.bitCount / 8;
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t x = 0; x < params.width && channels > 0; ++x) {
      for (int32_t c = 0; c < channels; ++c) {
        bytes[pixels + static_cast<size_t>(row) * stride + static_cast<size_t>(x * channels + c)] =
            Value(x, row, c);
      }
    }
  }
  bytes.resize(bytes.size() - params.truncate);
  return bytes;
}

}  // namespace bitmaptest
