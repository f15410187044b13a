#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Hand-made TIFF blocks for tests. Numbers go in the block's byte order at
// a cursor that can be moved anywhere; a gap left behind is zero-filled and
// bytes already there are overwritten.
class TiffBlockBuilder {
 public:
  explicit TiffBlockBuilder(bool bigEndian = false) : bigEndian_(bigEndian) {}

  // "II" or "MM", 42 and the offset of IFD 0, at the cursor.
  TiffBlockBuilder& Header(uint32_t ifd0Offset = 8);
  TiffBlockBuilder& At(uint32_t position);
  TiffBlockBuilder& U16(uint16_t value);
  TiffBlockBuilder& U32(uint32_t value);
  TiffBlockBuilder& Bytes(std::string_view bytes);
  TiffBlockBuilder& Bytes(const std::vector<uint8_t>& bytes);
  // An entry whose 4-byte field holds a 32-bit number (an offset or a LONG).
  TiffBlockBuilder& Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t field);
  // A SHORT entry of count 1, the value in the field's first two bytes.
  TiffBlockBuilder& ShortEntry(uint16_t tag, uint16_t value);
  // An entry whose field holds up to 4 raw bytes, zero-padded.
  TiffBlockBuilder& InlineEntry(uint16_t tag, uint16_t type, uint32_t count,
                                std::string_view field);
  // Entry count, the entries, and the next link; entries as Entry's arguments.
  struct EntrySpec {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t field;
  };
  TiffBlockBuilder& Ifd(const std::vector<EntrySpec>& entries, uint32_t nextLink = 0);

  uint32_t Position() const { return position_; }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  void Put(const uint8_t* bytes, size_t count);

  bool bigEndian_;
  uint32_t position_ = 0;
  std::vector<uint8_t> data_;
};
