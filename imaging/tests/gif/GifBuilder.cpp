#include "imaging/tests/gif/GifBuilder.h"

#include <algorithm>

namespace {

constexpr uint8_t kMinCodeSize = 8;
constexpr uint32_t kClearCode = 1u << kMinCodeSize;
constexpr uint32_t kEndCode = kClearCode + 1;
constexpr int kCodeBits = kMinCodeSize + 1;
// Literals between clear codes: far below the 254 that would widen codes.
constexpr size_t kCodesPerClear = 100;
constexpr size_t kMaxSubBlock = 255;

// The exponent n of the smallest 2^(n+1) that holds count entries.
uint8_t MapSizeField(size_t count) {
  uint8_t field = 0;
  while ((size_t{2} << field) < count) {
    ++field;
  }
  return field;
}

std::vector<size_t> InterlacedRowOrder(size_t height) {
  std::vector<size_t> rows;
  const size_t starts[] = {0, 4, 2, 1};
  const size_t steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (size_t row = starts[pass]; row < height; row += steps[pass]) {
      rows.push_back(row);
    }
  }
  return rows;
}

}  // namespace

void GifBuilder::U16(uint16_t value) {
  U8(static_cast<uint8_t>(value & 0xFF));
  U8(static_cast<uint8_t>(value >> 8));
}

void GifBuilder::Map(const std::vector<Rgb>& map) {
  const size_t entries = size_t{2} << MapSizeField(map.size());
  for (size_t i = 0; i < entries; ++i) {
    const Rgb colour = i < map.size() ? map[i] : Rgb{0, 0, 0};
    U8(colour.red);
    U8(colour.green);
    U8(colour.blue);
  }
}

GifBuilder& GifBuilder::Screen(uint16_t width, uint16_t height, const std::vector<Rgb>& globalMap,
                               uint8_t background) {
  for (char c : {'G', 'I', 'F', '8', '9', 'a'}) {
    U8(static_cast<uint8_t>(c));
  }
  U16(width);
  U16(height);
  const uint8_t packed =
      globalMap.empty() ? 0 : static_cast<uint8_t>(0x80 | 0x70 | MapSizeField(globalMap.size()));
  U8(packed);
  U8(background);
  U8(0);
  if (!globalMap.empty()) {
    Map(globalMap);
  }
  return *this;
}

GifBuilder& GifBuilder::GraphicControl(uint16_t delay, int transparent, uint8_t length) {
  U8(0x21);
  U8(0xF9);
  U8(length);
  std::vector<uint8_t> body = {static_cast<uint8_t>(transparent >= 0 ? 1 : 0),
                               static_cast<uint8_t>(delay & 0xFF),
                               static_cast<uint8_t>(delay >> 8),
                               static_cast<uint8_t>(transparent >= 0 ? transparent : 0)};
  body.resize(length, 0);
  data_.insert(data_.end(), body.begin(), body.end());
  U8(0);
  return *this;
}

GifBuilder& GifBuilder::Image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                              const std::vector<uint8_t>& pixels,
                              const std::vector<Rgb>& localMap, bool interlaced) {
  U8(0x2C);
  U16(left);
  U16(top);
  U16(width);
  U16(height);
  uint8_t packed = interlaced ? 0x40 : 0;
  if (!localMap.empty()) {
    packed = static_cast<uint8_t>(packed | 0x80 | MapSizeField(localMap.size()));
  }
  U8(packed);
  if (!localMap.empty()) {
    Map(localMap);
  }
  std::vector<uint8_t> stored;
  if (interlaced) {
    for (size_t row : InterlacedRowOrder(height)) {
      stored.insert(stored.end(), pixels.begin() + static_cast<long>(row * width),
                    pixels.begin() + static_cast<long>((row + 1) * width));
    }
  } else {
    stored = pixels;
  }
  LzwData(stored);
  return *this;
}

void GifBuilder::LzwData(const std::vector<uint8_t>& indexes) {
  std::vector<uint32_t> codes = {kClearCode};
  size_t sinceClear = 0;
  for (uint8_t index : indexes) {
    if (sinceClear == kCodesPerClear) {
      codes.push_back(kClearCode);
      sinceClear = 0;
    }
    codes.push_back(index);
    ++sinceClear;
  }
  codes.push_back(kEndCode);

  std::vector<uint8_t> packed;
  uint32_t buffer = 0;
  int bits = 0;
  for (uint32_t code : codes) {
    buffer |= code << bits;
    bits += kCodeBits;
    while (bits >= 8) {
      packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
      buffer >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) {
    packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
  }
  U8(kMinCodeSize);
  for (size_t start = 0; start < packed.size(); start += kMaxSubBlock) {
    const size_t count = std::min(kMaxSubBlock, packed.size() - start);
    U8(static_cast<uint8_t>(count));
    data_.insert(data_.end(), packed.begin() + static_cast<long>(start),
                 packed.begin() + static_cast<long>(start + count));
  }
  U8(0);
}

GifBuilder& GifBuilder::Trailer() {
  U8(0x3B);
  return *this;
}
