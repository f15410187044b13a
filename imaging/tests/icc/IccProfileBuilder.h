#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Big-endian bytes of ICC data for tests.
class IccBytes {
 public:
  // Four characters as they stand in a file.
  IccBytes& Sig(std::string_view text);
  IccBytes& U16(uint16_t value);
  IccBytes& U32(uint32_t value);
  IccBytes& Bytes(std::string_view bytes);
  IccBytes& Zeros(size_t count);

  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

// Tag data of the types, each beginning with its signature and a zero
// reserved word.
std::vector<uint8_t> IccDescData(std::string_view text, uint32_t count);
std::vector<uint8_t> IccDescData(std::string_view text);  // count = text size + 1, NUL stored
std::vector<uint8_t> IccTextData(std::string_view text);
std::vector<uint8_t> IccCurveData(const std::vector<uint16_t>& entries);
std::vector<uint8_t> IccParaData(uint16_t functionType, const std::vector<uint32_t>& rawNumbers);
std::vector<uint8_t> IccNumbersData(std::string_view signature,
                                    const std::vector<uint32_t>& rawNumbers);

// A whole profile: a 128-byte header (class "mntr", colour space "RGB ",
// connection space "XYZ ", created 2009-05-06 07:08:09, profile ID bytes 1
// to 16, the given file signature), the tag table, and the tags' data laid
// out in order behind it. A tag's size in the table is its data's size
// unless declaredSize is given.
class IccProfileBuilder {
 public:
  IccProfileBuilder& FileSignature(std::string_view signature);
  IccProfileBuilder& Tag(std::string_view signature, std::vector<uint8_t> data);
  IccProfileBuilder& TagWithSize(std::string_view signature, std::vector<uint8_t> data,
                                 uint32_t declaredSize);
  // An entry pointing at the data of an earlier tag (by its index).
  IccProfileBuilder& SharedTag(std::string_view signature, size_t dataOf);

  std::vector<uint8_t> Build() const;

 private:
  struct TagEntry {
    std::string signature;
    std::vector<uint8_t> data;
    int64_t declaredSize;  // -1: the data's size
    int64_t dataOf;        // -1: its own data
  };

  std::string fileSignature_ = "acsp";
  std::vector<TagEntry> tags_;
};
