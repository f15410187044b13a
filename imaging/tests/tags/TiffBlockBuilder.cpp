#include "imaging/tests/tags/TiffBlockBuilder.h"

#include <algorithm>
#include <string>

TiffBlockBuilder& TiffBlockBuilder::Header(uint32_t ifd0Offset) {
  Bytes(bigEndian_ ? "MM" : "II");
  U16(42);
  return U32(ifd0Offset);
}

TiffBlockBuilder& TiffBlockBuilder::At(uint32_t position) {
  position_ = position;
  if (data_.size() < position) {
    data_.resize(position);
  }
  return *this;
}

TiffBlockBuilder& TiffBlockBuilder::U16(uint16_t value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  const uint8_t swapped[2] = {bytes[1], bytes[0]};
  Put(bigEndian_ ? swapped : bytes, 2);
  return *this;
}

TiffBlockBuilder& TiffBlockBuilder::U32(uint32_t value) {
  uint8_t bytes[4];
  for (int index = 0; index < 4; ++index) {
    const int shift = bigEndian_ ? 24 - 8 * index : 8 * index;
    bytes[index] = static_cast<uint8_t>(value >> shift);
  }
  Put(bytes, 4);
  return *this;
}

TiffBlockBuilder& TiffBlockBuilder::Bytes(std::string_view bytes) {
  Put(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return *this;
}

TiffBlockBuilder& TiffBlockBuilder::Bytes(const std::vector<uint8_t>& bytes) {
  Put(bytes.data(), bytes.size());
  return *this;
}

TiffBlockBuilder& TiffBlockBuilder::Entry(uint16_t tag, uint16_t type, uint32_t count,
                                          uint32_t field) {
  U16(tag);
  U16(type);
  U32(count);
  return U32(field);
}

TiffBlockBuilder& TiffBlockBuilder::ShortEntry(uint16_t tag, uint16_t value) {
  U16(tag);
  U16(3);
  U32(1);
  U16(value);
  return U16(0);
}

TiffBlockBuilder& TiffBlockBuilder::InlineEntry(uint16_t tag, uint16_t type, uint32_t count,
                                                std::string_view field) {
  U16(tag);
  U16(type);
  U32(count);
  std::string padded(field.substr(0, 4));
  padded.resize(4, '\0');
  return Bytes(padded);
}

TiffBlockBuilder& TiffBlockBuilder::Ifd(const std::vector<EntrySpec>& entries,
                                        uint32_t nextLink) {
  U16(static_cast<uint16_t>(entries.size()));
  for (const EntrySpec& entry : entries) {
    Entry(entry.tag, entry.type, entry.count, entry.field);
  }
  return U32(nextLink);
}

void TiffBlockBuilder::Put(const uint8_t* bytes, size_t count) {
  const size_t end = position_ + count;
  if (data_.size() < end) {
    data_.resize(end);
  }
  std::copy(bytes, bytes + count, data_.begin() + position_);
  position_ = static_cast<uint32_t>(end);
}
