#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The four 16-bit transfer tables between Adobe RGB (1998), sRGB and linear
// light, indexed by a 16-bit sample. An 8-bit sample v is looked up at
// v * 257; a 16-bit result goes back to 8 bits as its upper byte. The one
// instance is filled on first use and only read afterwards.
class XpGammaTables {
 public:
  enum Table : int32_t {
    kAdobeRGBToLinear = 0,
    kLinearToAdobeRGB = 1,
    kSRGBToLinear = 2,
    kLinearToSRGB = 3,
  };

  static constexpr int32_t kTableCount = 4;
  static constexpr size_t kEntryCount = 65536;
  // Index of the 8-bit sample v: v * kByteToIndex.
  static constexpr int32_t kByteToIndex = 257;

  static const XpGammaTables& Get();

  // The entry of a table; table and index must be in range.
  uint16_t Lookup(Table table, uint32_t index) const {
    return entries_[table * kEntryCount + index];
  }
  // The table's first entry.
  const uint16_t* Data(Table table) const { return entries_.data() + table * kEntryCount; }

 private:
  XpGammaTables();

  std::array<uint16_t, kTableCount * kEntryCount> entries_{};
};
