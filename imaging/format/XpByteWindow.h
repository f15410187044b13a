#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Checked reads from a block of bytes read from a file. Positions are
// 64-bit, so sums of sizes from the file cannot wrap; a read that does not
// lie wholly inside the block fails and leaves its output untouched.
class XpByteWindow {
 public:
  XpByteWindow(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

  uint64_t Size() const { return size_; }
  // Whether count bytes from position lie inside the block.
  bool Holds(uint64_t position, uint64_t count) const;
  // Whether the bytes at position are text.
  bool Matches(uint64_t position, std::string_view text) const;
  bool Byte(uint64_t position, uint8_t& value) const;
  bool Le32(uint64_t position, uint32_t& value) const;
  bool Be16(uint64_t position, uint16_t& value) const;
  // The bytes at position; null unless count bytes lie inside.
  const uint8_t* At(uint64_t position, uint64_t count) const;
  // The window of count bytes at position; empty unless they lie inside.
  XpByteWindow Sub(uint64_t position, uint64_t count) const;

 private:
  const uint8_t* data_;
  uint64_t size_;
};
